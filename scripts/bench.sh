#!/usr/bin/env bash
# Runs the Windows build's benchmarks under Wine in a throwaway prefix, with the loader
# chosen for the tree's bitness:  scripts/bench.sh [BUILD_DIR]   (default: the build
# this machine runs, build/win32 or build/win64; built beforehand).
set -uo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
if [ $# -ge 1 ]; then orva_use_build "$1" || exit; fi
orva_use_wine || exit
build=${build:-$orva_root/build/$ORVA_WINE_BUILD}
for f in inventory_bench.exe session_end_bench.exe settings_file_bench.exe; do
  [ -f "$build/bench/$f" ] || { echo "missing $build/bench/$f: build the tree first" >&2; exit 2; }
done
orva_work bench own
echo "== benchmarks of the $ORVA_WINE_BITS-bit build ($build)"
cd "$build/bench" || exit 2
rc=0
"$ORVA_WINE" inventory_bench.exe </dev/null || rc=1
"$ORVA_WINE" session_end_bench.exe "$(orva_windows_path "$orva_root/shipped/PANELSET.TXT")" </dev/null || rc=1
"$ORVA_WINE" settings_file_bench.exe </dev/null || rc=1
exit $rc
