#!/usr/bin/env bash
# The main job, from a fresh machine: set up, build the Windows programs and the
# stand-ins, then show the whole life of the system in a throwaway Wine prefix:
# install, log-on restore, plug-in of the controller, session end, uninstall.
# The 32-bit build where this machine executes 32-bit x86 code, its 64-bit twin where
# it cannot; ORVA_WINE_BUILD=win32|win64 forces either. Exits non-zero when a stage
# did not happen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/lib.sh
orva_use_wine || exit
orva_build_windows "the whole-life demo"
exec scripts/whole-life.sh "$build"
