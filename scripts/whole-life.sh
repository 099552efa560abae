#!/usr/bin/env bash
# The whole life of the system in a throwaway Wine prefix, with the stand-ins for the
# driver (two simulated screens), its engine, script and tool:
#   install -> log-on restore -> plug-in of the controller -> session end -> uninstall.
# Prints a short report that ends in a verdict: each stage checks what it claims, and
# the script exits 1, naming the stage, when one did not happen. Needs a built Windows
# tree (win32, or its 64-bit twin win64); builds nothing itself.
# Usage: scripts/whole-life.sh [BUILD_DIR]   (default build/win32)
set -uo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
# The tree's bitness (ORVA_WINE_BITS) chooses the Wine loader and the registry view.
orva_use_build "${1:-$orva_root/build/win32}" || exit
orva_need_display "$0" "$build"
for f in installer/OrvaSetup.exe detector/HIDWATCH.EXE standins/kx/kx.exe standins/tesvo/Tesvo.exe \
         standins/orvapubif/OrvaPubIf.dll tests/detector/probe/orva_probe.exe; do
  [ -f "$build/$f" ] || { echo "missing $build/$f: build the Windows tree first" >&2; exit 2; }
done
orva_use_wine || exit

say() { printf '%s\n' "$*"; }
# stage NAME HEADING: the checks that follow are the claims of stage NAME, for the
# verdict; they are said at once only when they fail.
check_quietly=yes
stage() { check_section=$1; printf '\n== %s\n' "$2"; }
# regview KEY [/v NAME]: the values as the build's programs see them, indented.
regview() { regq "$@" | sed -n 's/^    /      /p'; }
exists() { regv query "$@" && echo present || echo absent; }
new_lines() { tail -n +"$(($2 + 1))" "$1" 2>/dev/null | tr -d '\r'; }
lines() { [ -f "$1" ] && grep -c . "$1" || echo 0; }
# show_changes OLD NEW: the lines of a settings file that differ, indented, CRs dropped.
show_changes() {
  diff <(tr -d '\r' 2>/dev/null <"$1") <(tr -d '\r' 2>/dev/null <"$2") |
    sed -n 's/^< /      was  /p; s/^> /      now  /p'
}
# became OLD NEW SED-EXPRESSION...: NEW differs from OLD, and exactly by these edits
# (line ends aside), so a save that wrote nothing or more than it should fails.
became() {
  local old=$1 new=$2
  shift 2
  [ -f "$new" ] && ! diff -q <(tr -d '\r' <"$old") <(tr -d '\r' <"$new") >/dev/null &&
    [ "$(tr -d '\r' <"$new")" = "$(tr -d '\r' <"$old" | sed "$@")" ]
}

if [ "$ORVA_WINE_BITS" = 32 ]; then
  say "== showing the 32-bit build, the deliverable ($build)"
else
  say "== showing the 64-bit build, the twin of the 32-bit deliverable from the same sources ($build)"
fi
say "== creating a throwaway Wine prefix"
orva_work life own

# The distribution as cmake --install gives it, and a package folder as a real driver
# package would hold it: the installer beside the driver's engine, script and tool.
cmake --install "$build" --prefix "$work/dist" >/dev/null
pkg="$work/package"
mkdir -p "$pkg"
cp "$work/dist/"* "$pkg/" 2>/dev/null
cp "$work/dist/standins/"* "$pkg/"
cp "$build/tests/detector/probe/orva_probe.exe" "$work/orva_probe.exe"
probe_exe="$work/orva_probe.exe"

# Every outside program notes its runs here, outside the installation folder.
orva_records "$work/records"
calls="$work/records/calls.txt"
tesvo="$work/records/tesvo.txt"

# Program Files as the build's programs see it ("(x86)" for the 32-bit ones).
folder_win="$(orva_program_files)\\OrvaPanels"
folder=$(orva_unix_path "$folder_win")

# What the uninstall must give back.
machine() {
  echo "installer key: $(exists "$installer_key")"
  echo "Run values:"; regview "$run_key"
  echo "uninstall key: $(exists "$uninstall_key")"
  echo "service key: $(exists "$service_key")"
  echo "installation folder: $([ -e "$folder" ] && echo present || echo absent)"
}
machine >"$work/before.txt"

stage install "install: OrvaSetup.exe from the package folder ($(ls "$pkg" | tr '\n' ' '))"
run_setup
say "exit code $rc after $seconds s (5 s of it the pause before the tool)"
check "OrvaSetup.exe exits with 0 (it gave $rc)" test "$rc" -eq 0
say "installation folder $folder_win:"
say "      $(ls "$folder" 2>/dev/null | tr '\n' ' ')"
for f in HIDWATCH.EXE PANELSET.TXT; do
  check "$f is in the installation folder" test -f "$folder/$f"
