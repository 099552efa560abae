#!/usr/bin/env bash
# Sets up, builds and runs every test: native unit tests under ASan/UBSan and TSan,
# a bounded fuzzing run, then the Windows programs and their tests under Wine with
# a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
for preset in native-asan native-tsan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

# Bounded fuzzing of the settings file rewrite (clang, libFuzzer, ASan/UBSan).
scripts/fuzz.sh 60

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
# One virtual display for the whole Wine run; the tests share one throwaway prefix.
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset win32
