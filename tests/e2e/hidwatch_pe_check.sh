#!/usr/bin/env bash
# HIDWATCH.EXE is a 32-bit GUI program (its 64-bit twin a PE32+ one) that imports
# only system DLLs and the 16 plain names of OrvaPubIf.dll, so that any library
# honouring the contract can be dropped beside it.
# Usage: hidwatch_pe_check.sh HIDWATCH_EXE OBJDUMP [BITS]
set -u
# shellcheck source=tests/pe_checks.sh
. "$(dirname "$0")/../pe_checks.sh"
pe_checks_init "$1" "$2" "${3:-32}"
check_gui_pe
check_imports 'kernel32\.dll|user32\.dll|advapi32\.dll|comctl32\.dll|msvcrt\.dll|orvapubif\.dll' \
  "system DLLs and OrvaPubIf.dll"
imported=$(sed -n '/DLL Name: OrvaPubIf.dll/,/^$/p' <<<"$headers" | awk '$3 ~ /^Orva[A-Za-z]*$/ {print $3}' | sort | paste -sd' ')
expected="OrvaGetBeep OrvaGetCalibrationData OrvaGetCuelineResponse OrvaGetDiagnosticsData OrvaGetDragDelay\
 OrvaGetMouseMode OrvaGetRightClickOnHold OrvaGetScreenInfo OrvaGetTouchBoundary OrvaSendCuelineCommand\
 OrvaSetBeep OrvaSetCalibrationData OrvaSetDragDelay OrvaSetMouseMode OrvaSetRightClickOnHold OrvaSetTouchBoundary"
check "binds the 16 plain names of OrvaPubIf.dll (got: $imported)" [ "$imported" = "$expected" ]
checks_done