done
say "installer key (reg query /reg:$ORVA_WINE_BITS):"; regview "$installer_key"
check "the installer key names PANELSET.TXT" regv query "$installer_key" /v Configuration
say "Run value:"; regview "$run_key" /v "$run_value"
check "the Run value starts the detector" regv query "$run_key" /v "$run_value"
say "uninstall icon:"; regview "$uninstall_key" /v DisplayIcon
wait_for 20 detector_running
say "detector running: $(detector_running && echo yes || echo NO)"
check "the installer started the detector" detector_running
say "engine:   $(head -n 1 "$work/records/kx.txt" 2>/dev/null | tr -d '\r')"
check "the engine ran" grep -q '^kx install' "$work/records/kx.txt"
say "script:   $(tr -d '\r' 2>/dev/null <"$work/records/menulinks.txt")"
check "the shortcut script ran with INSTALL" grep -q 'args=\[INSTALL\]' "$work/records/menulinks.txt"
wait_for 20 grep -q '^ended' "$tesvo"
say "tool:     $(tr -d '\r' 2>/dev/null <"$tesvo" | paste -sd ' ' -)"
check "the tool ran to its end" grep -q '^ended' "$tesvo"

stage "log-on restore" "log-on: wineboot starts the Run key's programs; the settings reach the driver"
probe close --exe HIDWATCH.EXE >/dev/null
wait_for 20 detector_gone
settings_lines=$(grep -v '^;' "$folder/PANELSET.TXT" 2>/dev/null | tr -d '\r' | grep . | paste -sd ',' -)
say "PANELSET.TXT holds: $settings_lines"
mark=$(lines "$calls")
orva_wineboot >/dev/null 2>&1 </dev/null
wait_for 30 detector_running
restored() { new_lines "$calls" "$mark" | grep -q "OrvaSetMouseMode index=1"; }
wait_for 30 restored
say "detector running: $(detector_running && echo yes || echo NO)"
check "the log-on started the detector" detector_running
say "driver setters called by the detector (ORVA_CALL_LOG):"
new_lines "$calls" "$mark" | grep '^OrvaSet' | sed -E 's/bytes=([0-9a-f]{16})[0-9a-f]+/bytes=\1.../; s/^/      /'
# Both simulated screens get every setter, the last one the mouse mode of screen 1.
for setter in TouchBoundary Beep DragDelay MouseMode RightClickOnHold CalibrationData; do
  check "OrvaSet$setter reached both screens" \
    test "$(new_lines "$calls" "$mark" | grep -c "^OrvaSet$setter index=[01] .*status=0")" -eq 2
done

stage plug-in "plug-in: the touch controller arrives (WM_DEVICECHANGE from the probe)"
mark=$(lines "$calls")
cp "$folder/PANELSET.TXT" "$work/settings-before-tool.txt" 2>/dev/null
runs=$(grep -c '^ended' "$tesvo")
probe arrival --exe HIDWATCH.EXE \
  '\\?\HID#VID_0A7C&PID_0030#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}' >"$work/arrival.txt"
say "message delivered: $(value "$work/arrival.txt" delivered | sed 's/1/yes/;s/0/NO/') (the detector signals with three tones, silent here)"
check "the arrival reached the detector's window" grep -qx 'delivered=1' "$work/arrival.txt"
tool_ran_again() { [ "$(grep -c '^ended' "$tesvo" 2>/dev/null)" -gt "$runs" ]; }
wait_for 30 tool_ran_again
say "tool:     $(tail -n 2 "$tesvo" 2>/dev/null | tr -d '\r' | paste -sd ' ' -)"
check "the detector ran the tool" tool_ran_again
# The tool counts the screens once itself; the detector's refresh counts them again.
refreshed() { [ "$(new_lines "$calls" "$mark" | grep -c '^OrvaGetScreenInfo')" -ge 2 ]; }
wait_for 30 refreshed
check "the detector re-read the driver after the tool" refreshed
since=$(new_lines "$calls" "$mark")
say "the tool's driver setters:"
grep '^OrvaSet' <<<"$since" | sed 's/^/      /'
refresh=$(awk '/^OrvaGetScreenInfo/ {n++} n >= 2' <<<"$since")
say "the detector's refresh afterwards: $(grep -c . <<<"$refresh") driver calls for" \
    "$(sed -n 's/^OrvaGetScreenInfo count=\([0-9]*\).*/\1/p' <<<"$refresh" | head -n 1) screens" \
    "($(grep -c '^OrvaSendCuelineCommand' <<<"$refresh") controller commands)"
