# Sourced by everything that runs Windows programs: chooses the Wine loader, server
# and boot command for the programs' bitness and sets the environment every run uses.
# Never touches a user's own prefix: callers set WINEPREFIX to a throwaway folder first.
#
# ORVA_WINE_BITS=32|64 says which build's programs run (CTest sets it from the build,
# scripts/whole-life.sh from the build tree). Unset, it follows ORVA_WINE_BUILD=win32|win64
# when that forces a build, and otherwise what this machine can run: 32 where it
# executes 32-bit x86 code, 64 where it cannot. ORVA_WINE_BUILD is then the build
# (win32|win64) and orva_wine_choice says in a line which one and why.
#
# After sourcing: ORVA_WINE (the loader), ORVA_WINESERVER, orva_wineboot, orva_reg
# (reg.exe in the programs' registry view), orva_program_files (their folder, asked of
# Wine), orva_unix_path, orva_windows_path, ORVA_MACHINE_RUNS_32BIT=yes|no and ORVA_MACHINE_32BIT_WHY.

# Can this machine execute 32-bit x86 code? Asked by running a 32-bit program, the one
# that matters most: Wine's 32-bit loader. Some hypervisors offer no 32-bit user mode,
# and then the kernel refuses it ("Exec format error") whatever the packages say.
orva_probe_32bit() {
  local program
  for program in /usr/lib/wine/wine /lib/ld-linux.so.2; do
    [ -x "$program" ] || continue
    if "$program" --version >/dev/null 2>&1 </dev/null; then
      ORVA_MACHINE_RUNS_32BIT=yes
      ORVA_MACHINE_32BIT_WHY="this machine executes 32-bit x86 code ($program runs)"
    else
      ORVA_MACHINE_RUNS_32BIT=no
      ORVA_MACHINE_32BIT_WHY="this machine cannot execute 32-bit x86 code ($program does not run)"
    fi
    return 0
  done
  ORVA_MACHINE_RUNS_32BIT=no
  ORVA_MACHINE_32BIT_WHY="no 32-bit Wine loader to run (/usr/lib/wine/wine, package wine32:i386, is missing)"
}

# The answer is kept for the scripts and tests this one starts.
if [ -z "${ORVA_MACHINE_RUNS_32BIT:-}" ]; then orva_probe_32bit; fi
# A preset answer (to try the other path on this machine) may come without its reason.
if [ -z "${ORVA_MACHINE_32BIT_WHY:-}" ]; then
  if [ "$ORVA_MACHINE_RUNS_32BIT" = yes ]; then
    ORVA_MACHINE_32BIT_WHY="this machine executes 32-bit x86 code (ORVA_MACHINE_RUNS_32BIT=yes says so)"
  else
    ORVA_MACHINE_32BIT_WHY="this machine cannot execute 32-bit x86 code (ORVA_MACHINE_RUNS_32BIT=$ORVA_MACHINE_RUNS_32BIT says so)"
  fi
fi
export ORVA_MACHINE_RUNS_32BIT ORVA_MACHINE_32BIT_WHY

orva_wine64_runs() {
  [ -x /usr/lib/wine/wine64 ] && /usr/lib/wine/wine64 --version >/dev/null 2>&1 </dev/null
}

orva_why_bits=""
if [ -z "${ORVA_WINE_BITS:-}" ]; then
  case "${ORVA_WINE_BUILD:-}" in
    win32|win64)
      ORVA_WINE_BITS=${ORVA_WINE_BUILD#win}
      orva_why_bits="ORVA_WINE_BUILD=$ORVA_WINE_BUILD forces it (${ORVA_MACHINE_32BIT_WHY% (*})"
      ;;
    "")
      if [ "$ORVA_MACHINE_RUNS_32BIT" = yes ]; then ORVA_WINE_BITS=32; else ORVA_WINE_BITS=64; fi
      orva_why_bits=${ORVA_MACHINE_32BIT_WHY% (*}
      ;;
    *)
      echo "ORVA_WINE_BUILD must be win32 or win64, not '$ORVA_WINE_BUILD'" >&2
      exit 2
      ;;
  esac
