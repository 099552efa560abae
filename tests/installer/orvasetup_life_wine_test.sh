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
. "$(dirname "$0")/../../scripts/wine-env.sh"
[ $# -eq 10 ] || { echo "usage: $0 (10 files)" >&2; exit 2; }

work=$(mktemp -d /tmp/orva-setup-life.XXXXXX)
pkg="$work/package"
mkdir -p "$pkg" "$work/records"
cp "$1" "$2" "$3" "$4" "$5" "$6" "$7" "$8" "$pkg/"
cp "$9" "$work/orva_probe.exe"
cp "${10}" "$pkg/cmd.exe"

# Where the installer puts itself: Program Files as the build's programs see it.
program_files=$(orva_program_files)
[ -n "$program_files" ] || { echo "Wine gave no Program Files folder" >&2; exit 1; }
folder_win="$program_files\\OrvaPanels"
folder=$(orva_unix_path "$folder_win")
installer_key='HKLM\SOFTWARE\TALMAR\TALMAR TOUCH INSTALLER'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OrvaTouchscreen'
service_key='HKLM\SYSTEM\CurrentControlSet\Services\OrvaTouchscreen'
failures=0

winpath() { "$ORVA_WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
# The outside programs note their runs outside the installation folder, which must
# end up empty.
export ORVA_KX_RECORD ORVA_MENULINKS_RECORD ORVA_TESVO_RECORD ORVA_PLANTED_RECORD ORVA_CALL_LOG
ORVA_KX_RECORD=$(winpath "$work/records/kx.txt")
ORVA_MENULINKS_RECORD=$(winpath "$work/records/menulinks.txt")
ORVA_TESVO_RECORD=$(winpath "$work/records/tesvo.txt")
ORVA_PLANTED_RECORD=$(winpath "$work/records/planted.txt")
ORVA_CALL_LOG=$(winpath "$work/records/calls.txt")
unset ORVA_KX_FAIL_INSTALL ORVA_KX_KEEP_DRIVER ORVA_KX_TESVO_RAN

# In the registry view of the build's programs.
regq() { orva_reg query "$@" 2>/dev/null </dev/null | tr -d '\r'; }
regv() { orva_reg "$@" >/dev/null 2>&1 </dev/null; }
probe() { "$ORVA_WINE" "$work/orva_probe.exe" "$@" 2>/dev/null </dev/null | tr -d '\r'; }
cleanup() {
  probe close --exe HIDWATCH.EXE >/dev/null
  "$ORVA_WINE" taskkill /F /IM HIDWATCH.EXE >/dev/null 2>&1 </dev/null
  regv delete 'HKLM\SOFTWARE\TALMAR' /f
  regv delete "$run_key" /v "TALMAR TOUCH SCREEN DETECTOR" /f
  regv delete "$uninstall_key" /f
  regv delete "$service_key" /f
  rm -rf "$folder" "$work"
}
trap cleanup EXIT
cleanup_start() { regv delete 'HKLM\SOFTWARE\TALMAR' /f; regv delete "$service_key" /f; rm -rf "$folder"; }
cleanup_start

check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
fails() { ! "$@"; }
# value KEY NAME: the data of one REG_SZ value, exactly as stored.
value() { regq "$1" /v "$2" | sed -n "s/^    $2    REG_SZ    //p"; }
equals() { [ "$1" = "$2" ] || { echo "   got [$1], expected [$2]"; return 1; }; }
count() { grep -c -F -- "$1" "$2" 2>/dev/null || true; }
detector_pid() { probe find --exe HIDWATCH.EXE --wait-ms "${1:-20000}" | sed -n 's/^pid=//p'; }
folder_gone() {
  [ ! -e "$folder" ] && return 0
  echo "   left in the folder: $(ls -A "$folder" | tr '\n' ' ')"
  return 1
}
detector_gone() {
  local i
  for i in $(seq 1 20); do probe running --exe HIDWATCH.EXE | grep -qx "running=0" && return 0; sleep 0.5; done
  return 1
}

# setup ARGS...: runs the installer from the package folder; its output goes to a file,
# since the detector and the tool it starts inherit it. Sets rc and seconds.
setup() {
  local start=$SECONDS
  (cd "$pkg" && "$ORVA_WINE" OrvaSetup.exe "$@" >"$work/setup.out" 2>&1 </dev/null)
  rc=$?
  seconds=$((SECONDS - start))
}

echo "-- fresh install"
setup
check "exit code 0" equals "$rc" 0
check "the detector and the settings file are copied" cmp -s "$2" "$folder/HIDWATCH.EXE"
check "PANELSET.TXT is the shipped one" cmp -s "$3" "$folder/PANELSET.TXT"
for f in kx.exe menulinks.bat Tesvo.exe OrvaPubIf.dll; do check "the engine put $f there" [ -f "$folder/$f" ]; done
check "Configuration" equals "$(value "$installer_key" Configuration)" "$folder_win\\PANELSET.TXT"
check "Tesvo, a plain path" equals "$(value "$installer_key" Tesvo)" "$folder_win\\Tesvo.exe"
check "the Run value is the quoted path" equals "$(value "$run_key" "TALMAR TOUCH SCREEN DETECTOR")" "\"$folder_win\\hidwatch.exe\""
check "DisplayIcon" equals "$(value "$uninstall_key" DisplayIcon)" "$folder_win\\kx.exe,0"
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
setup /s
check "exit code 0" equals "$rc" 0
check "PANELSET.TXT is overwritten" cmp -s "$3" "$folder/PANELSET.TXT"
check "TesvoRan was deleted before the engine ran" fails regv query "$installer_key" /v TesvoRan
check "so the tool ran again" equals "$(count "started pid=" "$work/records/tesvo.txt")" 2
check "the engine got the upper-cased tail" equals "$(grep -c 'args=\[/S\]' "$work/records/kx.txt")" 1
second_pid=$(detector_pid)
check "the old detector was stopped and a new one runs" [ -n "$second_pid" -a "$second_pid" != "$first_pid" ]

echo "-- /U with the driver kept"
ORVA_KX_KEEP_DRIVER=1 setup /U
check "exit code 0" equals "$rc" 0
third_pid=$(detector_pid)
check "the detector runs again" [ -n "$third_pid" -a "$third_pid" != "$second_pid" ]
check "the installer key stays" equals "$(value "$installer_key" Configuration)" "$folder_win\\PANELSET.TXT"
check "the Run value stays" regv query "$run_key" /v "TALMAR TOUCH SCREEN DETECTOR"
check "the files stay" [ -f "$folder/HIDWATCH.EXE" -a -f "$folder/PANELSET.TXT" ]
check "no UNINSTALL run of the script" equals "$(count UNINSTALL "$work/records/menulinks.txt")" 0

echo "-- /u with the driver removed"
setup /u
check "exit code 0" equals "$rc" 0
check "the engine ran in the installation folder" \
  equals "$(grep '^kx uninstall' "$work/records/kx.txt" | tail -n 1 | tr -d '\r' | sed 's/pid=[0-9]* //')" \
  "kx uninstall args=[/U] cwd=[$folder_win] folder=[$folder_win]"
check "it could not delete the held script (sharing violation)" \
  equals "$(count "could not remove menulinks.bat (error 32)" "$work/records/kx.txt")" 1
check "the script ran with UNINSTALL" \
  equals "$(grep -c -F "menulinks args=[UNINSTALL] script=[$folder_win\\menulinks.bat]" "$work/records/menulinks.txt")" 1
check "the installer key is gone" fails regv query "$installer_key"
check "the Run value is gone" fails regv query "$run_key" /v "TALMAR TOUCH SCREEN DETECTOR"
check "the installation folder is gone" folder_gone
check "the detector is not running" detector_gone

echo "-- a second uninstall"
setup /U
check "exit code 0" equals "$rc" 0
check "the installer key is gone again" fails regv query "$installer_key"
check "the folder is still gone" folder_gone

echo "-- the engine fails to install the driver"
ORVA_KX_FAIL_INSTALL=1 setup
check "exit code 0" equals "$rc" 0
check "the installer key is deleted" fails regv query "$installer_key"
check "the copied files stay" [ -f "$folder/HIDWATCH.EXE" -a -f "$folder/PANELSET.TXT" ]
check "no Run value" fails regv query "$run_key" /v "TALMAR TOUCH SCREEN DETECTOR"
check "no detector" detector_gone
check "no script run" equals "$(count "args=[INSTALL]" "$work/records/menulinks.txt")" 2
check "no tool run" equals "$(count "started pid=" "$work/records/tesvo.txt")" 2

echo "-- the engine writes TesvoRan"
ORVA_KX_TESVO_RAN=1 setup
check "exit code 0" equals "$rc" 0
check "the detector runs" [ -n "$(detector_pid)" ]
check "no tool start" equals "$(count "started pid=" "$work/records/tesvo.txt")" 2
check "no pause (installer took ${seconds} s)" [ "$seconds" -lt 5 ]

setup /U
check "and the last uninstall leaves nothing" folder_gone
check "the planted cmd.exe never ran in all of it" [ ! -e "$work/records/planted.txt" ]

[ $failures -eq 0 ]
