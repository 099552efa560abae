#!/usr/bin/env bash
# The real OrvaSetup.exe under Wine, run from a package whose files are read-only and
# hidden, as on a DVD or a read-only unpack: the copies are left writable, the
# detector's save after a tool run reaches the settings file, an install over files
# made read-only and hidden succeeds, and the uninstall takes them and the leftovers of
# a killed save away with the folder. Then a failed install that cannot delete the
# installer key still deletes Version, and a driver service key marked for deletion
# fails the install.
# Usage: orvasetup_media_wine_test.sh OrvaSetup.exe HIDWATCH.EXE PANELSET.TXT kx.exe menulinks.bat
#          Tesvo.exe OrvaPubIf.dll OrvaScreens.txt orva_probe.exe
# (WINEPREFIX set by the fixture, ORVA_PROJECT_VERSION by the build; the detector needs a display.)
set -u
: "${WINEPREFIX:?WINEPREFIX must name a throwaway prefix}"
version=${ORVA_PROJECT_VERSION:?ORVA_PROJECT_VERSION must give the version built}
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh" && orva_use_wine || exit
[ $# -eq 9 ] || { echo "usage: $0 (9 files)" >&2; exit 2; }

orva_setup_package setup-media "$@"
# The tool started by the detector sets a frequency that no file holds yet.
export ORVA_TESVO_FREQUENCY=2345

# The DOS attributes Wine shows for a file, letters only (A, R, H, S).
attributes() { win attrib "$1" | head -n 1 | cut -c1-11 | tr -d ' '; }
# writable NAME: the installed file has neither R nor H (Wine keeps R as the Unix mode).
writable() {
  local flags
  flags=$(attributes "$folder_win\\$1")
  [[ $flags != *R* && $flags != *H* && -n $(find "$folder/$1" -perm -u=w) ]] ||
    { echo "   $1: attributes [$flags]"; return 1; }
}
# read_only_and_hidden_now FILE: what read_only_and_hidden gave.
read_only_and_hidden_now() { [[ $(attributes "$(orva_windows_path "$1")") == *H*R* ]]; }
# read_only_and_hidden FILE...: as read-only media (and a careful packer) give them.
read_only_and_hidden() {
  local file
  for file in "$@"; do
    win attrib +h "$(orva_windows_path "$file")" >/dev/null
    chmod a-w "$file"
  done
}
tool_runs() { grep -c '^ended' "$work/records/tesvo.txt" 2>/dev/null || echo 0; }
saved_frequency() { grep -q $'^Frequency=2345\r$' "$folder/PANELSET.TXT"; }

echo "-- the package: read-only and hidden"
read_only_and_hidden "$pkg/HIDWATCH.EXE" "$pkg/PANELSET.TXT" "$pkg/OrvaSetup.exe"
check "Wine shows the package's detector read-only and hidden" read_only_and_hidden_now "$pkg/HIDWATCH.EXE"

echo "-- install from the read-only package"
setup
check "exit code 0" equals "$rc" 0
check "the detector is the shipped one" cmp -s "$2" "$folder/HIDWATCH.EXE"
check "the settings file is the shipped one" cmp -s "$3" "$folder/PANELSET.TXT"
check "HIDWATCH.EXE is left writable and visible" writable HIDWATCH.EXE
check "PANELSET.TXT is left writable and visible" writable PANELSET.TXT
check "the package is left as it was" read_only_and_hidden_now "$pkg/PANELSET.TXT"
check "Version" equals "$(reg_sz "$installer_key" Version)" "$version"

echo "-- the controller arrives: the detector's save after the tool reaches the file"
check "the detector runs" wait_for 20 detector_running
before=$(tool_runs)
probe arrival --exe HIDWATCH.EXE \
  '\\?\HID#VID_0A7C&PID_0030&MI_00#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}' >"$work/arrival.txt"
check "the arrival reached the detector" equals "$(value "$work/arrival.txt" delivered)" 1
tool_ran() { [ "$(tool_runs)" -gt "$before" ]; }
check "the tool ran" wait_for 30 tool_ran
check "the tool's frequency is saved in PANELSET.TXT" wait_for 30 saved_frequency

echo "-- install again over files made read-only and hidden"
read_only_and_hidden "$folder/HIDWATCH.EXE" "$folder/PANELSET.TXT"
setup /s
check "exit code 0" equals "$rc" 0
check "both copies are done" logged "HIDWATCH.EXE to $folder_win\\HIDWATCH.EXE: done" \
  "PANELSET.TXT to $folder_win\\PANELSET.TXT: done"
check "PANELSET.TXT is the shipped one again" cmp -s "$3" "$folder/PANELSET.TXT"
check "HIDWATCH.EXE is left writable and visible" writable HIDWATCH.EXE
check "PANELSET.TXT is left writable and visible" writable PANELSET.TXT

echo "-- uninstall: read-only files and the leftovers of a killed save"
read_only_and_hidden "$folder/HIDWATCH.EXE" "$folder/PANELSET.TXT"
printf 'Frequency=1\r\n' >"$folder/pnl1.tmp"
printf 'Frequency=2\r\n' >"$folder/PNLA3F2.TMP"
setup /U
check "exit code 0" equals "$rc" 0
check "the log: every deletion done" logged "delete $folder_win\\HIDWATCH.EXE: done" \
  "delete $folder_win\\PANELSET.TXT: done" "delete $folder_win\\pnl1.tmp: done" \
  "delete $folder_win\\PNLA3F2.TMP: done" "remove folder $folder_win: done"
check "the installation folder is gone" folder_gone
check "the detector is not running" wait_for 10 detector_gone

echo "-- a failed install whose installer key has a subkey"
regv add "$installer_key\\Extra" /v Note /d kept /f
regv add "$installer_key" /v Version /d 0.9.0 /f
ORVA_KX_FAIL_INSTALL=1 setup
check "exit code 1603" equals "$rc" 1603
check "the key stays, with its subkey" regv query "$installer_key\\Extra" /v Note
check "Version is gone" equals "$(reg_sz "$installer_key" Version)" ""
check "the log: each deletion as it went" logged "driver service key: missing" \
  "delete value Version: the installation failed: done" "delete installer key: failed, error"
regv delete "$installer_key" /f

echo "-- the driver's service key is marked for deletion"
regv add "$service_key" /v DeleteFlag /t REG_DWORD /d 1 /f
setup
check "exit code 1603" equals "$rc" 1603
check "no Version" equals "$(reg_sz "$installer_key" Version)" ""
check "the log says why" logged "driver service key: marked for deletion"
check "no detector" wait_for 10 detector_gone
check "the installer key is deleted" fails regv query "$installer_key"

checks_done
