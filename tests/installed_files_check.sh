#!/usr/bin/env bash
# What cmake --install gives: the distribution's layout, its two programs stripped (the
# build tree keeps their symbols) and passing the same PE checks as the built ones.
# Usage: installed_files_check.sh BUILD_DIR OBJDUMP BITS
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/lib.sh
. "$here/../scripts/lib.sh"
build=$1 objdump=$2 bits=$3
orva_work dist
dist=$work

cmake --install "$build" --prefix "$dist" >/dev/null || { echo "FAILED: cmake --install"; exit 1; }
layout=$(cd "$dist" && find . -type f | sed 's|^\./||' | sort | paste -sd' ')
check "the layout (got: $layout)" [ "$layout" = "HIDWATCH.EXE OrvaSetup.exe PANELSET.TXT standins/OrvaPubIf.dll\
 standins/OrvaScreens.txt standins/Tesvo.exe standins/kx.exe standins/menulinks.bat" ]

symbols() { "$objdump" -t "$1" 2>/dev/null | grep -c '^\[' ; }
for built in "$build/detector/HIDWATCH.EXE" "$build/installer/OrvaSetup.exe"; do
  installed="$dist/$(basename "$built")"
  name=$(basename "$built")
  check "$name installed without symbols" [ "$(symbols "$installed")" -eq 0 ]
  check "$name in the build tree keeps its symbols" [ "$(symbols "$built")" -gt 0 ]
  check "$name installed is smaller ($(stat -c %s "$installed") < $(stat -c %s "$built") bytes)" \
    [ "$(stat -c %s "$installed")" -lt "$(stat -c %s "$built")" ]
done

echo "-- HIDWATCH.EXE as installed"
check "HIDWATCH.EXE as installed passes the PE checks" "$here/e2e/hidwatch_pe_check.sh" "$dist/HIDWATCH.EXE" "$objdump" "$bits"
echo "-- OrvaSetup.exe as installed"
check "OrvaSetup.exe as installed passes the PE checks" \
  "$here/installer/orvasetup_pe_check.sh" "$dist/OrvaSetup.exe" "$objdump" "$bits"
checks_done
