#!/usr/bin/env bash
# The whole life of the system in a throwaway Wine prefix, with the stand-ins for the
# driver (two simulated screens), its engine, script and tool:
#   install -> log-on restore -> plug-in of the controller -> session end -> uninstall.
# Prints a short report. Needs a built win32 tree; builds nothing itself.
# Usage: scripts/whole-life.sh [BUILD_DIR]   (default build/win32)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win32}" && pwd) || { echo "no build tree: ${1:-$root/build/win32}" >&2; exit 2; }
# The detector is a dialog program: it needs a display, even a virtual one.
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build"; fi
probe_exe="$build/tests/detector/probe/orva_probe.exe"
for f in "$build/installer/OrvaSetup.exe" "$build/detector/HIDWATCH.EXE" "$build/standins/kx/kx.exe" \
         "$build/standins/tesvo/Tesvo.exe" "$build/standins/orvapubif/OrvaPubIf.dll" "$probe_exe"; do
  [ -f "$f" ] || { echo "missing $f: build the win32 tree first" >&2; exit 2; }
done

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
# reg32 KEY [/v NAME]: the values as the 32-bit programs see them, indented.
reg32() { win reg query "$@" /reg:32 | sed -n 's/^    /      /p'; }
exists32() { "$ORVA_WINE" reg query "$@" /reg:32 >/dev/null 2>&1 </dev/null && echo present || echo absent; }
new_lines() { tail -n +"$(($2 + 1))" "$1" 2>/dev/null | tr -d '\r'; }
lines() { [ -f "$1" ] && grep -c . "$1" || echo 0; }
wait_for() {  # wait_for SECONDS COMMAND...
  local i
  for i in $(seq 1 $(($1 * 5))); do "${@:2}" && return 0; sleep 0.2; done
  return 1
}
detector_running() { probe running --exe HIDWATCH.EXE | grep -qx "running=1"; }
detector_gone() { ! detector_running; }

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

folder="$WINEPREFIX/drive_c/Program Files (x86)/OrvaPanels"
folder_win='C:\Program Files (x86)\OrvaPanels'
installer_key='HKLM\SOFTWARE\TALMAR\TALMAR TOUCH INSTALLER'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OrvaTouchscreen'
service_key='HKLM\SYSTEM\CurrentControlSet\Services\OrvaTouchscreen'

# What the uninstall must give back.
machine() {
  echo "installer key: $(exists32 "$installer_key")"
  echo "Run values:"; reg32 "$run_key"
  echo "uninstall key: $(exists32 "$uninstall_key")"
  echo "service key: $(exists32 "$service_key")"
  echo "installation folder: $([ -e "$folder" ] && echo present || echo absent)"
}
machine >"$work/before.txt"

section "install: OrvaSetup.exe from the package folder ($(ls "$pkg" | tr '\n' ' '))"
start=$SECONDS
# Its output goes to a file: the detector and the tool it starts inherit it.
(cd "$pkg" && "$ORVA_WINE" OrvaSetup.exe >"$work/setup.out" 2>&1 </dev/null)
say "exit code $? after $((SECONDS - start)) s (5 s of it the pause before the tool)"
say "installation folder $folder_win:"
say "      $(ls "$folder" | tr '\n' ' ')"
say "installer key (reg query /reg:32):"; reg32 "$installer_key"
say "Run value:"; reg32 "$run_key" /v "TALMAR TOUCH SCREEN DETECTOR"
say "uninstall icon:"; reg32 "$uninstall_key" /v DisplayIcon
wait_for 20 detector_running
say "detector running: $(probe running --exe HIDWATCH.EXE | sed 's/running=//;s/1/yes/;s/0/NO/')"
say "engine:   $(head -n 1 "$work/records/kx.txt" | tr -d '\r')"
say "script:   $(tr -d '\r' <"$work/records/menulinks.txt")"
wait_for 20 grep -q '^ended' "$tesvo"
say "tool:     $(tr -d '\r' <"$tesvo" | paste -sd ' ' -)"

