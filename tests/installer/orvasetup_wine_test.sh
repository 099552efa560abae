#!/usr/bin/env bash
# OrvaSetup.exe end to end under Wine: a running detector is terminated, the obsolete
# Run value goes, the installer key is created in the registry view of the build's
# programs (the 32-bit one for the deliverable) and not in the other. The driver's
# service key is planted, so that the uninstall keeps the installer key and fails (1603).
# Usage: orvasetup_wine_test.sh ORVASETUP_EXE HIDWATCH_STANDIN_EXE ORVA_PROBE_EXE
#        (WINEPREFIX set by the fixture; HIDWATCH_STANDIN_EXE runs "sleep MS CODE")
set -u
: "${WINEPREFIX:?WINEPREFIX must name a throwaway prefix}"
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh" && orva_use_wine || exit
orva_work setup shared
pkg=$work
folder=$(orva_unix_path "$(orva_program_files)\\OrvaPanels")
cp "$1" "$pkg/OrvaSetup.exe"
cp "$2" "$pkg/hidwatch.exe"
cp "$3" "$work/orva_probe.exe"
probe_exe="$work/orva_probe.exe"
cd "$pkg" || exit

# The other view: /reg:64 for the 32-bit programs, /reg:32 for their 64-bit twin.
reg_other() { "$ORVA_WINE" reg "$@" "/reg:$((96 - ORVA_WINE_BITS))" >/dev/null 2>&1 </dev/null; }

# A detector that would run for a minute, and the obsolete Run value beside another one.
"$ORVA_WINE" hidwatch.exe sleep 60000 0 >/dev/null 2>&1 </dev/null &
detector_pid=$!
regv add "$run_key" /v "TALMAR TOUCH SCREEN Reload" /d 'C:\old.exe' /f
regv add "$run_key" /v "OrvaTestKeep" /d 'C:\keep.exe' /f
regv delete 'HKLM\SOFTWARE\TALMAR' /f
regv add "$service_key" /f
# Asked of the probe: Wine's tasklist lists nothing.
check "the detector stand-in runs" wait_for 10 detector_running

run_setup /u
check "exit code 1603: the driver's service key stays" equals "$rc" 1603
check "the running detector was terminated" wait_for 10 process_ended "$detector_pid"
check "the obsolete Run value is gone" fails regv query "$run_key" /v "TALMAR TOUCH SCREEN Reload"
check "other Run values stay" regv query "$run_key" /v "OrvaTestKeep"
check "the installer key exists in the programs' view (/reg:$ORVA_WINE_BITS)" regv query "$installer_key"
check "and not in the other view" fails reg_other query "$installer_key"
regv delete "$run_key" /v "OrvaTestKeep" /f

# Again with no detector running and no arguments at all.
run_setup
check "exit code 0 without a detector and without arguments" equals "$rc" 0
checks_done
