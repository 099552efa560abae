#!/usr/bin/env bash
# Sets up, builds and runs every test: native unit tests under ASan/UBSan and TSan,
# a bounded fuzzing run, the checks of the 32-bit deliverable's files, then the
# Windows programs and their tests under Wine with a virtual display.
#
# The Wine suite runs on the 32-bit build where this machine executes 32-bit x86
# code and on its 64-bit twin where it cannot; ORVA_WINE_BUILD=win32|win64 forces
# either. Where neither can run under Wine, this fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

# Static checks of the product code: any finding fails the run (suppressions stand
# inline, each with its reason).
cppcheck --enable=warning,performance,portability,style --std=c++17 -D_WIN32 --inline-suppr \
  -I common -I detector -I installer \
  --error-exitcode=1 --quiet common detector installer

jobs=$(nproc)
for preset in native-asan native-tsan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

# Bounded fuzzing of the settings file rewrite (clang, libFuzzer, ASan/UBSan).
scripts/fuzz.sh 60

# The deliverable is always built and its files checked: that needs no Wine.
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
ctest --preset win32 -L pe

# Which build the Wine suite runs on (stops here when neither can run).
. scripts/lib.sh
orva_use_wine || exit
choice=$(orva_wine_choice "the Wine suite")
echo "$choice"
if [ "$ORVA_WINE_BUILD" != win32 ]; then
  cmake --preset "$ORVA_WINE_BUILD" >/dev/null
  cmake --build --preset "$ORVA_WINE_BUILD" -j "$jobs"
fi
# One virtual display for the whole Wine run; the tests share one throwaway prefix.
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset "$ORVA_WINE_BUILD"
tests/release/release_test.sh
echo "$choice"
