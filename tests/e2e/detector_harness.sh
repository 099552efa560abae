# Sourced by the detector's end-to-end scripts (after scripts/wine-env.sh):
# a work folder, the detector beside the stand-in driver, the installer key,
# the debug-output capture, the probe, and checks that count failures.

installer_key='HKLM\SOFTWARE\TALMAR\TALMAR TOUCH INSTALLER'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
failures=0
capture_pid=""
own_prefix=""

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# harness_init HIDWATCH.EXE OrvaPubIf.dll orva_probe.exe dbwin_capture.exe
harness_init() {
  work=$(mktemp -d /tmp/orva-detector.XXXXXX)
  if [ -z "${WINEPREFIX:-}" ]; then
    own_prefix="$work/prefix"
    orva_prefix_up "$own_prefix"
  fi
  export WINEPREFIX
  mkdir -p "$work/app"
  cp "$1" "$work/app/HIDWATCH.EXE"
  cp "$2" "$work/app/OrvaPubIf.dll"
  cp "$3" "$work/app/orva_probe.exe"
  cp "$4" "$work/app/dbwin_capture.exe"
  app_win=$(harness_winpath "$work/app")
  ORVA_SCREENS_FILE=$(harness_winpath "$work/screens.txt")
  export ORVA_SCREENS_FILE
}

harness_winpath() {
  "$ORVA_WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'
}

# In the registry view of the build's programs (the 32-bit one for the deliverable).
harness_reg() {
  orva_reg "$@" >/dev/null 2>&1 </dev/null
}

harness_delete_key() {
  harness_reg delete "$installer_key" /f || true
}

# harness_write_key TOOL-COMMAND SETTINGS-PATH, as the installer stores them.
harness_write_key() {
  harness_delete_key
  harness_reg add "$installer_key" /v Tesvo /t REG_SZ /d "$1" /f || fail "cannot write Tesvo"
  harness_reg add "$installer_key" /v Configuration /t REG_SZ /d "$2" /f || fail "cannot write Configuration"
}

harness_probe() {
  "$ORVA_WINE" "$work/app/orva_probe.exe" "$@" 2>/dev/null </dev/null | tr -d '\r'
}

# Captures every process's debug output into $work/debug.txt from now on.
harness_start_capture() {
  : >"$work/debug.txt"
  "$ORVA_WINE" "$work/app/dbwin_capture.exe" >"$work/debug.txt" 2>"$work/capture.err" </dev/null &
  capture_pid=$!
  for _ in $(seq 1 300); do
    grep -q "capture ready" "$work/capture.err" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "the debug-output capture did not start: $(cat "$work/capture.err")"
}

harness_stop_capture() {
  if [ -n "$capture_pid" ]; then
    kill "$capture_pid" 2>/dev/null
    wait "$capture_pid" 2>/dev/null
    capture_pid=""
  fi
}

# harness_wait_gone EXE SECONDS: until no process of that name runs.
harness_wait_gone() {
  local i
  for i in $(seq 1 "$2"); do
    harness_probe running --exe "$1" | grep -qx "running=0" && return 0
    sleep 1
  done
  fail "$1 still runs after $2 s"
  return 1
}

# harness_wait_pid PID SECONDS: until a process started from this shell has ended.
harness_wait_pid() {
  local i
  for i in $(seq 1 "$(($2 * 10))"); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  fail "process $1 still runs after $2 s"
  return 1
}

# expect_value FILE KEY VALUE: the probe printed KEY=VALUE.
expect_value() {
  grep -qxF -- "$2=$3" "$1" || fail "$2 is '$(sed -n "s/^$2=//p" "$1" | head -1)', expected '$3' ($1)"
}

expect_less() {
  local value
  value=$(sed -n "s/^$2=//p" "$1" | head -1)
  [ -n "$value" ] && [ "$value" -lt "$3" ] || fail "$2 is '$value', expected less than $3 ($1)"
}

# expect_bits FILE KEY MASK: every bit of MASK is set in KEY's hexadecimal value.
expect_bits() {
  local value
  value=$(sed -n "s/^$2=//p" "$1" | head -1)
  [ -n "$value" ] && [ $((value & $3)) -eq $(($3)) ] || fail "$2 is '$value', expected bits $3 set ($1)"
}

# expect_bits_clear FILE KEY MASK: no bit of MASK is set in KEY's hexadecimal value.
expect_bits_clear() {
  local value
  value=$(sed -n "s/^$2=//p" "$1" | head -1)
  [ -n "$value" ] && [ $((value & $3)) -eq 0 ] || fail "$2 is '$value', expected bits $3 clear ($1)"
}

# expect_lines TEXT COUNT: the captured debug output holds TEXT as a whole line COUNT times.
expect_lines() {
  local count
  count=$(grep -cxF -- "$1" "$work/debug.txt")
  [ "$count" -eq "$2" ] || fail "'$1' appears $count times in the debug output, expected $2"
}

harness_cleanup() {
  harness_stop_capture
  if [ -n "${work:-}" ]; then
    "$ORVA_WINE" taskkill /F /IM HIDWATCH.EXE >/dev/null 2>&1 </dev/null
    harness_delete_key
    harness_reg delete "$run_key" /v "TALMAR TOUCH SCREEN DETECTOR" /f
    if [ -n "$own_prefix" ]; then orva_prefix_down "$own_prefix"; fi
    rm -rf "$work"
  fi
}

harness_finish() {
  harness_stop_capture
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
