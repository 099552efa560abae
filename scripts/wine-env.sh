# shellcheck shell=bash
# The Wine part of scripts/lib.sh (orva_use_wine sources it): the loader, server and
# registry view for the programs' bitness, and the environment of every run. Returns
# non-zero, saying why, where they cannot run. Callers set WINEPREFIX to a throwaway
# prefix first, never a user's own.
#
# ORVA_WINE_BITS=32|64 says which build's programs run (CTest sets it from the build).
# Unset, ORVA_WINE_BUILD=win32|win64 forces it, or else the machine chooses: 32 where
# it executes 32-bit x86 code and Wine's 32-bit loader is installed, 64 elsewhere.
# ORVA_MACHINE_RUNS_32BIT=yes|no presets the first answer (ORVA_MACHINE_32BIT_WHY its
# reason; scripts/lib.sh, orva_machine_32bit), to try the other path.
# Gives ORVA_WINE, ORVA_WINESERVER, ORVA_WINE_BUILD, orva_wine_choice, orva_wineboot, orva_reg.

orva_machine_32bit
# Where 32-bit code runs but Wine's 32-bit loader does not (wine32:i386 could not be
# installed), the 64-bit twin is the build that can run.
orva_wine32_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null; }

orva_why_bits="ORVA_WINE_BITS=${ORVA_WINE_BITS:-} is set"
case "${ORVA_WINE_BITS:+set}:${ORVA_WINE_BUILD:-}" in
  set:*) ;;
  :win32|:win64) ORVA_WINE_BITS=${ORVA_WINE_BUILD#win}
                 orva_why_bits="ORVA_WINE_BUILD=$ORVA_WINE_BUILD forces it (${ORVA_MACHINE_32BIT_WHY% (*})" ;;
  :) if [ "$ORVA_MACHINE_RUNS_32BIT" = yes ] && ! orva_wine32_runs; then
       ORVA_WINE_BITS=64
       orva_why_bits="Wine's 32-bit loader (/usr/lib/wine/wine, package wine32:i386) does not run here"
     else
       ORVA_WINE_BITS=$([ "$ORVA_MACHINE_RUNS_32BIT" = yes ] && echo 32 || echo 64)
       orva_why_bits=${ORVA_MACHINE_32BIT_WHY% (*}
     fi ;;
  *) echo "ORVA_WINE_BUILD must be win32 or win64, not '$ORVA_WINE_BUILD'" >&2; return 2 ;;
esac
export ORVA_WINE_BITS ORVA_WINE_BUILD=win$ORVA_WINE_BITS

# orva_wine_choice WHAT: one plain line, e.g. "this machine cannot execute 32-bit x86
# code: the Wine suite runs on the 64-bit build (win64)".
orva_wine_choice() { echo "$orva_why_bits: $1 runs on the $ORVA_WINE_BITS-bit build ($ORVA_WINE_BUILD)"; }

case "$ORVA_WINE_BITS" in
  32) [ "$ORVA_MACHINE_RUNS_32BIT" = yes ] ||
        { echo "$ORVA_MACHINE_32BIT_WHY: the 32-bit programs cannot run under Wine here" >&2; return 1; }
      orva_wine32_runs || { echo "Wine's 32-bit loader (/usr/lib/wine/wine, package wine32:i386) does not run here:" \
        "the 32-bit programs cannot run under Wine here" >&2; return 1; }
      # Debian's wrapper takes the 32-bit loader, which starts 64-bit programs (Wine's
      # own reg.exe, wineboot) through the 64-bit one.
      ORVA_WINE=$(command -v wine || command -v wine-stable || echo /usr/lib/wine/wine)
      ORVA_WINESERVER=$(command -v wineserver || command -v wineserver-stable || echo /usr/lib/wine/wineserver) ;;
  64) /usr/lib/wine/wine64 --version >/dev/null 2>&1 </dev/null || {
        echo "64-bit Wine (/usr/lib/wine/wine64, package wine64) does not run here: the 64-bit programs cannot run" >&2
        return 1; }
      # Chosen by hand: Debian's /usr/bin/wine takes the 32-bit loader whenever that file
      # exists, even where it cannot run. WINELOADER keeps Wine's own child processes on it.
      ORVA_WINE=/usr/lib/wine/wine64 ORVA_WINESERVER=/usr/lib/wine/wineserver64
      export WINELOADER=$ORVA_WINE WINESERVER=$ORVA_WINESERVER ;;
  *) echo "ORVA_WINE_BITS must be 32 or 64, not '$ORVA_WINE_BITS'" >&2; return 2 ;;
esac

export WINEDEBUG=${WINEDEBUG:--all}
# No crash debugger waiting for a time-out, no Mono or Gecko prompts.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree,mshtml="

orva_wineboot() { "$ORVA_WINE" wineboot "$@"; }
# orva_reg ARGS...: reg.exe in the registry view the programs see. HKLM\SOFTWARE differs
# between the views: the 32-bit programs read and write the 32-bit one.
orva_reg() { "$ORVA_WINE" reg "$@" "/reg:$ORVA_WINE_BITS"; }
