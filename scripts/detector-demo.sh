#!/usr/bin/env bash
# The detector alone, from a fresh machine: set up, build the Windows programs, and show
# the detector's life in a throwaway Wine prefix: installed with its key and
# settings file, started at log-on against the stand-in driver with two simulated
# screens, running hidden, and ended by the session end. Prints a short report.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"; fi

scripts/setup.sh
# The 32-bit build, or its 64-bit twin where this machine cannot execute 32-bit code.
. scripts/wine-env.sh
orva_wine_choice "the demonstration"
build=${ORVA_BUILD_DIR:-$root/build/$ORVA_WINE_BUILD}
echo "== building the Windows programs ($build)"
cmake --preset "$ORVA_WINE_BUILD" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target hidwatch orvapubif_standin orvapubif_sample orva_probe dbwin_capture >/dev/null
work=$(mktemp -d /tmp/orva-run.XXXXXX)
capture_pid=""
cleanup() {
  [ -n "$capture_pid" ] && kill "$capture_pid" 2>/dev/null && wait "$capture_pid" 2>/dev/null
  orva_prefix_down "$work/prefix"
  rm -rf "$work"
}
trap cleanup EXIT

echo "== creating a throwaway Wine prefix"
orva_prefix_up "$work/prefix"
win() { "$ORVA_WINE" "$@" 2>/dev/null </dev/null | tr -d '\r'; }
regv() { orva_reg "$@" >/dev/null 2>&1 </dev/null; }

# What the installer would leave behind: the detector, the driver library and the
# settings file in one folder under Program Files, and the installer key.
folder_win="$(orva_program_files)\\TALMAR Touch"
folder=$(orva_unix_path "$folder_win")
mkdir -p "$folder" "$work/tools"
cp "$build/detector/HIDWATCH.EXE" "$build/standins/orvapubif/OrvaPubIf.dll" "$folder/"
cp standins/orvapubif/OrvaScreens.txt "$folder/"  # two simulated screens: one USB, one serial
if [ -f shipped/PANELSET.TXT ]; then
  cp shipped/PANELSET.TXT "$folder/"
else
  printf '; touch screen settings\r\n' >"$folder/PANELSET.TXT"
fi
cp "$build/tests/detector/probe/orva_probe.exe" "$build/tests/detector/probe/dbwin_capture.exe" "$work/tools/"
probe() { win "$work/tools/orva_probe.exe" "$@"; }
value() { sed -n "s/^$1=//p" "$2" | head -1; }

key='HKLM\SOFTWARE\TALMAR\TALMAR TOUCH INSTALLER'
regv add "$key" /v Tesvo /t REG_SZ /d "$folder_win\\Tesvo.exe" /f
regv add "$key" /v Configuration /t REG_SZ /d "$folder_win\\PANELSET.TXT" /f
regv add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v "TALMAR TOUCH SCREEN DETECTOR" /t REG_SZ \
  /d "$folder_win\\hidwatch.exe" /f

echo "== log-on: Windows starts the detector from the Run key"
"$ORVA_WINE" "$work/tools/dbwin_capture.exe" >"$work/debug.txt" 2>"$work/capture.err" </dev/null &
capture_pid=$!
for _ in $(seq 1 300); do grep -q "capture ready" "$work/capture.err" 2>/dev/null && break; sleep 0.1; done
orva_wineboot >/dev/null 2>&1 </dev/null
probe find --exe HIDWATCH.EXE --wait-ms 60000 >"$work/find.txt" || true
probe watch --exe HIDWATCH.EXE --ms 3000 >"$work/watch.txt" || true
probe endsession --exe HIDWATCH.EXE >"$work/query.txt" || true

echo "== log-off: the session ends"
orva_wineboot --end-session --shutdown >/dev/null 2>&1 </dev/null || true
for _ in $(seq 1 30); do
  probe running --exe HIDWATCH.EXE | grep -qx "running=0" && break
  sleep 1
done
probe running --exe HIDWATCH.EXE >"$work/after.txt"
kill "$capture_pid" 2>/dev/null; wait "$capture_pid" 2>/dev/null || true; capture_pid=""

yesno() { [ "$1" = "$2" ] && echo yes || echo NO; }
cat <<REPORT

================ hidwatch under Wine ================
Installed in:            $folder_win (HIDWATCH.EXE, OrvaPubIf.dll stand-in, PANELSET.TXT)
Started at log-on:       $(yesno "$(value found "$work/find.txt")" 1) (Windows process id $(value pid "$work/find.txt"))
Window visible:          $(value visible "$work/watch.txt") (sampled $(value samples "$work/watch.txt") times over 3 s, visible in $(value visible_samples "$work/watch.txt"))
Taskbar button:          $(value taskbar "$work/find.txt") (extended style $(value exstyle "$work/find.txt"), tool window)
Status text (hidden):    $(value control.text "$work/find.txt")
Session-end query:       answered $(value answer "$work/query.txt") (1 = the session may end)
Running after log-off:   $(value running "$work/after.txt")

Debug output of the start-up inventory ($(grep -c . "$work/debug.txt") lines):
$(sed 's/^/  /' "$work/debug.txt")
=====================================================
REPORT
