#!/usr/bin/env bash
# CTest's emulator for the cross-built programs: runs one under Wine in the test
# run's throwaway prefix (set up by the wine_prefix fixture), with the loader that
# scripts/wine-env.sh chooses for the build's bitness (ORVA_WINE_BITS, set by CTest).
set -u
: "${WINEPREFIX:?WINEPREFIX must name a throwaway prefix}"
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh" && orva_use_wine || exit
exec "$ORVA_WINE" "$@"
