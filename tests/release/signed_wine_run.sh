#!/usr/bin/env bash
# Runs one Wine test script in a throwaway prefix made for it and removed after it, as
# the CTest fixture does for the Wine suite.
# Usage: signed_wine_run.sh PREFIX_DIR TEST_SCRIPT ARGS...   (ORVA_WINE_BITS as for the build)
set -u
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
prefix=$1; shift
trap '"$scripts/wine-prefix.sh" down "$prefix"' EXIT
"$scripts/wine-prefix.sh" up "$prefix" || { echo "FAILED: cannot make the Wine prefix $prefix"; exit 1; }
WINEPREFIX=$prefix "$@"
