#!/usr/bin/env bash
# Runs the Windows build's benchmarks under Wine in a throwaway prefix, with the loader
# chosen for the tree's bitness:  scripts/bench.sh [BUILD_DIR]   (default: the build
# this machine runs, build/win32 or build/win64; built beforehand).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ge 1 ]; then
  build=$(cd "$1" && pwd) || exit 2
  . "$build/orva-build.env" || { echo "not a Windows build tree: $1" >&2; exit 2; }
  export ORVA_WINE_BITS
fi
. "$root/scripts/wine-env.sh"
build=${build:-$root/build/$ORVA_WINE_BUILD}
for f in inventory_bench.exe session_end_bench.exe settings_file_bench.exe; do
  [ -f "$build/bench/$f" ] || { echo "missing $build/bench/$f: build the tree first" >&2; exit 2; }
done
work=$(mktemp -d /tmp/orva-bench.XXXXXX)
trap 'orva_prefix_down "$work/prefix"; rm -rf "$work"' EXIT
orva_prefix_up "$work/prefix"
echo "== benchmarks of the $ORVA_WINE_BITS-bit build ($build)"
cd "$build/bench"
rc=0
"$ORVA_WINE" inventory_bench.exe </dev/null || rc=1
"$ORVA_WINE" session_end_bench.exe "$(orva_windows_path "$root/shipped/PANELSET.TXT")" </dev/null || rc=1
"$ORVA_WINE" settings_file_bench.exe </dev/null || rc=1
exit $rc
