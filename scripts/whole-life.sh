#!/usr/bin/env bash
# The whole life of the system in a throwaway Wine prefix, with the stand-ins for the
# driver (two simulated screens), its engine, script and tool:
#   install -> log-on restore -> plug-in of the controller -> session end -> uninstall.
# Prints a short report that ends in a verdict: each stage checks what it claims, and
# the script exits 1, naming the stage, when one did not happen. Needs a built Windows
# tree (win32, or its 64-bit twin win64); builds nothing itself.
# Usage: scripts/whole-life.sh [BUILD_DIR]   (default build/win32)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win32}" && pwd) || { echo "no build tree: ${1:-$root/build/win32}" >&2; exit 2; }
# The detector is a dialog program: it needs a display, even a virtual one.
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build"; fi
probe_exe="$build/tests/detector/probe/orva_probe.exe"
for f in "$build/orva-build.env" "$build/installer/OrvaSetup.exe" "$build/detector/HIDWATCH.EXE" \
         "$build/standins/kx/kx.exe" "$build/standins/tesvo/Tesvo.exe" "$build/standins/orvapubif/OrvaPubIf.dll" \
         "$probe_exe"; do
  [ -f "$f" ] || { echo "missing $f: build the Windows tree first" >&2; exit 2; }
done

# The tree's bitness (ORVA_WINE_BITS) chooses the Wine loader and the registry view.
. "$build/orva-build.env"
export ORVA_WINE_BITS
. "$root/scripts/wine-env.sh"
work=$(mktemp -d /tmp/orva-life.XXXXXX)
cleanup() {
  orva_prefix_down "$work/prefix"
  rm -rf "$work"
}
trap cleanup EXIT

say() { printf '%s\n' "$*"; }
section() { printf '\n== %s\n' "$*"; }
win() { "$ORVA_WINE" "$@" 2>/dev/null </dev/null | tr -d '\r'; }
winpath() { win winepath -w "$1"; }
probe() { win "$work/orva_probe.exe" "$@"; }
# regview KEY [/v NAME]: the values as the build's programs see them, indented.
regview() { orva_reg query "$@" 2>/dev/null </dev/null | tr -d '\r' | sed -n 's/^    /      /p'; }
exists() { orva_reg query "$@" >/dev/null 2>&1 </dev/null && echo present || echo absent; }

# claim STAGE WHAT COMMAND...: a stage's claim, checked; a failed one is shown at once
# and counted against its stage for the verdict.
stages=("install" "log-on restore" "plug-in" "session end" "uninstall")
declare -A failed_claims=()
claim() {
  local stage=$1 what=$2
  shift 2
  if "$@" >/dev/null 2>&1; then return 0; fi
  say "   FAILED: $what"
  failed_claims[$stage]+="${failed_claims[$stage]:+; }$what"
  return 1
}
new_lines() { tail -n +"$(($2 + 1))" "$1" 2>/dev/null | tr -d '\r'; }
lines() { [ -f "$1" ] && grep -c . "$1" || echo 0; }
wait_for() {  # wait_for SECONDS COMMAND...
  local i
  for i in $(seq 1 $(($1 * 5))); do "${@:2}" && return 0; sleep 0.2; done
  return 1
}
detector_running() { probe running --exe HIDWATCH.EXE | grep -qx "running=1"; }
detector_gone() { ! detector_running; }

if [ "$ORVA_WINE_BITS" = 32 ]; then
  say "== showing the 32-bit build, the deliverable ($build)"
else
  say "== showing the 64-bit build, the twin of the 32-bit deliverable from the same sources ($build)"
fi
say "== creating a throwaway Wine prefix"
orva_prefix_up "$work/prefix" >/dev/null 2>&1

# The distribution as cmake --install gives it, and a package folder as a real driver
# package would hold it: the installer beside the driver's engine, script and tool.
cmake --install "$build" --prefix "$work/dist" >/dev/null
pkg="$work/package"
mkdir -p "$pkg" "$work/records"
cp "$work/dist/"* "$pkg/" 2>/dev/null
cp "$work/dist/standins/"* "$pkg/"
cp "$probe_exe" "$work/orva_probe.exe"

# Every outside program notes its runs here, outside the installation folder.
export ORVA_KX_RECORD ORVA_MENULINKS_RECORD ORVA_TESVO_RECORD ORVA_CALL_LOG
ORVA_KX_RECORD=$(winpath "$work/records/kx.txt")
ORVA_MENULINKS_RECORD=$(winpath "$work/records/menulinks.txt")
ORVA_TESVO_RECORD=$(winpath "$work/records/tesvo.txt")
ORVA_CALL_LOG=$(winpath "$work/records/driver-calls.txt")
calls="$work/records/driver-calls.txt"
tesvo="$work/records/tesvo.txt"

