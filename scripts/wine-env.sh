# Sourced by the scripts that run Windows programs: finds Wine and sets the
# environment every run uses. Never touches a user's own prefix: callers set
# WINEPREFIX to a throwaway folder first.
ORVA_WINE=$(command -v wine || command -v wine-stable || echo /usr/lib/wine/wine)
ORVA_WINESERVER=$(command -v wineserver || command -v wineserver-stable || echo /usr/lib/wine/wineserver)
ORVA_WINEBOOT=$(command -v wineboot || command -v wineboot-stable || echo "$ORVA_WINE wineboot")
export WINEDEBUG=${WINEDEBUG:--all}
# No crash debugger waiting for a time-out, no Mono or Gecko prompts.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree,mshtml="

# Creates the prefix and keeps its server running. Wine's background services
# inherit the output of whoever starts them, so boot with output discarded.
orva_prefix_up() {
  export WINEPREFIX="$1"
  mkdir -p "$WINEPREFIX"
  "$ORVA_WINESERVER" -p >/dev/null 2>&1 </dev/null
  $ORVA_WINEBOOT >/dev/null 2>&1 </dev/null || true
}

orva_prefix_down() {
  export WINEPREFIX="$1"
  "$ORVA_WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
