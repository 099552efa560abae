#!/usr/bin/env bash
# OrvaSetup.exe end to end under Wine: a running detector is terminated, the obsolete
# Run value goes, the installer key is created in the registry view of the build's
# programs (the 32-bit one for the deliverable) and not in the other, exit code 0.
# The driver's service key is planted, so that the uninstall keeps the installer key.
# Usage: orvasetup_wine_test.sh ORVASETUP_EXE PROBE_EXE   (WINEPREFIX set by the fixture)
set -u
: "${WINEPREFIX:?WINEPREFIX must name a throwaway prefix}"
. "$(dirname "$0")/../../scripts/wine-env.sh"
setup_exe=$1
probe_exe=$2

work=$(mktemp -d)
folder=""
detector_pid=""
failures=0
cleanup() {
  [ -n "$detector_pid" ] && kill "$detector_pid" 2>/dev/null
  regv delete 'HKLM\SOFTWARE\TALMAR' /f
  "$ORVA_WINE" reg delete "$service_key" /f >/dev/null 2>&1
  regv delete "$run_key" /v "TALMAR TOUCH SCREEN DETECTOR" /f
  rm -rf "$work"
  [ -n "$folder" ] && rm -rf "$folder"
}
trap cleanup EXIT

check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
regv() { orva_reg "$@" >/dev/null 2>&1; }
# The other view: /reg:64 for the 32-bit programs, /reg:32 for their 64-bit twin.
reg_other() { "$ORVA_WINE" reg "$@" "/reg:$((96 - ORVA_WINE_BITS))" >/dev/null 2>&1; }
fails() { ! "$@"; }
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
installer_key='HKLM\SOFTWARE\TALMAR\TALMAR TOUCH INSTALLER'
service_key='HKLM\SYSTEM\CurrentControlSet\Services\OrvaTouchscreen'

folder=$(orva_unix_path "$(orva_program_files)\\OrvaPanels")
cp "$setup_exe" "$work/OrvaSetup.exe"
cp "$probe_exe" "$work/hidwatch.exe"
cd "$work"

# A detector that would run for a minute, and the obsolete Run value beside another one.
"$ORVA_WINE" hidwatch.exe sleep 60000 0 >/dev/null 2>&1 </dev/null &
detector_pid=$!
regv add "$run_key" /v "TALMAR TOUCH SCREEN Reload" /d 'C:\old.exe' /f
regv add "$run_key" /v "OrvaTestKeep" /d 'C:\keep.exe' /f
regv delete 'HKLM\SOFTWARE\TALMAR' /f
regv add "$service_key" /f
for _ in $(seq 50); do
  "$ORVA_WINE" tasklist 2>/dev/null | grep -qi '^hidwatch.exe' && break
  sleep 0.2
done

"$ORVA_WINE" OrvaSetup.exe /u >setup.out 2>&1 </dev/null
check "exit code 0 with the installer key created" [ $? -eq 0 ]

ended=false
for _ in $(seq 50); do
  kill -0 "$detector_pid" 2>/dev/null || { ended=true; break; }
  sleep 0.2
done
check "the running detector was terminated" $ended
check "the obsolete Run value is gone" fails regv query "$run_key" /v "TALMAR TOUCH SCREEN Reload"
check "other Run values stay" regv query "$run_key" /v "OrvaTestKeep"
check "the installer key exists in the programs' view (/reg:$ORVA_WINE_BITS)" regv query "$installer_key"
check "and not in the other view" fails reg_other query "$installer_key"
regv delete "$run_key" /v "OrvaTestKeep" /f

# Again with no detector running and no arguments at all.
"$ORVA_WINE" OrvaSetup.exe >setup.out 2>&1 </dev/null
check "exit code 0 without a detector and without arguments" [ $? -eq 0 ]

[ $failures -eq 0 ]