# Program Files as the build's programs see it ("(x86)" for the 32-bit ones).
folder_win="$(orva_program_files)\\OrvaPanels"
folder=$(orva_unix_path "$folder_win")
installer_key='HKLM\SOFTWARE\TALMAR\TALMAR TOUCH INSTALLER'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OrvaTouchscreen'
service_key='HKLM\SYSTEM\CurrentControlSet\Services\OrvaTouchscreen'

# What the uninstall must give back.
machine() {
  echo "installer key: $(exists "$installer_key")"
  echo "Run values:"; regview "$run_key"
  echo "uninstall key: $(exists "$uninstall_key")"
  echo "service key: $(exists "$service_key")"
  echo "installation folder: $([ -e "$folder" ] && echo present || echo absent)"
}
machine >"$work/before.txt"

section "install: OrvaSetup.exe from the package folder ($(ls "$pkg" | tr '\n' ' '))"
start=$SECONDS
# Its output goes to a file: the detector and the tool it starts inherit it.
(cd "$pkg" && "$ORVA_WINE" OrvaSetup.exe >"$work/setup.out" 2>&1 </dev/null)
rc=$?
say "exit code $rc after $((SECONDS - start)) s (5 s of it the pause before the tool)"
claim install "OrvaSetup.exe exits with 0 (it gave $rc)" test "$rc" -eq 0
say "installation folder $folder_win:"
say "      $(ls "$folder" 2>/dev/null | tr '\n' ' ')"
for f in HIDWATCH.EXE PANELSET.TXT; do
  claim install "$f is in the installation folder" test -f "$folder/$f"
done
say "installer key (reg query /reg:$ORVA_WINE_BITS):"; regview "$installer_key"
claim install "the installer key names PANELSET.TXT" orva_reg query "$installer_key" /v Configuration
say "Run value:"; regview "$run_key" /v "TALMAR TOUCH SCREEN DETECTOR"
claim install "the Run value starts the detector" orva_reg query "$run_key" /v "TALMAR TOUCH SCREEN DETECTOR"
say "uninstall icon:"; regview "$uninstall_key" /v DisplayIcon
wait_for 20 detector_running
say "detector running: $(detector_running && echo yes || echo NO)"
claim install "the installer started the detector" detector_running
say "engine:   $(head -n 1 "$work/records/kx.txt" 2>/dev/null | tr -d '\r')"
claim install "the engine ran" grep -q '^kx install' "$work/records/kx.txt"
say "script:   $(tr -d '\r' <"$work/records/menulinks.txt" 2>/dev/null)"
claim install "the shortcut script ran with INSTALL" grep -q 'args=\[INSTALL\]' "$work/records/menulinks.txt"
wait_for 20 grep -q '^ended' "$tesvo"
say "tool:     $(tr -d '\r' <"$tesvo" 2>/dev/null | paste -sd ' ' -)"
claim install "the tool ran to its end" grep -q '^ended' "$tesvo"

section "log-on: wineboot starts the Run key's programs; the settings reach the driver"
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
claim "log-on restore" "the log-on started the detector" detector_running
say "driver setters called by the detector (ORVA_CALL_LOG):"
new_lines "$calls" "$mark" | grep '^OrvaSet' | sed -E 's/bytes=([0-9a-f]{16})[0-9a-f]+/bytes=\1.../; s/^/      /'
# Both simulated screens get every setter, the last one the mouse mode of screen 1.
for setter in TouchBoundary Beep DragDelay MouseMode RightClickOnHold CalibrationData; do
  claim "log-on restore" "OrvaSet$setter reached both screens" \
    test "$(new_lines "$calls" "$mark" | grep -c "^OrvaSet$setter index=[01] .*status=0")" -eq 2
done

section "plug-in: the touch controller arrives (WM_DEVICECHANGE from the probe)"
mark=$(lines "$calls")
runs=$(grep -c '^ended' "$tesvo")
probe arrival --exe HIDWATCH.EXE \
  '\\?\HID#VID_0A7C&PID_0030#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}' >"$work/arrival.txt"
