#!/usr/bin/env bash
# CTest's emulator for the cross-built programs: runs one under Wine in the test
# run's throwaway prefix (set up by the wine_prefix fixture).
set -u
: "${WINEPREFIX:?WINEPREFIX must name a throwaway prefix}"
. "$(dirname "$0")/wine-env.sh"
exec "$ORVA_WINE" "$@"
