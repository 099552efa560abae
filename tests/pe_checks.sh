# Sourced by the checks of the built Windows programs: reads the program's headers
# once and counts failed checks.
# pe_checks_init EXE OBJDUMP, then check ..., check_gui_pe32, check_imports REGEX, pe_checks_finish.
pe_checks_init() {
  exe=$1
  headers=$("$2" -p "$exe")
  failures=0
}

check() {
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

check_gui_pe32() {
  check "PE32" grep -q 'Magic[[:space:]]*010b' <<<"$headers"
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