section "log-on: wineboot starts the Run key's programs; the settings reach the driver"
probe close --exe HIDWATCH.EXE >/dev/null
wait_for 20 detector_gone
settings_lines=$(grep -v '^;' "$folder/PANELSET.TXT" | tr -d '\r' | grep . | paste -sd ',' -)
say "PANELSET.TXT holds: $settings_lines"
mark=$(lines "$calls")
"$ORVA_WINEBOOT" >/dev/null 2>&1 </dev/null
wait_for 30 detector_running
wait_for 30 grep -q "OrvaSetMouseMode index=1" <(new_lines "$calls" "$mark")
say "detector running: $(detector_running && echo yes || echo NO)"
say "driver setters called by the detector (ORVA_CALL_LOG):"
new_lines "$calls" "$mark" | grep '^OrvaSet' | sed -E 's/bytes=([0-9a-f]{16})[0-9a-f]+/bytes=\1.../; s/^/      /'

section "plug-in: the touch controller arrives (WM_DEVICECHANGE from the probe)"
mark=$(lines "$calls")
runs=$(grep -c '^ended' "$tesvo")
probe arrival --exe HIDWATCH.EXE \
  '\\?\HID#VID_0A7C&PID_0030#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}' >"$work/arrival.txt"
say "message delivered: $(sed -n 's/^delivered=//p' "$work/arrival.txt" | sed 's/1/yes/;s/0/NO/') (the detector signals with three tones, silent here)"
wait_for 30 test "$(grep -c '^ended' "$tesvo")" -gt "$runs"
say "tool:     $(tail -n 2 "$tesvo" | tr -d '\r' | paste -sd ' ' -)"
# The tool counts the screens once itself; the detector's refresh counts them again.
wait_for 30 test "$(new_lines "$calls" "$mark" | grep -c '^OrvaGetScreenInfo')" -ge 2
since=$(new_lines "$calls" "$mark")
say "the tool's driver setters:"
grep '^OrvaSet' <<<"$since" | sed 's/^/      /'
refresh=$(awk '/^OrvaGetScreenInfo/ {n++} n >= 2' <<<"$since")
say "the detector's refresh afterwards: $(grep -c . <<<"$refresh") driver calls for" \
    "$(sed -n 's/^OrvaGetScreenInfo count=\([0-9]*\).*/\1/p' <<<"$refresh" | head -n 1) screens" \
    "($(grep -c '^OrvaSendCuelineCommand' <<<"$refresh") controller commands)"

section "session end: wineboot --end-session --shutdown (a log-off)"
cp "$folder/PANELSET.TXT" "$work/settings-before.txt"
"$ORVA_WINEBOOT" --end-session --shutdown >/dev/null 2>&1 </dev/null
wait_for 30 detector_gone
say "detector running after the log-off: $(detector_running && echo yes || echo no)"
say "PANELSET.TXT saved by the detector, changed lines:"
diff <(tr -d '\r' <"$work/settings-before.txt") <(tr -d '\r' <"$folder/PANELSET.TXT") |
  sed -n 's/^< /      was  /p; s/^> /      now  /p'

section "uninstall: OrvaSetup.exe /U"
(cd "$pkg" && "$ORVA_WINE" OrvaSetup.exe /U >"$work/setup.out" 2>&1 </dev/null)
say "exit code $?"
say "engine:   $(grep '^kx uninstall' "$work/records/kx.txt" | tr -d '\r')"
say "script:   $(tail -n 1 "$work/records/menulinks.txt" | tr -d '\r')"
say "detector running: $(detector_running && echo yes || echo no)"
machine >"$work/after.txt"
if diff -q "$work/before.txt" "$work/after.txt" >/dev/null; then
  say "the machine as before: yes"
  sed 's/^/      /' "$work/after.txt"
else
  say "the machine as before: NO"
  diff "$work/before.txt" "$work/after.txt" | sed 's/^/      /'
fi
say "left by design: the empty parent key HKLM\\SOFTWARE\\TALMAR ($(exists32 'HKLM\SOFTWARE\TALMAR'))"
