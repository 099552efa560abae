# shellcheck shell=bash
# Sourced by the detector's end-to-end scripts, with their arguments: the shell library
# with Wine and a display, a work folder with the detector beside the stand-in driver,
# the installer key, the debug-output capture, the probe, and checks that count failures.
# Uses $WINEPREFIX when set (the test run's throwaway prefix); otherwise makes its own.
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
orva_need_display "$0" "$@"
orva_use_wine || exit

# harness_init HIDWATCH.EXE OrvaPubIf.dll orva_probe.exe dbwin_capture.exe
harness_init() {
  orva_work detector "$([ -n "${WINEPREFIX:-}" ] && echo shared || echo own)"
  mkdir -p "$work/app"
  cp "$1" "$work/app/HIDWATCH.EXE"
  cp "$2" "$work/app/OrvaPubIf.dll"
  cp "$3" "$work/app/orva_probe.exe"
  cp "$4" "$work/app/dbwin_capture.exe"
  probe_exe="$work/app/orva_probe.exe"
  app_win=$(orva_windows_path "$work/app")
  ORVA_SCREENS_FILE=$(orva_windows_path "$work/screens.txt")
  export ORVA_SCREENS_FILE
}

harness_delete_key() {
  regv delete "$installer_key" /f || true
}

# harness_write_key TOOL-COMMAND SETTINGS-PATH, as the installer stores them.
harness_write_key() {
  harness_delete_key
  regv add "$installer_key" /v Tesvo /t REG_SZ /d "$1" /f || fail "cannot write Tesvo"
  regv add "$installer_key" /v Configuration /t REG_SZ /d "$2" /f || fail "cannot write Configuration"
}

# Captures every process's debug output into $work/debug.txt from now on.
harness_start_capture() {
  capture_start "$work/app/dbwin_capture.exe" "$work/debug.txt" ||
    fail "the debug-output capture did not start: $(cat "$work/debug.txt.err")"
}

# harness_wait_gone SECONDS: until no detector runs.
harness_wait_gone() {
  wait_for "$1" detector_gone || fail "HIDWATCH.EXE still runs after $1 s"
}

# harness_wait_pid PID SECONDS: until a process started from this shell has ended.
harness_wait_pid() {
  wait_for "$2" process_ended "$1" || fail "process $1 still runs after $2 s"
}

# expect_value FILE KEY VALUE: the probe printed KEY=VALUE.
expect_value() {
  grep -qxF -- "$2=$3" "$1" || fail "$2 is '$(value "$1" "$2")', expected '$3' ($1)"
}

expect_less() {
  local found
  found=$(value "$1" "$2")
  [ -n "$found" ] && [ "$found" -lt "$3" ] || fail "$2 is '$found', expected less than $3 ($1)"
}

# expect_bits FILE KEY MASK: every bit of MASK is set in KEY's hexadecimal value.
expect_bits() {
  local found
  found=$(value "$1" "$2")
  [ -n "$found" ] && [ $((found & $3)) -eq $(($3)) ] || fail "$2 is '$found', expected bits $3 set ($1)"
}

# expect_bits_clear FILE KEY MASK: no bit of MASK is set in KEY's hexadecimal value.
expect_bits_clear() {
  local found
  found=$(value "$1" "$2")
  [ -n "$found" ] && [ $((found & $3)) -eq 0 ] || fail "$2 is '$found', expected bits $3 clear ($1)"
}

# expect_lines TEXT COUNT: the captured debug output holds TEXT as a whole line COUNT times.
expect_lines() {
  local count
  count=$(grep -cxF -- "$1" "$work/debug.txt")
  [ "$count" -eq "$2" ] || fail "'$1' appears $count times in the debug output, expected $2"
}
