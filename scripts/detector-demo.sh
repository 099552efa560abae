#!/usr/bin/env bash
# The detector alone, from a fresh machine: set up, build the Windows programs, and show
# the detector's life in a throwaway Wine prefix: installed with its key and
# settings file, started at log-on against the stand-in driver with two simulated
# screens, running hidden, and ended by the session end. Prints a short report.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
orva_need_display "$0" "$@"

scripts/setup.sh
# The 32-bit build, or its 64-bit twin where this machine cannot execute 32-bit code.
orva_use_wine || exit
orva_build_windows "the demonstration" hidwatch orvapubif_standin orvapubif_sample orva_probe dbwin_capture
echo "== creating a throwaway Wine prefix"
orva_work run own

# What the installer would leave behind: the detector, the driver library and the
# settings file in one folder under Program Files, and the installer key.
folder_win="$(orva_program_files)\\TALMAR Touch"
folder=$(orva_unix_path "$folder_win")
mkdir -p "$folder" "$work/tools"
cp "$build/detector/HIDWATCH.EXE" "$build/standins/orvapubif/OrvaPubIf.dll" "$folder/"
cp standins/orvapubif/OrvaScreens.txt "$folder/"  # two simulated screens: one USB, one serial
cp shipped/PANELSET.TXT "$folder/"
cp "$build/tests/detector/probe/orva_probe.exe" "$build/tests/detector/probe/dbwin_capture.exe" "$work/tools/"
probe_exe="$work/tools/orva_probe.exe"

regv add "$installer_key" /v Tesvo /t REG_SZ /d "$folder_win\\Tesvo.exe" /f
regv add "$installer_key" /v Configuration /t REG_SZ /d "$folder_win\\PANELSET.TXT" /f
regv add "$run_key" /v "$run_value" /t REG_SZ /d "$folder_win\\hidwatch.exe" /f

echo "== log-on: Windows starts the detector from the Run key"
capture_start "$work/tools/dbwin_capture.exe" "$work/debug.txt" || true
orva_wineboot >/dev/null 2>&1 </dev/null
probe find --exe HIDWATCH.EXE --wait-ms 60000 >"$work/find.txt" || true
probe watch --exe HIDWATCH.EXE --ms 3000 >"$work/watch.txt" || true
probe endsession --exe HIDWATCH.EXE >"$work/query.txt" || true

echo "== log-off: the session ends"
orva_wineboot --end-session --shutdown >/dev/null 2>&1 </dev/null || true
wait_for 30 detector_gone || true
probe running --exe HIDWATCH.EXE >"$work/after.txt"
capture_stop

yesno() { [ "$1" = "$2" ] && echo yes || echo NO; }
cat <<REPORT

================ hidwatch under Wine ================
Installed in:            $folder_win (HIDWATCH.EXE, OrvaPubIf.dll stand-in, PANELSET.TXT)
Started at log-on:       $(yesno "$(value "$work/find.txt" found)" 1) (Windows process id $(value "$work/find.txt" pid))
Window visible:          $(value "$work/watch.txt" visible) (sampled $(value "$work/watch.txt" samples) times over 3 s, visible in $(value "$work/watch.txt" visible_samples))
Taskbar button:          $(value "$work/find.txt" taskbar) (extended style $(value "$work/find.txt" exstyle), tool window)
Status text (hidden):    $(value "$work/find.txt" control.text)
Session-end query:       answered $(value "$work/query.txt" answer) (1 = the session may end)
Running after log-off:   $(value "$work/after.txt" running)

Debug output of the start-up inventory ($(grep -c . "$work/debug.txt") lines):
$(sed 's/^/  /' "$work/debug.txt")
=====================================================
REPORT