say "message delivered: $(sed -n 's/^delivered=//p' "$work/arrival.txt" | sed 's/1/yes/;s/0/NO/') (the detector signals with three tones, silent here)"
claim plug-in "the arrival reached the detector's window" grep -qx 'delivered=1' "$work/arrival.txt"
tool_ran_again() { [ "$(grep -c '^ended' "$tesvo" 2>/dev/null)" -gt "$runs" ]; }
wait_for 30 tool_ran_again
say "tool:     $(tail -n 2 "$tesvo" 2>/dev/null | tr -d '\r' | paste -sd ' ' -)"
claim plug-in "the detector ran the tool" tool_ran_again
# The tool counts the screens once itself; the detector's refresh counts them again.
refreshed() { [ "$(new_lines "$calls" "$mark" | grep -c '^OrvaGetScreenInfo')" -ge 2 ]; }
wait_for 30 refreshed
claim plug-in "the detector re-read the driver after the tool" refreshed
since=$(new_lines "$calls" "$mark")
say "the tool's driver setters:"
grep '^OrvaSet' <<<"$since" | sed 's/^/      /'
refresh=$(awk '/^OrvaGetScreenInfo/ {n++} n >= 2' <<<"$since")
say "the detector's refresh afterwards: $(grep -c . <<<"$refresh") driver calls for" \
    "$(sed -n 's/^OrvaGetScreenInfo count=\([0-9]*\).*/\1/p' <<<"$refresh" | head -n 1) screens" \
    "($(grep -c '^OrvaSendCuelineCommand' <<<"$refresh") controller commands)"

section "session end: wineboot --end-session --shutdown (a log-off)"
cp "$folder/PANELSET.TXT" "$work/settings-before.txt" 2>/dev/null
orva_wineboot --end-session --shutdown >/dev/null 2>&1 </dev/null
wait_for 30 detector_gone
say "detector running after the log-off: $(detector_running && echo yes || echo no)"
claim "session end" "the detector ended with the session" detector_gone
say "PANELSET.TXT saved by the detector, changed lines:"
diff <(tr -d '\r' <"$work/settings-before.txt" 2>/dev/null) <(tr -d '\r' <"$folder/PANELSET.TXT" 2>/dev/null) |
  sed -n 's/^< /      was  /p; s/^> /      now  /p'
# The tool set the beeper frequency and the mouse mode at the plug-in.
saved() { grep -qx "Frequency=${ORVA_TESVO_FREQUENCY:-1750}" <(tr -d '\r' <"$folder/PANELSET.TXT") &&
          grep -qx "Touch Mode=${ORVA_TESVO_MODE:-2}" <(tr -d '\r' <"$folder/PANELSET.TXT"); }
claim "session end" "PANELSET.TXT holds the driver's values the tool set" saved

section "uninstall: OrvaSetup.exe /U"
(cd "$pkg" && "$ORVA_WINE" OrvaSetup.exe /U >"$work/setup.out" 2>&1 </dev/null)
rc=$?
say "exit code $rc"
claim uninstall "OrvaSetup.exe /U exits with 0 (it gave $rc)" test "$rc" -eq 0
say "engine:   $(grep '^kx uninstall' "$work/records/kx.txt" 2>/dev/null | tr -d '\r')"
claim uninstall "the engine ran to uninstall" grep -q '^kx uninstall' "$work/records/kx.txt"
say "script:   $(tail -n 1 "$work/records/menulinks.txt" 2>/dev/null | tr -d '\r')"
claim uninstall "the shortcut script ran with UNINSTALL" grep -q 'args=\[UNINSTALL\]' "$work/records/menulinks.txt"
say "detector running: $(detector_running && echo yes || echo no)"
claim uninstall "no detector runs" detector_gone
machine >"$work/after.txt"
if diff -q "$work/before.txt" "$work/after.txt" >/dev/null; then
  say "the machine as before: yes"
  sed 's/^/      /' "$work/after.txt"
else
  say "the machine as before: NO"
  diff "$work/before.txt" "$work/after.txt" | sed 's/^/      /'
fi
claim uninstall "the machine is as before the install" diff -q "$work/before.txt" "$work/after.txt"
say "left by design: the empty parent key HKLM\\SOFTWARE\\TALMAR ($(exists 'HKLM\SOFTWARE\TALMAR'))"

section "verdict ($ORVA_WINE_BITS-bit build, $build)"
missed=()
for stage in "${stages[@]}"; do
  if [ -n "${failed_claims[$stage]:-}" ]; then
    printf '%-16s NO: %s\n' "$stage:" "${failed_claims[$stage]}"
    missed+=("$stage")
  else
    printf '%-16s yes\n' "$stage:"
  fi
done
if [ ${#missed[@]} -gt 0 ]; then
  say "FAILED: did not happen: $(IFS=,; echo "${missed[*]}" | sed 's/,/, /g')"
  exit 1
fi
say "the whole life happened on the $ORVA_WINE_BITS-bit build"
