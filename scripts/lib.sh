# shellcheck shell=bash
# The shell library of the scripts and tests: Wine and its paths, the probe, registry
# reads, waits and checks. Sourcing it (at the top level) only defines; what runs
# Windows programs then asks for Wine and lets a failure end it:
#   . scripts/lib.sh && orva_use_wine || exit
orva_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# orva_machine_32bit: ORVA_MACHINE_RUNS_32BIT=yes|no and ORVA_MACHINE_32BIT_WHY, whether this
# machine executes 32-bit x86 code, unless preset; kept for the scripts this one starts.
# Asked of a tiny static 32-bit program written out here, so that the answer needs no
# i386 package: some hypervisors offer no 32-bit user mode, whatever the packages say.
orva_machine_32bit() {
  if [ -n "${ORVA_MACHINE_RUNS_32BIT:-}" ]; then
    local can
    can=$([ "$ORVA_MACHINE_RUNS_32BIT" = yes ] && echo executes || echo "cannot execute")
    : "${ORVA_MACHINE_32BIT_WHY:=this machine $can 32-bit x86 code (ORVA_MACHINE_RUNS_32BIT=$ORVA_MACHINE_RUNS_32BIT says so)}"
  else
    local dir status=0
    dir=$(mktemp -d)
    # ELF32 header, one loadable segment, then: mov eax,1; mov ebx,42; int 0x80 (exit 42).
    printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08'\
'\x34\0\0\0\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0'\
'\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x60\0\0\0\x60\0\0\0\x05\0\0\0\0\x10\0\0'\
'\xb8\x01\0\0\0\xbb\x2a\0\0\0\xcd\x80' >"$dir/exit42" && chmod +x "$dir/exit42"
    "$dir/exit42" 2>/dev/null </dev/null || status=$?
    rm -rf "$dir"
    if [ "$status" -eq 42 ]; then
      ORVA_MACHINE_RUNS_32BIT=yes ORVA_MACHINE_32BIT_WHY="this machine executes 32-bit x86 code (a 32-bit test program runs)"
    else
      ORVA_MACHINE_RUNS_32BIT=no ORVA_MACHINE_32BIT_WHY="this machine cannot execute 32-bit x86 code (a 32-bit test program does not run)"
    fi
  fi
  export ORVA_MACHINE_RUNS_32BIT ORVA_MACHINE_32BIT_WHY
}

# The loader, server and registry view for the programs' bitness (scripts/wine-env.sh).
# shellcheck source=scripts/wine-env.sh
orva_use_wine() { . "$orva_root/scripts/wine-env.sh"; }

# orva_need_display SCRIPT ARGS...: the dialog programs need a display, even a virtual one.
orva_need_display() {
  if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"; fi
}

# orva_build_windows WHAT [TARGET...]: says which Windows build WHAT runs on, then
# configures and builds it (the targets, or all) in $build: ORVA_BUILD_DIR or build/<preset>.
orva_build_windows() {
  local targets=()
  orva_wine_choice "$1"
  shift
  [ $# -eq 0 ] || targets=(--target "$@")
  build=${ORVA_BUILD_DIR:-$orva_root/build/$ORVA_WINE_BUILD}
  echo "== building the Windows programs and the stand-ins ($build)"
  (cd "$orva_root" && cmake --preset "$ORVA_WINE_BUILD" -B "$build" >/dev/null) &&
    cmake --build "$build" -j "$(nproc)" "${targets[@]}" >/dev/null
}

# orva_use_build DIR: a built Windows tree as $build; its bitness chooses the loader.
orva_use_build() {
  if ! build=$(cd "$1" 2>/dev/null && pwd) || [ ! -f "$build/orva-build.env" ]; then
    echo "not a Windows build tree: $1" >&2
    return 2
  fi
  # shellcheck disable=SC1091  # written by the build
  . "$build/orva-build.env" && export ORVA_WINE_BITS
}

# orva_work NAME [own|shared]: a fresh work folder $work, left at exit by cleanup. With
# "own", a throwaway Wine prefix in it that goes whole at the end; with "shared", the
# test run's prefix ($WINEPREFIX), from which cleanup removes what a run may leave.
orva_work() {
  work=$(mktemp -d "/tmp/orva-$1.XXXXXX")
  work_prefix=${2:-}
  trap cleanup EXIT
  if [ "$work_prefix" = own ]; then orva_prefix_up "$work/prefix"; fi
}
cleanup() {
  capture_stop
  case "${work_prefix:-}" in
    own) orva_prefix_down "$work/prefix" ;;
    shared)
      win taskkill /F /IM HIDWATCH.EXE >/dev/null
      regv delete 'HKLM\SOFTWARE\TALMAR' /f
      regv delete "$run_key" /v "$run_value" /f
      regv delete "$uninstall_key" /f
      regv delete "$service_key" /f
      regv delete "$session_manager_key" /v PendingFileRenameOperations /f
      rm -f "$(orva_setup_log)"*
      [ -z "${folder:-}" ] || rm -rf "$folder" ;;
  esac
  rm -rf "$work"
}