fi
ORVA_WINE_BUILD=win$ORVA_WINE_BITS
export ORVA_WINE_BITS ORVA_WINE_BUILD

# orva_wine_choice WHAT: one plain line, e.g. "this machine cannot execute 32-bit x86
# code: the Wine suite runs on the 64-bit build".
orva_wine_choice() {
  echo "${orva_why_bits:-ORVA_WINE_BITS=$ORVA_WINE_BITS is set}: $1 runs on the $ORVA_WINE_BITS-bit build ($ORVA_WINE_BUILD)"
}

case "$ORVA_WINE_BITS" in
  32)
    if [ "$ORVA_MACHINE_RUNS_32BIT" != yes ]; then
      echo "$ORVA_MACHINE_32BIT_WHY: the 32-bit programs cannot run under Wine here" >&2
      exit 1
    fi
    # Debian's wrapper takes the 32-bit loader, which starts 64-bit programs (Wine's own
    # reg.exe, wineboot) through the 64-bit one.
    ORVA_WINE=$(command -v wine || command -v wine-stable || echo /usr/lib/wine/wine)
    ORVA_WINESERVER=$(command -v wineserver || command -v wineserver-stable || echo /usr/lib/wine/wineserver)
    ;;
  64)
    if ! orva_wine64_runs; then
      echo "64-bit Wine (/usr/lib/wine/wine64, package wine64) does not run here: the 64-bit programs cannot run" >&2
      exit 1
    fi
    # Chosen by hand: Debian's /usr/bin/wine takes the 32-bit loader whenever that file
    # exists, even where it cannot run. WINELOADER keeps Wine's own child processes on it.
    ORVA_WINE=/usr/lib/wine/wine64
    ORVA_WINESERVER=/usr/lib/wine/wineserver64
    export WINELOADER=$ORVA_WINE WINESERVER=$ORVA_WINESERVER
    ;;
  *)
    echo "ORVA_WINE_BITS must be 32 or 64, not '$ORVA_WINE_BITS'" >&2
    exit 2
    ;;
esac

export WINEDEBUG=${WINEDEBUG:--all}
# No crash debugger waiting for a time-out, no Mono or Gecko prompts.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree,mshtml="

orva_wineboot() {
  "$ORVA_WINE" wineboot "$@"
}

# orva_reg ARGS...: reg.exe in the registry view the programs see. HKLM\SOFTWARE differs
# between the views: the 32-bit programs read and write the 32-bit one.
orva_reg() {
  "$ORVA_WINE" reg "$@" "/reg:$ORVA_WINE_BITS"
}

# The Program Files folder (Windows path) as the programs see it: Windows keeps it in
# each registry view, "(x86)" in the 32-bit one.
orva_program_files() {
  orva_reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir 2>/dev/null </dev/null |
    tr -d '\r' | sed -n 's/^ *ProgramFilesDir *REG_SZ *//p'
}

orva_unix_path() {
  "$ORVA_WINE" winepath -u "$1" 2>/dev/null </dev/null | tr -d '\r'
}

orva_windows_path() {
  "$ORVA_WINE" winepath -w "$1" 2>/dev/null </dev/null | tr -d '\r'
}

# Creates the prefix and keeps its server running. Wine's background services
# inherit the output of whoever starts them, so boot with output discarded.
orva_prefix_up() {
  export WINEPREFIX="$1"
  mkdir -p "$WINEPREFIX"
  "$ORVA_WINESERVER" -p >/dev/null 2>&1 </dev/null
  orva_wineboot >/dev/null 2>&1 </dev/null || true
}

orva_prefix_down() {
  export WINEPREFIX="$1"
  "$ORVA_WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
