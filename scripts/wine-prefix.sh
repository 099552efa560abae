#!/usr/bin/env bash
# wine-prefix.sh up|down DIR: creates or removes a throwaway Wine prefix.
set -u
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh" && orva_use_wine || exit
case "${1:-}" in
  up) orva_prefix_up "$2" ;;
  down) orva_prefix_down "$2" ;;
  *) echo "usage: $0 up|down DIR" >&2; exit 2 ;;
esac
