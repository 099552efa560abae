#!/usr/bin/env bash
# The real OrvaSetup.exe under Wine, run from a folder holding the distribution and the
# stand-ins, through install, repeated install over two running hidwatch.exe, uninstall
# with the driver kept and removed, a failing engine, a TesvoRan left by the engine, an
# engine asking for a restart or starting one, a detector that cannot be copied, an
# uninstall up to a restart with a file held, an install before that restart whose files
# the restart keeps, and a second uninstall; with the exit codes, the Version
# value and the log of every run, and the log's rules for a hard link and for size.
# A cmd.exe planted beside the installer must never run.
# Usage: orvasetup_life_wine_test.sh OrvaSetup.exe HIDWATCH.EXE PANELSET.TXT kx.exe menulinks.bat
#          Tesvo.exe OrvaPubIf.dll OrvaScreens.txt orva_probe.exe planted_cmd.exe installer_probe.exe
# (WINEPREFIX set by the fixture, ORVA_PROJECT_VERSION by the build; the detector needs a display.)
set -u
: "${WINEPREFIX:?WINEPREFIX must name a throwaway prefix}"
version=${ORVA_PROJECT_VERSION:?ORVA_PROJECT_VERSION must give the version built}
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh" && orva_use_wine || exit
[ $# -eq 11 ] || { echo "usage: $0 (11 files)" >&2; exit 2; }

# The outside programs note their runs outside the installation folder, which must
# end up empty.
orva_setup_package setup-life "$@"
cp "${10}" "$pkg/cmd.exe"
# A second program named hidwatch.exe, outside the installation (it runs "sleep MS CODE").
mkdir -p "$work/other"
cp "${11}" "$work/other/hidwatch.exe"
# The same program under a name the installer leaves alone ("hold FILE MS READY").
cp "${11}" "$work/holder.exe"

count() { grep -c -F -- "$1" "$2" 2>/dev/null || true; }
detector_pid() { probe find --exe HIDWATCH.EXE --wait-ms 20000 | sed -n 's/^pid=//p'; }
detectors() { probe running --exe HIDWATCH.EXE | sed -n 's/^count=//p'; }
version_value() { reg_sz "$installer_key" Version; }
# stamped_between STAMP FROM TO OFFSET: an ISO 8601 time with OFFSET, FROM to TO (Unix seconds).
stamped_between() {
  local at
  [[ $1 =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[-+][0-9]{2}:[0-9]{2}$ ]] &&
    at=$(date -d "$1" +%s) && [ "$at" -ge "$2" ] && [ "$at" -le "$3" ] && [ "${1: -6}" = "$4" ]
}

# The log's runs: a header begins each, "exit code N" ends it. Prints the Ns, and
# whatever stands outside a run.
log_runs() {
  tr -d '\r' <"$log" | awk '
    /^[0-9-]+T[0-9:]+[-+][0-9:]+ OrvaSetup / { if (open) print "(unended)"; open = 1; next }
    !open { print "(outside a run: " $0 ")"; next }
    /^exit code [0-9]+$/ { print $3; open = 0 }
    END { if (open) print "(unended)" }' | paste -sd' '
}

echo "-- fresh install"
# West of UTC by hours and a half: the header's offset shows its sign and its minutes.
zone=America/St_Johns
start=$(date +%s)
TZ=$zone setup
end=$(date +%s)
check "exit code 0" equals "$rc" 0
header=$(head -n 1 "$work/run.log")
stamp=${header%% *}
check "the log's header: version, account, a user's session, the empty tail" \
  equals "$(sed -E 's/, session [1-9][0-9]*,/, session N,/' <<<"${header#* }")" \
  "OrvaSetup $version, account $(win cmd /c 'echo %USERNAME%'), session N, command line []"
check "its time $stamp: ISO 8601, the run's, in $zone with its offset" \
  stamped_between "$stamp" "$start" "$end" "$(TZ=$zone date +%:z)"
check "the log: the engine's exit code" grep -qE '^engine kx\.exe ?: exit code 0$' "$work/run.log"
check "the log: service key, Run value, detector, script, tool, Version" logged "driver service key: present" \
  "Run value \"$folder_win\\hidwatch.exe\": done" "start detector \"$folder_win\\hidwatch.exe\": done" \
  "\\menulinks.bat\" INSTALL\": done" "start tool Tesvo.exe: done" "value Version=$version: done"
check "Version" equals "$(version_value)" "$version"
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

echo "-- repeated install over it, with a second hidwatch.exe running"
printf 'Frequency=3000\r\n' >>"$folder/PANELSET.TXT"
regv add "$installer_key" /v TesvoRan /d 1 /f
"$ORVA_WINE" "$work/other/hidwatch.exe" sleep 60000 0 >/dev/null 2>&1 </dev/null &
two_running() { [ "$(detectors)" = 2 ]; }
check "two processes named hidwatch.exe run" wait_for 10 two_running
setup /s
check "exit code 0" equals "$rc" 0
check "PANELSET.TXT is overwritten" cmp -s "$3" "$folder/PANELSET.TXT"
check "TesvoRan was deleted before the engine ran" fails regv query "$installer_key" /v TesvoRan
check "so the tool ran again" equals "$(count "started pid=" "$work/records/tesvo.txt")" 2
check "the engine got the upper-cased tail" equals "$(grep -c 'args=\[/S\]' "$work/records/kx.txt")" 1
second_pid=$(detector_pid)
check "the old detector was stopped and a new one runs" [ -n "$second_pid" -a "$second_pid" != "$first_pid" ]
check "the other hidwatch.exe was stopped too: one runs" equals "$(detectors)" 1
check "the log: the tail as given, the engine's upper-cased" logged "command line [/s]" "engine kx.exe /S: exit code 0"
check "the log: both hidwatch.exe opened to be stopped" \
  equals "$(grep -ciE '^open hidwatch\.exe, process [0-9]+: done$' "$work/run.log")" 2

echo "-- /U with the driver kept"
ORVA_KX_KEEP_DRIVER=1 setup /U
check "exit code 1603" equals "$rc" 1603
third_pid=$(detector_pid)
check "the detector runs again" [ -n "$third_pid" -a "$third_pid" != "$second_pid" ]
check "the installer key stays" equals "$(reg_sz "$installer_key" Configuration)" "$folder_win\\PANELSET.TXT"
check "the Run value stays" regv query "$run_key" /v "$run_value"
check "the files stay" [ -f "$folder/HIDWATCH.EXE" -a -f "$folder/PANELSET.TXT" ]
check "no UNINSTALL run of the script" equals "$(count UNINSTALL "$work/records/menulinks.txt")" 0
check "the log: engine, service key, detector" logged "engine kx.exe /U: exit code 1602" \
  "driver service key: present" "start detector \"$folder_win\\hidwatch.exe\": done"

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
check "the installer key is gone, Version with it" fails regv query "$installer_key"
check "the Run value is gone" fails regv query "$run_key" /v "$run_value"
check "the installation folder is gone" folder_gone
check "the detector is not running" wait_for 10 detector_gone

echo "-- the engine fails to install the driver"
ORVA_KX_FAIL_INSTALL=1 setup
check "exit code 1603" equals "$rc" 1603
check "the installer key is deleted: no Version" fails regv query "$installer_key"
check "the copied files stay" [ -f "$folder/HIDWATCH.EXE" -a -f "$folder/PANELSET.TXT" ]
check "no Run value" fails regv query "$run_key" /v "$run_value"
check "no detector" wait_for 10 detector_gone
check "no script run" equals "$(count "args=[INSTALL]" "$work/records/menulinks.txt")" 2
check "no tool run" equals "$(count "started pid=" "$work/records/tesvo.txt")" 2
check "the log: service key missing, installer key deleted" logged "driver service key: missing" \
  "delete installer key: done"

echo "-- the engine writes TesvoRan"
ORVA_KX_TESVO_RAN=1 setup
check "exit code 0" equals "$rc" 0
check "the detector runs" [ -n "$(detector_pid)" ]
check "no tool start" equals "$(count "started pid=" "$work/records/tesvo.txt")" 2
check "no pause (installer took ${seconds} s)" [ "$seconds" -lt 5 ]

echo "-- the engine installs the driver and asks for a restart (3010)"
regv delete "$installer_key" /v Version /f
ORVA_KX_EXIT_CODE=3010 setup
check "exit code 3010" equals "$rc" 3010
check "Version" equals "$(version_value)" "$version"
check "the detector runs" [ -n "$(detector_pid)" ]
check "the tool was started" equals "$(count "started pid=" "$work/records/tesvo.txt")" 3

echo "-- the engine installs the driver and starts a restart (1641)"
regv delete "$installer_key" /v Version /f
regv delete "$run_key" /v "$run_value" /f
scripts_before=$(count "args=[INSTALL]" "$work/records/menulinks.txt")
ORVA_KX_EXIT_CODE=1641 setup
check "exit code 1641" equals "$rc" 1641
check "Version" equals "$(version_value)" "$version"
check "the Run value, for the next log-on" equals "$(reg_sz "$run_key" "$run_value")" "\"$folder_win\\hidwatch.exe\""
check "no detector" wait_for 10 detector_gone
check "the script ran: the shortcuts" equals "$(count "args=[INSTALL]" "$work/records/menulinks.txt")" $((scripts_before + 1))
check "no tool start" equals "$(count "started pid=" "$work/records/tesvo.txt")" 3
check "no pause (installer took ${seconds} s)" [ "$seconds" -lt 5 ]
check "the log says why" logged "detector not started: the engine has started a restart" \
  "tool not started: the engine has started a restart"

echo "-- HIDWATCH.EXE cannot be copied"
mv "$pkg/HIDWATCH.EXE" "$work/HIDWATCH.EXE"
setup
mv "$work/HIDWATCH.EXE" "$pkg/HIDWATCH.EXE"
check "exit code 1603" equals "$rc" 1603
check "the installer key stays, without Version" \
  equals "$(reg_sz "$installer_key" Configuration)|$(version_value)" "$folder_win\\PANELSET.TXT|"
check "the log: the failed copy, Version removed" logged "\\HIDWATCH.EXE to $folder_win\\HIDWATCH.EXE: failed" \
  "delete value Version: the installation failed: done"

echo "-- /U: the engine keeps the driver's service key and asks for a restart (3010); PANELSET.TXT is held"
"$ORVA_WINE" "$work/holder.exe" hold "$folder_win\\PANELSET.TXT" 60000 "$(orva_windows_path "$work")\\held.txt" \
  >/dev/null 2>&1 </dev/null &
check "another program holds PANELSET.TXT" wait_for 20 [ -e "$work/held.txt" ]
ORVA_KX_KEEP_DRIVER=1 ORVA_KX_EXIT_CODE=3010 setup /U
win taskkill /F /IM holder.exe >/dev/null
check "exit code 3010" equals "$rc" 3010
check "the installer key is gone, Version with it" fails regv query "$installer_key"
check "the Run value is gone" fails regv query "$run_key" /v "$run_value"
check "HIDWATCH.EXE is gone" [ ! -e "$folder/HIDWATCH.EXE" ]
check "no detector" wait_for 10 detector_gone
pending() { regq "$session_manager_key" /v PendingFileRenameOperations; }
check "the held PANELSET.TXT, and the folder still holding the driver's files, go at the restart" \
  grep -qF "\\??\\$folder_win\\PANELSET.TXT\\0\\0\\??\\$folder_win\\0" <<<"$(pending)"
check "the log: engine, service key, removal" logged "engine kx.exe /U: exit code 3010" \
  "driver service key: present" "delete installer key: done" "delete $folder_win\\PANELSET.TXT at the restart: done" \
  "remove folder $folder_win at the restart: done"

echo "-- the log so far"
check "it holds every run, each from its header to its exit code" equals "$(log_runs)" "${setup_codes[*]}"

echo "-- install again, onto a log filled up to exactly 1 MiB"
filler=$((1048576 - $(stat -c %s "$log") - 2))
{ head -c "$filler" /dev/zero | tr '\0' '.'; printf '\r\n'; } >>"$log"
setup
check "exit code 0" equals "$rc" 0
check "the log is appended to, not renamed" [ ! -e "$log.old" -a "$(tail -n 1 "$work/run.log")" = "exit code 0" ]
check "nothing in the folder is left to go at the restart" fails grep -qiF "$folder_win" <<<"$(pending)"
check "the log: both deletions taken back" \
  logged "take back 2 deletions in $folder_win from PendingFileRenameOperations: done"
echo "-- the restart (wineboot -r carries out what is pending)"
# It also runs RunOnce entries (there are none) and leaves running programs alone: what it
# changes beside the pending value, which it deletes, is nothing the cleanup must undo.
orva_wineboot -r >/dev/null 2>&1 </dev/null
check "HIDWATCH.EXE outlives it" cmp -s "$2" "$folder/HIDWATCH.EXE"
check "PANELSET.TXT outlives it" cmp -s "$3" "$folder/PANELSET.TXT"

echo "-- the last uninstall, with the log over 1 MiB hard-linked"
ln "$log" "$log.link"
cp "$log" "$work/log.before"
setup /U
rm -f "$log.link"
check "exit code 0" equals "$rc" 0
check "the log is not written" cmp -s "$log" "$work/log.before"
check "nor renamed" [ ! -e "$log.old" ]
check "and the last uninstall leaves nothing" folder_gone
check "the planted cmd.exe never ran in all of it" [ ! -e "$work/records/planted.txt" ]

echo "-- a second uninstall, the log over 1 MiB"
setup /U
check "exit code 0" equals "$rc" 0
check "the installer key is gone again" fails regv query "$installer_key"
check "the folder is still gone" folder_gone
check "the log went to OrvaSetup.log.old" cmp -s "$log.old" "$work/log.before"
check "a fresh log holds this run alone" equals "$(log_runs)" 0

checks_done