# Creates a prefix and keeps its server running. Wine's background services inherit
# the output of whoever starts them: boot with it discarded.
orva_prefix_up() {
  export WINEPREFIX=$1
  mkdir -p "$WINEPREFIX"
  "$ORVA_WINESERVER" -p >/dev/null 2>&1 </dev/null
  # shellcheck disable=SC2119  # a plain boot, no arguments
  orva_wineboot >/dev/null 2>&1 </dev/null || true
}
orva_prefix_down() {
  export WINEPREFIX=$1
  "$ORVA_WINESERVER" -k >/dev/null 2>&1 </dev/null || true
  rm -rf "$WINEPREFIX"
}

# Where an installation registers itself, in the programs' registry view.
# shellcheck disable=SC2034  # for the scripts that source this
installer_key='HKLM\SOFTWARE\TALMAR\TALMAR TOUCH INSTALLER'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
run_value='TALMAR TOUCH SCREEN DETECTOR'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OrvaTouchscreen'
service_key='HKLM\SYSTEM\CurrentControlSet\Services\OrvaTouchscreen'
# Where Windows keeps what is to be removed at the next restart.
session_manager_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'
# The installer's log, %WINDIR%\Temp\OrvaSetup.log, on the Unix side of the prefix.
orva_setup_log() { echo "$WINEPREFIX/drive_c/windows/temp/OrvaSetup.log"; }

# win PROGRAM ARGS...: a Windows program's output without Wine's noise and the CRs.
win() { "$ORVA_WINE" "$@" 2>/dev/null </dev/null | tr -d '\r'; }
orva_unix_path() { win winepath -u "$1"; }
orva_windows_path() { win winepath -w "$1"; }
# The Program Files folder (Windows path) as the programs see it: Windows keeps it in
# each registry view, "(x86)" in the 32-bit one.
orva_program_files() {
  regq 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir | sed -n 's/^ *ProgramFilesDir *REG_SZ *//p'
}

# regv ARGS...: reg.exe's status alone. regq KEY [/v NAME]: what reg query prints.
regv() { orva_reg "$@" >/dev/null 2>&1 </dev/null; }
regq() { orva_reg query "$@" 2>/dev/null </dev/null | tr -d '\r'; }
# reg_sz KEY NAME: the data of one REG_SZ value, exactly as stored.
reg_sz() { regq "$1" /v "$2" | sed -n "s/^    $2    REG_SZ    //p"; }

# probe ARGS...: the test tool orva_probe.exe ($probe_exe) on the detector's window.
probe() { win "${probe_exe:?}" "$@"; }
detector_running() { probe running --exe HIDWATCH.EXE | grep -qx running=1; }
detector_gone() { probe running --exe HIDWATCH.EXE | grep -qx running=0; }
# value FILE KEY: the value of the first KEY=... line, as the probe prints them (CRs dropped).
value() { sed -n "s/^$2=//p" "$1" | tr -d '\r' | head -n 1; }

# orva_records DIR: the stand-ins of the outside programs (engine, shortcut script,
# tool, a planted cmd.exe) and of the driver library note their runs and calls in DIR.
orva_records() {
  mkdir -p "$1"
  export ORVA_KX_RECORD ORVA_MENULINKS_RECORD ORVA_TESVO_RECORD ORVA_PLANTED_RECORD ORVA_CALL_LOG
  ORVA_KX_RECORD=$(orva_windows_path "$1/kx.txt")
  ORVA_MENULINKS_RECORD=$(orva_windows_path "$1/menulinks.txt")
  ORVA_TESVO_RECORD=$(orva_windows_path "$1/tesvo.txt")
  ORVA_PLANTED_RECORD=$(orva_windows_path "$1/planted.txt")
  ORVA_CALL_LOG=$(orva_windows_path "$1/calls.txt")
}

# run_setup ARGS...: OrvaSetup.exe from the package folder $pkg, started by the probe
# ($probe_exe), which reports the whole exit code where the shell sees its low 8 bits.
# The output goes to $work/setup.out, since the detector and the tool it starts inherit
# it. Sets rc (the exit code, or "timed out" or "not started") and seconds (its run).
run_setup() {
  local out="$work/setup.out" ms
  (cd "${pkg:?}" && "$ORVA_WINE" "${probe_exe:?}" run '.\OrvaSetup.exe' --timeout-ms 120000 -- "$@" \
    >"$out" 2>&1 </dev/null)
  # shellcheck disable=SC2034  # for the caller
  case "$(value "$out" started):$(value "$out" timed_out)" in
    1:0) rc=$(value "$out" exit) ;;
    1:*) rc="timed out" ;;
    *) rc="not started" ;;
  esac
  ms=$(value "$out" milliseconds)
  # shellcheck disable=SC2034  # for the caller
  seconds=$((${ms:-0} / 1000))
}

