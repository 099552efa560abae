#!/usr/bin/env bash
# The main job, from a fresh machine: set up, build the Windows programs and the
# stand-ins, then show the whole life of the system in a throwaway Wine prefix:
# install, log-on restore, plug-in of the controller, session end, uninstall.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
build=${ORVA_BUILD_DIR:-$root/build/win32}
echo "== building the Windows programs and the stand-ins ($build)"
cmake --preset win32 -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
exec scripts/whole-life.sh "$build"
