#!/usr/bin/env bash
# The real OrvaSetup.exe under Wine, run from a folder holding the distribution and the
# stand-ins, through install, repeated install, uninstall with the driver kept and
# removed, a second uninstall, a failing engine and a TesvoRan left by the engine.
# A cmd.exe planted beside the installer must never run.
# Usage: orvasetup_life_wine_test.sh OrvaSetup.exe HIDWATCH.EXE PANELSET.TXT kx.exe menulinks.bat
#          Tesvo.exe OrvaPubIf.dll OrvaScreens.txt orva_probe.exe planted_cmd.exe
# (WINEPREFIX set by the fixture; the detector needs a display.)
set -u
: "${WINEPREFIX:?WINEPREFIX must name a throwaway prefix}"
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh" && orva_use_wine || exit
[ $# -eq 10 ] || { echo "usage: $0 (10 files)" >&2; exit 2; }

# Where the installer puts itself: Program Files as the build's programs see it.
program_files=$(orva_program_files)
[ -n "$program_files" ] || { echo "Wine gave no Program Files folder" >&2; exit 1; }
folder_win="$program_files\\OrvaPanels"
folder=$(orva_unix_path "$folder_win")

orva_work setup-life shared
pkg="$work/package"
mkdir -p "$pkg"
cp "$1" "$2" "$3" "$4" "$5" "$6" "$7" "$8" "$pkg/"
cp "$9" "$work/orva_probe.exe"
probe_exe="$work/orva_probe.exe"
cp "${10}" "$pkg/cmd.exe"
# The outside programs note their runs outside the installation folder, which must
# end up empty.
orva_records "$work/records"
unset ORVA_KX_FAIL_INSTALL ORVA_KX_KEEP_DRIVER ORVA_KX_TESVO_RAN ORVA_KX_EXIT_CODE
# What an earlier run may have left.
regv delete 'HKLM\SOFTWARE\TALMAR' /f; regv delete "$service_key" /f; rm -rf "$folder"

count() { grep -c -F -- "$1" "$2" 2>/dev/null || true; }
detector_pid() { probe find --exe HIDWATCH.EXE --wait-ms 20000 | sed -n 's/^pid=//p'; }
folder_gone() {
  [ ! -e "$folder" ] && return 0
  echo "   left in the folder: $(ls -A "$folder" | tr '\n' ' ')"
  return 1
}

echo "-- fresh install"
run_setup
check "exit code 0" equals "$rc" 0
check "the detector and the settings file are copied" cmp -s "$2" "$folder/HIDWATCH.EXE"
check "PANELSET.TXT is the shipped one" cmp -s "$3" "$folder/PANELSET.TXT"
for f in kx.exe menulinks.bat Tesvo.exe OrvaPubIf.dll; do check "the engine put $f there" [ -f "$folder/$f" ]; done
check "Configuration" equals "$(reg_sz "$installer_key" Configuration)" "$folder_win\\PANELSET.TXT"
check "Tesvo, a plain path" equals "$(reg_sz "$installer_key" Tesvo)" "$folder_win\\Tesvo.exe"
check "the Run value is the quoted path" equals "$(reg_sz "$run_key" "$run_value")" "\"$folder_win\\hidwatch.exe\""
check "DisplayIcon" equals "$(reg_sz "$uninstall_key" DisplayIcon)" "$folder_win\\kx.exe,0"
first_pid=$(detector_pid)
check "the detector runs" [ -n "$first_pid" ]
check "the engine ran once, from the package folder, with an empty tail" \
  equals "$(grep -c '^kx install pid=[0-9]* args=\[\] cwd=\[' "$work/records/kx.txt")" 1
check "the script ran from the real installation folder with INSTALL" \
  equals "$(cat "$work/records/menulinks.txt" 2>/dev/null | tr -d '\r')" \
  "menulinks args=[INSTALL] script=[$folder_win\\menulinks.bat] cwd=[$folder_win]"
check "the planted cmd.exe never ran" [ ! -e "$work/records/planted.txt" ]
check "the tool was started in the installation folder" equals "$(count "started pid=" "$work/records/tesvo.txt")" 1
check "after the 5 s pause (installer took ${seconds} s)" [ "$seconds" -ge 5 ]
check "no TesvoRan" fails regv query "$installer_key" /v TesvoRan

echo "-- repeated install over it"
printf 'Frequency=3000\r\n' >>"$folder/PANELSET.TXT"
regv add "$installer_key" /v TesvoRan /d 1 /f
run_setup /s
check "exit code 0" equals "$rc" 0
check "PANELSET.TXT is overwritten" cmp -s "$3" "$folder/PANELSET.TXT"
check "TesvoRan was deleted before the engine ran" fails regv query "$installer_key" /v TesvoRan
check "so the tool ran again" equals "$(count "started pid=" "$work/records/tesvo.txt")" 2
check "the engine got the upper-cased tail" equals "$(grep -c 'args=\[/S\]' "$work/records/kx.txt")" 1
second_pid=$(detector_pid)
check "the old detector was stopped and a new one runs" [ -n "$second_pid" -a "$second_pid" != "$first_pid" ]

echo "-- /U with the driver kept"
ORVA_KX_KEEP_DRIVER=1 run_setup /U
check "exit code 1603" equals "$rc" 1603
third_pid=$(detector_pid)
check "the detector runs again" [ -n "$third_pid" -a "$third_pid" != "$second_pid" ]
check "the installer key stays" equals "$(reg_sz "$installer_key" Configuration)" "$folder_win\\PANELSET.TXT"
check "the Run value stays" regv query "$run_key" /v "$run_value"
check "the files stay" [ -f "$folder/HIDWATCH.EXE" -a -f "$folder/PANELSET.TXT" ]
check "no UNINSTALL run of the script" equals "$(count UNINSTALL "$work/records/menulinks.txt")" 0

echo "-- /u with the driver removed"
run_setup /u
check "exit code 0" equals "$rc" 0
check "the engine ran in the installation folder" \
  equals "$(grep '^kx uninstall' "$work/records/kx.txt" | tail -n 1 | tr -d '\r' | sed 's/pid=[0-9]* //')" \
  "kx uninstall args=[/U] cwd=[$folder_win] folder=[$folder_win]"
check "it could not delete the held script (sharing violation)" \
  equals "$(count "could not remove menulinks.bat (error 32)" "$work/records/kx.txt")" 1
check "the script ran with UNINSTALL" \
  equals "$(grep -c -F "menulinks args=[UNINSTALL] script=[$folder_win\\menulinks.bat]" "$work/records/menulinks.txt")" 1
check "the installer key is gone" fails regv query "$installer_key"
check "the Run value is gone" fails regv query "$run_key" /v "$run_value"
check "the installation folder is gone" folder_gone
check "the detector is not running" wait_for 10 detector_gone

echo "-- a second uninstall"
run_setup /U
check "exit code 0" equals "$rc" 0
check "the installer key is gone again" fails regv query "$installer_key"
check "the folder is still gone" folder_gone

echo "-- the engine fails to install the driver"
ORVA_KX_FAIL_INSTALL=1 run_setup
check "exit code 1603" equals "$rc" 1603
check "the installer key is deleted" fails regv query "$installer_key"
check "the copied files stay" [ -f "$folder/HIDWATCH.EXE" -a -f "$folder/PANELSET.TXT" ]
check "no Run value" fails regv query "$run_key" /v "$run_value"
check "no detector" wait_for 10 detector_gone
check "no script run" equals "$(count "args=[INSTALL]" "$work/records/menulinks.txt")" 2
check "no tool run" equals "$(count "started pid=" "$work/records/tesvo.txt")" 2

echo "-- the engine writes TesvoRan"
ORVA_KX_TESVO_RAN=1 run_setup
check "exit code 0" equals "$rc" 0
check "the detector runs" [ -n "$(detector_pid)" ]
check "no tool start" equals "$(count "started pid=" "$work/records/tesvo.txt")" 2
check "no pause (installer took ${seconds} s)" [ "$seconds" -lt 5 ]

run_setup /U
check "and the last uninstall leaves nothing" folder_gone
check "the planted cmd.exe never ran in all of it" [ ! -e "$work/records/planted.txt" ]

checks_done
