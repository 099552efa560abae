#!/usr/bin/env bash
# How the real OrvaSetup.exe starts programs under Wine: the engine by its full path, from
# the installer's folder or (uninstalling) the installation folder, never a kx.exe found on
# PATH; the engine without SeDebugPrivilege; the detector and the tool as the installer's
# user, since Wine has no shell window and one user; and one run at a time, whatever is started together.
# Usage: orvasetup_launch_wine_test.sh OrvaSetup.exe HIDWATCH.EXE PANELSET.TXT kx.exe menulinks.bat
#          Tesvo.exe OrvaPubIf.dll OrvaScreens.txt orva_probe.exe planted_cmd.exe
# (WINEPREFIX set by the fixture; the detector needs a display.)
set -u
: "${WINEPREFIX:?WINEPREFIX must name a throwaway prefix}"
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh" && orva_use_wine || exit
[ $# -eq 10 ] || { echo "usage: $0 (10 files)" >&2; exit 2; }

orva_setup_package setup-launch "$@"
# A kx.exe that Windows' search would find on PATH: it notes its runs, which must not happen.
mkdir -p "$work/onpath"
cp "${10}" "$work/onpath/kx.exe"
export WINEPATH
WINEPATH=$(orva_windows_path "$work/onpath")

engine_runs() {
  local runs
  runs=$(grep -c '^kx ' "$work/records/kx.txt" 2>/dev/null)
  echo "${runs:-0}"
}
planted_never_ran() { [ ! -e "$work/records/planted.txt" ]; }

echo "-- install from a folder without kx.exe, one on PATH"
mv "$pkg/kx.exe" "$work/kx.exe"
setup
check "exit code 1603: no engine, no driver" equals "$rc" 1603
check "the kx.exe on PATH never ran" planted_never_ran
check "nor any other" equals "$(engine_runs)" 0
check "the log says why" logged "engine not run: command line too long, or no kx.exe beside the installer or in "

echo "-- install with the engine beside the installer"
mv "$work/kx.exe" "$pkg/kx.exe"
setup
check "exit code 0" equals "$rc" 0
check "the engine ran once" equals "$(engine_runs)" 1
check "without SeDebugPrivilege enabled in its token" \
  equals "$(grep -c 'SeDebugPrivilege not enabled' "$work/records/kx.txt")" 1
check "the debug privilege was switched on to open the detectors" logged "debug privilege: done"
check "no shell window under Wine, and one user: the detector and the tool as the installer" logged \
  "open the shell's token: failed" "as the installer, start detector \"$folder_win\\hidwatch.exe\": done" \
  "as the installer, start tool Tesvo.exe: done"
check "the detector runs" [ -n "$(probe find --exe HIDWATCH.EXE --wait-ms 20000 | sed -n 's/^pid=//p')" ]
check "the tool was started" equals "$(grep -c "started pid=" "$work/records/tesvo.txt")" 1

echo "-- uninstall from a folder without kx.exe: the installed one"
mv "$pkg/kx.exe" "$work/kx.exe"
ORVA_KX_KEEP_DRIVER=1 setup /U
check "exit code 1603: the driver stays" equals "$rc" 1603
check "the installed engine ran, in the installation folder" \
  equals "$(grep '^kx uninstall' "$work/records/kx.txt" | tr -d '\r' | sed 's/pid=[0-9]* //')" \
  "kx uninstall args=[/U] cwd=[$folder_win] folder=[$folder_win]"
check "the kx.exe on PATH never ran" planted_never_ran

echo "-- uninstall with kx.exe in neither folder"
rm -f "$folder/kx.exe"
setup /U
check "exit code 1603: the driver stays" equals "$rc" 1603
check "no engine ran" equals "$(engine_runs)" 2
check "the kx.exe on PATH never ran" planted_never_ran
check "the log says why" logged "engine not run: command line too long, or no kx.exe beside the installer or in $folder_win"
echo "-- installs, then an uninstall and an install, started together (each engine 4 s long)"
mv "$work/kx.exe" "$pkg/kx.exe"
export ORVA_KX_PAUSE_MS=4000
# A value of the wrong type is another program's business: left as it is.
orphan="\\??\\$folder_win\\PANELSET.TXT"
regv add "$session_manager_key" /v PendingFileRenameOperations /t REG_SZ /d "$orphan" /f
whole() { [ -n "$(reg_sz "$installer_key" Version)" ] && probe running --exe HIDWATCH.EXE | grep -qx count=1; }
removed() { fails regv query "$installer_key" && [ ! -e "$folder" ] && detector_gone; }
for pair in "/S /S" "/U /S" "/S /U"; do
  for n in 1 2; do
    # shellcheck disable=SC2086  # the pair is two runs' arguments
    (cd "$pkg" && set -- $pair && "$ORVA_WINE" "$probe_exe" run '.\OrvaSetup.exe' --timeout-ms 120000 -- "${!n}" \
      >"$work/race$n.out" 2>&1 </dev/null) &
  done
  wait
  check "[$pair]: each ends 0 or 1618" equals "$(cat "$work"/race?.out | tr -d '\r' | grep -cxE 'exit=(0|1618)')" 2
  check "[$pair]: the engines never overlapped" fails grep -q "another engine is running" "$work/records/kx.txt"
  check "[$pair]: one whole installation with one detector, or none" wait_for 10 eval 'whole || removed'
done
check "the REG_SZ PendingFileRenameOperations is untouched" \
  equals "$(reg_sz "$session_manager_key" PendingFileRenameOperations)" "$orphan"
checks_done
