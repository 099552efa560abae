# Sourced by the checks of the built Windows programs: reads the program's headers
# once and counts failed checks.
# pe_checks_init EXE OBJDUMP [BITS], then check ..., check_gui_pe, check_imports REGEX,
# pe_checks_finish. BITS is the build's (32, the deliverable, when not given).
pe_checks_init() {
  exe=$1
  headers=$("$2" -p "$exe")
  bits=${3:-32}
  failures=0
}

check() {
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
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

# check_imports 'kernel32\.dll|user32\.dll|...': no other DLL is imported (lower case).
check_imports() {
  local unexpected
  unexpected=$(grep 'DLL Name:' <<<"$headers" | awk '{print tolower($3)}' | grep -v -x -E "$1")
  check "imports only ${2:-system DLLs}${unexpected:+ (not: $unexpected)}" [ -z "$unexpected" ]
}

pe_checks_finish() {
  [ "$failures" -eq 0 ]
}
