#!/usr/bin/env bash
# HIDWATCH.EXE is a 32-bit GUI program (its 64-bit twin a PE32+ one), Terminal Server
# aware, that imports only system DLLs: OrvaPubIf.dll is bound at run time, so that a
# removed driver package leaves no loader error box at every log-on.
# Usage: hidwatch_pe_check.sh HIDWATCH_EXE OBJDUMP [BITS]
set -u
# shellcheck source=tests/pe_checks.sh
. "$(dirname "$0")/../pe_checks.sh"
pe_checks_init "$1" "$2" "${3:-32}"
check_gui_pe
check_tsaware
check_imports 'kernel32\.dll|user32\.dll|advapi32\.dll|comctl32\.dll|msvcrt\.dll'
check "does not import OrvaPubIf.dll" fails grep -qi 'DLL Name: OrvaPubIf\.dll' <<<"$headers"
checks_done
