# shellcheck shell=bash
# Sourced by the checks of the built Windows programs: the shell library's checks, on
# the program's headers read once.
# pe_checks_init EXE OBJDUMP [BITS], then check ..., check_gui_pe, check_tsaware,
# check_imports REGEX, and checks_done. BITS is the build's (32, the deliverable, when not given).
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"

pe_checks_init() {
  exe=$1
  headers=$("$2" -p "$exe")
  bits=${3:-32}
}

# The format and machine follow from the machine field of the file header, which
# objdump names in "file format".
check_gui_pe() {
  case "$bits" in
    32)
      check "PE32" grep -q 'Magic[[:space:]]*010b' <<<"$headers"
      check "Intel 80386" grep -q 'file format pei-i386$' <<<"$headers"
      ;;
    64)
      check "PE32+" grep -q 'Magic[[:space:]]*020b' <<<"$headers"
      check "x86-64" grep -q 'file format pei-x86-64$' <<<"$headers"
      ;;
    *) check "known bitness '$bits'" false ;;
  esac
  check "GUI subsystem" grep -q 'Subsystem[[:space:]]*00000002' <<<"$headers"
}

# IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE (0x8000) among the optional header's
# DllCharacteristics: on a Remote Desktop host Windows then applies no compatibility shims.
check_tsaware() {
  local flags
  flags=$(awk '$1 == "DllCharacteristics" {print $2}' <<<"$headers")
  check "Terminal Server aware (DllCharacteristics ${flags:-missing})" [ $((0x${flags:-0} & 0x8000)) -ne 0 ]
}

# check_imports 'kernel32\.dll|user32\.dll|...': no other DLL is imported (lower case).
check_imports() {
  local unexpected
  unexpected=$(grep 'DLL Name:' <<<"$headers" | awk '{print tolower($3)}' | grep -v -x -E "$1")
  check "imports only ${2:-system DLLs}${unexpected:+ (not: $unexpected)}" [ -z "$unexpected" ]
}
