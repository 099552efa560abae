#!/usr/bin/env bash
# End to end under Wine: the real HIDWATCH.EXE against the stand-in driver,
# driven from outside by the probe, with its debug output captured.
#
# usage: detector_startup.sh HIDWATCH.EXE OrvaPubIf.dll orva_probe.exe dbwin_capture.exe LACKING.dll [DEC.dll]
# (the stand-in driver: LACKING.dll without OrvaSetMouseMode; DEC.dll, 32-bit only, exporting Name@N alone)
#
# Uses $WINEPREFIX when set (the test run's throwaway prefix); otherwise makes
# its own and removes it. Needs a display; re-runs itself under xvfb-run without.
set -u
[ $# -ge 5 ] || { echo "usage: $0 HIDWATCH.EXE OrvaPubIf.dll orva_probe.exe dbwin_capture.exe LACKING.dll" >&2; exit 2; }
# shellcheck source=tests/e2e/detector_harness.sh
. "$(dirname "$0")/detector_harness.sh" "$@"
harness_init "$1" "$2" "$3" "$4"

# Two screens: a USB controller of size class "15" with the unintentional-touch
# feature, and a serial controller whose answer lacks it.
cat >"$work/screens.txt" <<'SCREENS'
[screen 0]
connectionType=1
uC=00 00 00 30 24 00 00 00
uN=00 00 00 00 00 00 5a 81
[screen 1]
connectionType=2
uC=00 00 00 3b 2f 00 00 00
uN=00 00 00 00 00 00 00 00
SCREENS

echo "--- the resources as built"
probe template "$app_win\\HIDWATCH.EXE" >"$work/template.txt"
cat "$work/template.txt"
expect_value "$work/template.txt" dialog.extended 1
expect_value "$work/template.txt" dialog.style 0x800000c0      # WS_POPUP | DS_MODALFRAME | DS_SETFONT
expect_value "$work/template.txt" dialog.exstyle 0x00000080    # WS_EX_TOOLWINDOW
expect_value "$work/template.txt" dialog.rect 0,0,188,51
expect_value "$work/template.txt" dialog.menu none
expect_value "$work/template.txt" dialog.class none
expect_value "$work/template.txt" dialog.title ""
expect_value "$work/template.txt" dialog.font "12,400,0,0,Arial Black"
expect_value "$work/template.txt" dialog.items 1
# id, the predefined static class, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER | SS_CENTERIMAGE
expect_value "$work/template.txt" item0 "1000,#130,0x50020201,0x00000000,7,7,174,37,Waiting for touch screen to be attached..."
expect_value "$work/template.txt" dialog.parsed 1
expect_value "$work/template.txt" icon.images 1
expect_value "$work/template.txt" icon.size 32x32
expect_value "$work/template.txt" manifest.supportedOS 4
expect_value "$work/template.txt" manifest.executionLevel 0
expect_value "$work/template.txt" versioninfo 1

echo "--- without the installer key: ends at once, no window shown, no message box"
harness_delete_key
probe run "$app_win\\HIDWATCH.EXE" --timeout-ms 30000 >"$work/nokey.txt"
cat "$work/nokey.txt"
expect_value "$work/nokey.txt" timed_out 0
expect_value "$work/nokey.txt" exit 0
expect_value "$work/nokey.txt" visible_samples 0
expect_value "$work/nokey.txt" message_boxes 0
expect_less "$work/nokey.txt" milliseconds 15000

echo "--- without the Configuration value: ends the same way"
harness_write_key "C:\\Orva\\Tesvo.exe" ""
regv delete "$installer_key" /v Configuration /f
probe run "$app_win\\HIDWATCH.EXE" --timeout-ms 30000 >"$work/novalue.txt"
expect_value "$work/novalue.txt" timed_out 0
expect_value "$work/novalue.txt" exit 0
expect_value "$work/novalue.txt" message_boxes 0

# keeps_watching NAME: a detector started now stays alive and hidden and answers the
# session-end query; closed afterwards.
keeps_watching() {
  local detector
  "$ORVA_WINE" "$app_win\\HIDWATCH.EXE" >/dev/null 2>&1 </dev/null &
  detector=$!
  probe find --exe HIDWATCH.EXE --wait-ms 60000 >"$work/$1-find.txt"
  expect_value "$work/$1-find.txt" found 1
  probe watch --exe HIDWATCH.EXE --ms 3000 >"$work/$1-watch.txt"
  expect_value "$work/$1-watch.txt" alive 1
  expect_value "$work/$1-watch.txt" visible_samples 0
  probe endsession --exe HIDWATCH.EXE >"$work/$1-query.txt"
  expect_value "$work/$1-query.txt" answer 1
  probe close --exe HIDWATCH.EXE >/dev/null
  harness_wait_pid "$detector" 30 || kill "$detector" 2>/dev/null
}

# has_empty_value NAME: the value is there, a REG_SZ holding nothing (not a missing value).
has_empty_value() {
  regq "$installer_key" /v "$1" | grep -qE "^ +$1 +REG_SZ *$" ||
    fail "$1 is not an empty REG_SZ value"
}

echo "--- an empty Tesvo value: the detector keeps watching"
harness_write_key "" "C:\\Orva\\PANELSET.TXT"
has_empty_value Tesvo
keeps_watching empty-tool

echo "--- an empty Configuration value: the detector keeps watching"
harness_write_key "C:\\Orva\\Tesvo.exe" ""
has_empty_value Configuration
keeps_watching empty-settings

echo "--- log-on with the installer key: started from the Run key, runs hidden"
harness_write_key "C:\\Program Files (x86)\\Orva\\Tesvo.exe" "C:\\Program Files (x86)\\Orva\\PANELSET.TXT"
harness_start_capture
regv add "$run_key" /v "$run_value" /t REG_SZ /d "$app_win\\hidwatch.exe" /f
orva_wineboot >/dev/null 2>&1 </dev/null
probe find --exe HIDWATCH.EXE --wait-ms 60000 >"$work/find.txt"
cat "$work/find.txt"
expect_value "$work/find.txt" found 1
# Let the one showing by the modal loop (and its hiding) pass, then watch.
probe watch --exe HIDWATCH.EXE --ms 4000 >"$work/watch.txt"
cat "$work/watch.txt"
expect_value "$work/watch.txt" alive 1
expect_value "$work/watch.txt" visible 0
expect_value "$work/watch.txt" visible_samples 0
probe find --exe HIDWATCH.EXE >"$work/looks.txt"
expect_value "$work/looks.txt" visible 0
expect_value "$work/looks.txt" taskbar 0
expect_bits "$work/looks.txt" style 0x800000c0        # WS_POPUP | DS_MODALFRAME | DS_SETFONT
expect_bits_clear "$work/looks.txt" style 0x10c80000  # no WS_VISIBLE, WS_CAPTION or WS_SYSMENU
expect_bits "$work/looks.txt" exstyle 0x80            # WS_EX_TOOLWINDOW: no taskbar button
expect_bits_clear "$work/looks.txt" exstyle 0x40000   # no WS_EX_APPWINDOW
expect_value "$work/looks.txt" title ""
expect_value "$work/looks.txt" control.text "Waiting for touch screen to be attached..."
expect_value "$work/looks.txt" control.style 0x50020201

echo "--- the inventory's packet traces, as the debug output shows them"
cat "$work/debug.txt"
# The trace is the 28-character message, " : " and the eight command bytes.
send="GetSendPacket() SEND        "
response="GetSendPacket() RESPONSE    "
expect_lines "$send : 75h 53h 00h 00h 00h 00h 00h 00h" 2
expect_lines "$send : 75h 43h 00h 00h 00h 00h 00h 00h" 2
expect_lines "$response : 00h 00h 00h 30h 24h 00h 00h 00h" 1
expect_lines "$response : 00h 00h 00h 3bh 2fh 00h 00h 00h" 1
expect_lines "$send : 75h 4eh ffh 55h aah 60h 00h 00h" 2
expect_lines "$response : 00h 00h 00h 00h 00h 00h 5ah 81h" 1
# All zero: the answers to "uS" of both screens and to "uN" of the second.
expect_lines "$response : 00h 00h 00h 00h 00h 00h 00h 00h" 3
expect_lines "TouchScreens::EnumerateUnintentionalTouch, Unintentional Touch Not Present" 1

echo "--- device changes reach the window and it keeps watching"
for event in arrival removal; do
  probe "$event" --exe HIDWATCH.EXE \
    '\\?\HID#Vid_0a7c&Pid_0030#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}' >"$work/$event.txt"
  expect_value "$work/$event.txt" delivered 1
done
probe find --exe HIDWATCH.EXE >"$work/after-device.txt"
expect_value "$work/after-device.txt" found 1
expect_value "$work/after-device.txt" visible 0

echo "--- the session-end query is answered TRUE, and the detector stays"
probe endsession --exe HIDWATCH.EXE >"$work/query.txt"
cat "$work/query.txt"
expect_value "$work/query.txt" delivered 1
expect_value "$work/query.txt" answer 1
probe find --exe HIDWATCH.EXE >"$work/after-query.txt"
expect_value "$work/after-query.txt" found 1

echo "--- log-off: the session ends and the detector with it"
# --shutdown: without it wineboot logs on again after the log-off and the Run
# key would start the detector anew.
orva_wineboot --end-session --shutdown >/dev/null 2>&1 </dev/null
harness_wait_gone 30
regv delete "$run_key" /v "$run_value" /f

echo "--- a close request ends the dialog, and the program exits with 0"
"$ORVA_WINE" "$app_win\\HIDWATCH.EXE" >/dev/null 2>&1 </dev/null &
detector=$!
probe find --exe HIDWATCH.EXE --wait-ms 60000 >"$work/second.txt"
expect_value "$work/second.txt" found 1
probe close --exe HIDWATCH.EXE >"$work/close.txt"
expect_value "$work/close.txt" delivered 1
if harness_wait_pid "$detector" 30; then
  wait "$detector"
  close_exit=$?
  [ "$close_exit" -eq 0 ] || fail "exit code after close: $close_exit"
else
  kill "$detector" 2>/dev/null
fi

# ends_without_driver NAME LINE [LIBRARY]: HIDWATCH.EXE alone in a folder of its own, or
# beside LIBRARY as OrvaPubIf.dll, started from there: it ends at once with 0, shows no
# window and leaves no process, after one debug-output line LINE naming what is missing.
ends_without_driver() {
  local folder="$work/$1"
  mkdir -p "$folder"
  cp "$work/app/HIDWATCH.EXE" "$folder/"
  [ -z "${3:-}" ] || cp "$3" "$folder/OrvaPubIf.dll"
  (cd "$folder" && probe run "$(orva_windows_path "$folder")\\HIDWATCH.EXE" --timeout-ms 30000) >"$work/$1.txt"
  cat "$work/$1.txt"
  expect_value "$work/$1.txt" timed_out 0
  expect_value "$work/$1.txt" exit 0
  expect_value "$work/$1.txt" windows_seen 0
  expect_less "$work/$1.txt" milliseconds 3000
  check "no detector left running" detector_gone
  wait_for 10 grep -qxF -- "$2" "$work/debug.txt" || true
  expect_lines "$2" 1
}

echo "--- without OrvaPubIf.dll (the driver package removed, the Run value left): ends silently"
ends_without_driver no-library "OrvaPubIf.dll missing, error 126"
echo "--- with an OrvaPubIf.dll that lacks one function: ends the same way"
ends_without_driver lacking-library "OrvaSetMouseMode missing, error 127" "$5"
echo "--- with a text file (this script) as OrvaPubIf.dll: ends the same way, without the system's box"
ends_without_driver text-library "OrvaPubIf.dll missing, error 193" "$0"
echo "--- beside an OrvaPubIf.dll exporting decorated names alone: binds and keeps watching"
if [ -n "${6:-}" ]; then cp "$6" "$work/app/OrvaPubIf.dll"; keeps_watching decorated; else echo "(32-bit)"; fi

checks_done
