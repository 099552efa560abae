#!/usr/bin/env bash
# HIDWATCH.EXE is a 32-bit GUI program that imports only system DLLs and the 16
# plain names of OrvaPubIf.dll, so that any library honouring the contract can be
# dropped beside it.
# Usage: hidwatch_pe_check.sh HIDWATCH_EXE OBJDUMP
set -u
exe=$1
objdump=$2
failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

headers=$("$objdump" -p "$exe")
check "PE32" grep -q 'Magic[[:space:]]*010b' <<<"$headers"
check "GUI subsystem" grep -q 'Subsystem[[:space:]]*00000002' <<<"$headers"
unexpected=$(grep 'DLL Name:' <<<"$headers" | awk '{print tolower($3)}' |
             grep -v -x -E 'kernel32\.dll|user32\.dll|advapi32\.dll|comctl32\.dll|msvcrt\.dll|orvapubif\.dll')
check "imports only system DLLs and OrvaPubIf.dll${unexpected:+ (not: $unexpected)}" [ -z "$unexpected" ]
imported=$(sed -n '/DLL Name: OrvaPubIf.dll/,/^$/p' <<<"$headers" | awk '$3 ~ /^Orva[A-Za-z]*$/ {print $3}' | sort | paste -sd' ')
expected="OrvaGetBeep OrvaGetCalibrationData OrvaGetCuelineResponse OrvaGetDiagnosticsData OrvaGetDragDelay\
 OrvaGetMouseMode OrvaGetRightClickOnHold OrvaGetScreenInfo OrvaGetTouchBoundary OrvaSendCuelineCommand\
 OrvaSetBeep OrvaSetCalibrationData OrvaSetDragDelay OrvaSetMouseMode OrvaSetRightClickOnHold OrvaSetTouchBoundary"
check "binds the 16 plain names of OrvaPubIf.dll (got: $imported)" [ "$imported" = "$expected" ]
[ $failures -eq 0 ]