# orva_setup_package NAME OrvaSetup.exe HIDWATCH.EXE PANELSET.TXT kx.exe menulinks.bat Tesvo.exe
#   OrvaPubIf.dll OrvaScreens.txt orva_probe.exe: for a test of the real installer in the
# shared prefix, the installation folder ($folder_win, $folder), a work folder (orva_work
# NAME shared) with the package $pkg (the first eight files) and the probe ($probe_exe),
# the stand-ins' records, no stand-in switch left set, and nothing of an earlier run
# (installer key, service key, folder, log $log).
orva_setup_package() {
  local program_files
  program_files=$(orva_program_files)
  [ -n "$program_files" ] || { echo "Wine gave no Program Files folder" >&2; exit 1; }
  folder_win="$program_files\\OrvaPanels"
  folder=$(orva_unix_path "$folder_win")
  orva_work "$1" shared
  pkg="$work/package"
  mkdir -p "$pkg"
  cp "${@:2:8}" "$pkg/"
  cp "${10}" "$work/orva_probe.exe"
  probe_exe="$work/orva_probe.exe"
  orva_records "$work/records"
  unset ORVA_KX_FAIL_INSTALL ORVA_KX_KEEP_DRIVER ORVA_KX_TESVO_RAN ORVA_KX_EXIT_CODE ORVA_KX_PAUSE_MS
  log=$(orva_setup_log)
  regv delete 'HKLM\SOFTWARE\TALMAR' /f; regv delete "$service_key" /f; rm -rf "$folder" "$log"*
}
# setup ARGS...: run_setup, with what the run added to the log in $work/run.log, and its
# exit code added to setup_codes.
setup_codes=()
setup() {
  local before
  before=$(stat -c %s "$log" 2>/dev/null || echo 0)
  run_setup "$@"
  setup_codes+=("$rc")
  tail -c +$((before + 1)) "$log" 2>/dev/null | tr -d '\r' >"$work/run.log"
}
# logged TEXT...: each text is on a line of the run's log; names those that are not.
logged() {
  local text missing=""
  for text in "$@"; do grep -qF -- "$text" "$work/run.log" || missing+=" [$text]"; done
  [ -z "$missing" ] || { echo "   not in the log:$missing"; return 1; }
}
# folder_gone: the installation folder is gone; names what is left in it.
folder_gone() {
  [ ! -e "$folder" ] && return 0
  echo "   left in the folder: $(ls -A "$folder" | tr '\n' ' ')"
  return 1
}

# capture_start DBWIN_CAPTURE.EXE FILE: every process's debug output into FILE from now
# on, until capture_stop; fails when the capture is not ready within 30 s.
capture_pid=""
capture_start() {
  "$ORVA_WINE" "$1" >"$2" 2>"$2.err" </dev/null &
  capture_pid=$!
  wait_for 30 grep -q "capture ready" "$2.err"
}
capture_stop() {
  if [ -n "$capture_pid" ]; then
    kill "$capture_pid" 2>/dev/null || true
    wait "$capture_pid" 2>/dev/null || true
  fi
  capture_pid=""
}

# wait_for SECONDS COMMAND...: until the command succeeds, tried five times a second.
wait_for() {
  local tries=$(($1 * 5))
  shift
  until "$@" 2>/dev/null; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.2
  done
}
process_ended() { ! kill -0 "$1" 2>/dev/null; }

# check WHAT COMMAND...: runs the command and says "ok: WHAT" or "FAILED: WHAT". Failures
# are counted, and noted against check_section when it names one (a verdict by section).
# With check_quietly set, only failures are said and the command's output is dropped.
failures=0
check_section=""
check_quietly=""
declare -gA failed_in=()
check() {
  local what=$1
  shift
  if [ -n "$check_quietly" ]; then "$@" >/dev/null 2>&1; else "$@"; fi || { fail "$what"; return 1; }
  [ -n "$check_quietly" ] || echo "ok: $what"
}
fail() {
  echo "${check_quietly:+   }FAILED: $*"
  failures=$((failures + 1))
  [ -z "$check_section" ] || failed_in[$check_section]+="${failed_in[$check_section]:+; }$*"
  return 1
}
# die WHAT: a failure that ends the script at once, said on the error output.
die() { fail "$@" >&2; exit 1; }
fails() { ! "$@"; }
equals() { [ "$1" = "$2" ] || { echo "   got [$1], expected [$2]"; return 1; }; }
# checks_done: says how the checks went; the status to end with.
checks_done() {
  if [ "$failures" -eq 0 ]; then echo "all checks passed"; else echo "$failures check(s) failed"; false; fi
}
