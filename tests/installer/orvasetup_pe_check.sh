#!/usr/bin/env bash
# OrvaSetup.exe is a 32-bit GUI program (its 64-bit twin a PE32+ one) with its
# manifest and version block that imports nothing but system DLLs.
# Usage: orvasetup_pe_check.sh ORVASETUP_EXE OBJDUMP [BITS]
set -u
# shellcheck source=tests/pe_checks.sh
. "$(dirname "$0")/../pe_checks.sh"
pe_checks_init "$1" "$2" "${3:-32}"
check_gui_pe
check_tsaware
check_imports 'kernel32\.dll|user32\.dll|advapi32\.dll|shell32\.dll|shlwapi\.dll|wtsapi32\.dll|userenv\.dll|msvcrt\.dll'
check "manifest asks for administrator rights" grep -q -a 'level="requireAdministrator"' "$exe"
check "manifest lists supported systems" grep -q -a 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' "$exe"
# The version block's keys are UTF-16.
check "version block" grep -q -a -P 'V\x00S\x00_\x00V\x00E\x00R\x00S\x00I\x00O\x00N\x00_\x00I\x00N\x00F\x00O' "$exe"
checks_done