# The detector saves what the tool set at once (the tool changes the beeper frequency
# and the mouse mode of every screen), not only at the session end.
tool_frequency=${ORVA_TESVO_FREQUENCY:-1750}
tool_mode=${ORVA_TESVO_MODE:-2}
tool_saved() {
  became "$work/settings-before-tool.txt" "$folder/PANELSET.TXT" \
    -e "s/^Frequency=.*/Frequency=$tool_frequency/" -e "s/^Touch Mode=.*/Touch Mode=$tool_mode/"
}
wait_for 30 tool_saved
say "PANELSET.TXT saved by the detector after the tool, changed lines:"
show_changes "$work/settings-before-tool.txt" "$folder/PANELSET.TXT"
check "the save after the tool wrote Frequency=$tool_frequency and Touch Mode=$tool_mode, nothing else" \
  tool_saved

stage "session end" "session end: wineboot --end-session --shutdown (a log-off)"
# Values the tool did not set, put into the simulated driver by hand, as a user's
# change in the driver would be: only the session-end save can bring them to the file.
screens="$folder/OrvaScreens.txt"
say "set by hand in the driver (OrvaScreens.txt), every screen: beep 1900 Hz for 95 ms, mouse mode 3"
sed -E -e 's/^beep=([-0-9]+) [-0-9]+ [-0-9]+ ([-0-9]+)/beep=\1 1900 95 \2/' \
  -e 's/^mouseMode=[0-9]+/mouseMode=3/' "$screens" >"$work/screens.new" 2>/dev/null &&
  mv "$work/screens.new" "$screens"
check "the driver holds the values set by hand" \
  test "$(grep -cE '^beep=[-0-9]+ 1900 95 [-0-9]+.?$|^mouseMode=3.?$' "$screens" 2>/dev/null)" -eq 4
cp "$folder/PANELSET.TXT" "$work/settings-before.txt" 2>/dev/null
orva_wineboot --end-session --shutdown >/dev/null 2>&1 </dev/null
wait_for 30 detector_gone
say "detector running after the log-off: $(detector_running && echo yes || echo no)"
check "the detector ended with the session" detector_gone
say "PANELSET.TXT saved by the detector at the session end, changed lines:"
show_changes "$work/settings-before.txt" "$folder/PANELSET.TXT"
check "the session-end save wrote Frequency=1900, Duration=95 and Touch Mode=3, nothing else" \
  became "$work/settings-before.txt" "$folder/PANELSET.TXT" \
    -e 's/^Frequency=.*/Frequency=1900/' -e 's/^Duration=.*/Duration=95/' -e 's/^Touch Mode=.*/Touch Mode=3/'

stage uninstall "uninstall: OrvaSetup.exe /U"
run_setup /U
say "exit code $rc"
check "OrvaSetup.exe /U exits with 0 (it gave $rc)" test "$rc" -eq 0
say "engine:   $(grep '^kx uninstall' "$work/records/kx.txt" 2>/dev/null | tr -d '\r')"
check "the engine ran to uninstall" grep -q '^kx uninstall' "$work/records/kx.txt"
say "script:   $(tail -n 1 "$work/records/menulinks.txt" 2>/dev/null | tr -d '\r')"
check "the shortcut script ran with UNINSTALL" grep -q 'args=\[UNINSTALL\]' "$work/records/menulinks.txt"
say "detector running: $(detector_running && echo yes || echo no)"
check "no detector runs" detector_gone
machine >"$work/after.txt"
if diff -q "$work/before.txt" "$work/after.txt" >/dev/null; then
  say "the machine as before: yes"
  sed 's/^/      /' "$work/after.txt"
else
  say "the machine as before: NO"
  diff "$work/before.txt" "$work/after.txt" | sed 's/^/      /'
fi
check "the machine is as before the install" diff -q "$work/before.txt" "$work/after.txt"
say "left by design: the empty parent key HKLM\\SOFTWARE\\TALMAR ($(exists 'HKLM\SOFTWARE\TALMAR'))"

printf '\n== verdict (%s-bit build, %s)\n' "$ORVA_WINE_BITS" "$build"
missed=()
for name in "install" "log-on restore" "plug-in" "session end" "uninstall"; do
  if [ -n "${failed_in[$name]:-}" ]; then
    printf '%-16s NO: %s\n' "$name:" "${failed_in[$name]}"
    missed+=("$name")
  else
    printf '%-16s yes\n' "$name:"
  fi
done
if [ ${#missed[@]} -gt 0 ]; then
  say "FAILED: did not happen: $(IFS=,; echo "${missed[*]}" | sed 's/,/, /g')"
  exit 1
fi
say "the whole life happened on the $ORVA_WINE_BITS-bit build"
