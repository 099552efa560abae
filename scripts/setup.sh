#!/usr/bin/env bash
# Installs from Debian's packages what the builds and tests need; with "release", only
# what a release build uses (no Wine). Safe to run again.
#
# Wine's 32-bit part (wine32:i386, and with it the i386 architecture) is wanted only on
# a machine that executes 32-bit x86 code (ORVA_MACHINE_RUNS_32BIT=yes|no presets that).
# An index that cannot be fetched is a warning: the packages come from those that were.
# A package that cannot be installed is named; the run fails unless it is wine32:i386,
# without which the tests and the demo take the 64-bit twin.
# Usage: scripts/setup.sh [release]
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 zip osslsigncode openssl)
if [ "${1:-}" != release ]; then
  packages+=(g++ googletest libgtest-dev clang libclang-rt-14-dev
             g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
             wine wine64 xvfb xauth file cppcheck)
  orva_machine_32bit
  if [ "$ORVA_MACHINE_RUNS_32BIT" = yes ]; then packages+=(wine32:i386); fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

wine32=no
others=()
for p in "${missing[@]}"; do
  if [ "$p" = wine32:i386 ]; then wine32=yes; else others+=("$p"); fi
done
if [ "$wine32" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q ||
  echo "warning: some package indexes could not be fetched; installing from those that were" >&2

install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "$@"; }
if [ ${#others[@]} -gt 0 ] && ! install "${others[@]}"; then
  # Which ones: each alone, so that the message names them.
  failed=()
  for p in "${others[@]}"; do install "$p" >/dev/null 2>&1 || failed+=("$p"); done
  echo "set-up failed: cannot install ${failed[*]:-${others[*]}}" >&2
  exit 1
fi
if [ "$wine32" = yes ] && ! install wine32:i386; then
  echo "set-up: cannot install wine32:i386: the tests and the demo run on the 64-bit twin" \
       "(the 32-bit programs are still built and checked)" >&2
fi
