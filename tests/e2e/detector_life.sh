#!/usr/bin/env bash
# End to end under Wine: the detector's whole job with the real HIDWATCH.EXE, the
# stand-in driver and tool, driven from outside by the probe. Log-on restore, a second
# detector kept out, the controller's arrival with the tool run, the refresh and the
# save, a kill and the next log-on's restore of what the tool set, a refused log-off,
# the session-end save, an installer's close, and a log-off during a slow restore.
#
# usage: detector_life.sh HIDWATCH.EXE OrvaPubIf.dll orva_probe.exe dbwin_capture.exe Tesvo.exe
set -u
[ $# -eq 5 ] || { echo "usage: $0 HIDWATCH.EXE OrvaPubIf.dll orva_probe.exe dbwin_capture.exe Tesvo.exe" >&2; exit 2; }
# shellcheck source=tests/e2e/detector_harness.sh
. "$(dirname "$0")/detector_harness.sh" "$@"
harness_init "$1" "$2" "$3" "$4"

# The tool lies in a folder with blanks and is stored unquoted, as the installer stores it.
tools="$work/Program Files (x86)/Orva Tools"
mkdir -p "$tools"
cp "$5" "$tools/Tesvo.exe"
cp "$2" "$tools/OrvaPubIf.dll"
tool_win=$(orva_windows_path "$tools")\\Tesvo.exe
orva_records "$work"  # tesvo.txt, calls.txt
export ORVA_TESVO_DELAY_MS=3000

cat >"$work/screens.txt" <<'SCREENS'
[screen 0]
connectionType=1
beep=1 1000 50 0
mouseMode=0
[screen 1]
connectionType=2
uC=00 00 00 3b 2f 00 00 00
beep=1 1000 50 0
mouseMode=0
SCREENS

settings="$work/app/PANELSET.TXT"
sed -e 's/^Beeper Routing=.*/Beeper Routing=2\r/' -e 's/^Frequency=.*/Frequency=2600\r/' \
    -e 's/^Duration=.*/Duration=80\r/' -e 's/^Double Click Area=.*/Double Click Area=9\r/' \
    -e 's/^Double Click Speed=.*/Double Click Speed=610\r/' -e 's/^Touch Mode=.*/Touch Mode=70001\r/' \
    "$orva_root/shipped/PANELSET.TXT" >"$settings"
cp "$settings" "$work/settings-before.txt"
harness_write_key "$tool_win" "$(orva_windows_path "$settings")"

calls() { grep -c "^$1" "$work/calls.txt" 2>/dev/null || true; }
# Re-evaluated at every try of wait_for.
screen_counts_at_least() { [ "$(calls OrvaGetScreenInfo)" -ge "$1" ]; }
calls_at_least() { [ "$(calls "$1")" -ge "$2" ]; }
tool_runs_ended() { [ "$(grep -c '^ended' "$work/tesvo.txt" 2>/dev/null)" = "$1" ]; }

# expect_restored BEEP MODE: the start-up worker set every screen from the settings file,
# in order, with this beep (function,frequency,duration,routing) and mouse mode.
expect_restored() {
  local i expected=""
  wait_for 30 grep -q "^OrvaSetCalibrationData index=1" "$work/calls.txt" || fail "the start-up worker applied nothing"
  grep '^OrvaSet' "$work/calls.txt" | sed 's/ bytes=[0-9a-f]*//' | tee "$work/setters.txt"
  for i in 0 1; do
    expected+="OrvaSetTouchBoundary index=$i status=0
OrvaSetBeep index=$i beep=$1 status=0
OrvaSetDragDelay index=$i status=0
OrvaSetMouseMode index=$i mode=$2 status=0
OrvaSetRightClickOnHold index=$i status=0
OrvaSetCalibrationData index=$i status=0
"
  done
  [ "$(cat "$work/setters.txt")" = "$(printf '%s' "$expected")" ] || fail "the setters differ from the settings file's values"
}

# set_driver BEEP MODE: every screen's beep ("function frequency duration routing") and
# mouse mode, changed in the driver by hand while the detector makes no call; renamed
# into place, as the stand-in writes it.
set_driver() {
  sed -e "s/^beep=.*/beep=$1/" -e "s/^mouseMode=.*/mouseMode=$2/" "$work/screens.txt" >"$work/screens.new" &&
    mv "$work/screens.new" "$work/screens.txt"
}

# saved DURATION FREQUENCY MODE: the settings file is the one of the first log-on with
# these driver values; its double-click lines come from the system and are only checked
# whole. Re-evaluated at every try of wait_for.
saved() {
  [ "$(sed '/^Double Click /d' "$settings")" = "$(sed -e "s/^Duration=.*/Duration=$1\r/" \
      -e "s/^Frequency=.*/Frequency=$2\r/" -e "s/^Touch Mode=.*/Touch Mode=$3\r/" -e '/^Double Click /d' \
      "$work/settings-before.txt")" ] &&
    grep -qE $'^Double Click Area=[0-9]+\r$' "$settings" && grep -qE $'^Double Click Speed=[0-9]+\r$' "$settings"
}
expect_saved() {
  saved "$@" && return
  diff "$work/settings-before.txt" "$settings" | sed 's/\r$//'
  fail "the settings file does not hold Duration=$1, Frequency=$2, Touch Mode=$3"
}

echo "--- log-on: the stored settings reach every screen"
regv add "$run_key" /v "$run_value" /t REG_SZ /d "$app_win\\hidwatch.exe" /f
# shellcheck disable=SC2119  # a plain log-on, no arguments
orva_wineboot >/dev/null 2>&1 </dev/null
probe find --exe HIDWATCH.EXE --wait-ms 60000 >"$work/find.txt"
expect_value "$work/find.txt" found 1
first_pid=$(value "$work/find.txt" pid)
expect_restored 1,2600,80,2 4465
probe metrics >"$work/metrics.txt"
cat "$work/metrics.txt"
expect_value "$work/metrics.txt" doubleclick.width 9
expect_value "$work/metrics.txt" doubleclick.height 9
expect_value "$work/metrics.txt" doubleclick.time 610

echo "--- a second detector in the same session ends within 3 s, with no window and no driver call"
lines_before=$(wc -l <"$work/calls.txt")
probe run "$app_win\\HIDWATCH.EXE" --timeout-ms 10000 >"$work/second.txt"
lines_after=$(wc -l <"$work/calls.txt")
echo "call log: $lines_before lines before the second detector, $lines_after after"
grep -E '^(exit|milliseconds|windows_seen)=' "$work/second.txt"
expect_value "$work/second.txt" timed_out 0
expect_value "$work/second.txt" exit 0
expect_value "$work/second.txt" windows_seen 0
expect_less "$work/second.txt" milliseconds 3000
[ "$lines_after" -eq "$lines_before" ] ||
  fail "the second detector called the driver $((lines_after - lines_before)) times, first $(sed -n "$((lines_before + 1))p" "$work/calls.txt")"
probe running --pid "$first_pid" | grep -qx running=1 || fail "the first detector ended"

echo "--- other devices and the controller's removal change nothing"
probe arrival --exe HIDWATCH.EXE '\\?\HID#VID_046D&PID_C52B&MI_00#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}' >/dev/null
probe removal --exe HIDWATCH.EXE '\\?\HID#VID_0A7C&PID_0030#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}' >/dev/null
sleep 2
[ ! -e "$work/tesvo.txt" ] || fail "the tool ran for another device or a removal"

echo "--- the controller arrives (in capitals), twice while the tool runs: one tool, then a refresh"
before=$(calls OrvaGetScreenInfo)
probe arrival --exe HIDWATCH.EXE '\\?\HID#VID_0A7C&PID_0030&MI_00#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}' >"$work/arrival.txt"
expect_value "$work/arrival.txt" delivered 1
probe arrival --exe HIDWATCH.EXE '\\?\hid#vid_0a7c&pid_0030&mi_01#7&1a2b&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}' >/dev/null
wait_for 30 tool_runs_ended 1 || fail "the tool did not run"
# The tool counts the screens once itself; the detector's refresh is the second count.
wait_for 30 screen_counts_at_least $((before + 2)) || fail "no refresh after the tool ended"
cat "$work/tesvo.txt"
[ "$(grep -c '^started' "$work/tesvo.txt")" -eq 1 ] || fail "expected one tool run"
grep -q "changed=2" "$work/tesvo.txt" || fail "the tool changed no screen"
echo "--- and what the tool set is saved at once"
wait_for 30 saved 80 1750 2 || expect_saved 80 1750 2

echo "--- killed without a session end: the file keeps the tool's values, the next log-on restores them"
win taskkill /F /IM HIDWATCH.EXE >/dev/null
harness_wait_gone 30
expect_saved 80 1750 2
set_driver "1 1000 50 0" 0
: >"$work/calls.txt"
# shellcheck disable=SC2119  # a plain log-on, no arguments
orva_wineboot >/dev/null 2>&1 </dev/null
probe find --exe HIDWATCH.EXE --wait-ms 60000 >"$work/find-again.txt"
expect_value "$work/find-again.txt" found 1
expect_restored 1,1750,80,2 2

echo "--- a refused log-off (the query, then WM_ENDSESSION FALSE) changes nothing: the next arrival runs the tool"
probe endsession --exe HIDWATCH.EXE >/dev/null
probe endsession-false --exe HIDWATCH.EXE >"$work/refused.txt"
expect_value "$work/refused.txt" delivered 1
before=$(calls "OrvaGetCalibrationData index=1")
probe arrival --exe HIDWATCH.EXE '\\?\HID#VID_0A7C&PID_0030#8&2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}' >/dev/null
wait_for 30 tool_runs_ended 2 || fail "the arrival after the refused log-off ran no tool"
# The refresh after the tool has read every screen: what is set by hand from now on is the session end's.
wait_for 30 calls_at_least "OrvaGetCalibrationData index=1" $((before + 1)) || fail "no refresh after the tool ended"

echo "--- session end: the driver's current values are saved"
set_driver "1 1750 95 2" 2
probe endsession --exe HIDWATCH.EXE >"$work/query.txt"
expect_value "$work/query.txt" answer 1
expect_saved 95 1750 2

echo "--- an installer's close (query and WM_ENDSESSION, ENDSESSION_CLOSEAPP): saved, and the process ends"
set_driver "1 1900 95 2" 3
probe closeapp --exe HIDWATCH.EXE --ms 1000 >"$work/closeapp.txt"
cat "$work/closeapp.txt"
expect_value "$work/closeapp.txt" query.answer 1
expect_value "$work/closeapp.txt" end.delivered 1
expect_value "$work/closeapp.txt" ended 1
expect_saved 95 1900 3

echo "--- a log-off during a slow restore of three screens: the stored values stay in the file"
printf '[screen %s]\n' 0 1 2 >"$work/screens.txt"
# shellcheck disable=SC2119  # a plain log-on, no arguments
ORVA_SET_DELAY_MS=500 orva_wineboot >/dev/null 2>&1 </dev/null
probe find --exe HIDWATCH.EXE --wait-ms 60000 >/dev/null
probe endsession --exe HIDWATCH.EXE >"$work/slow.txt"
expect_value "$work/slow.txt" answer 1
expect_saved 95 1900 3
checks_done
