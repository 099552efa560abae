#!/usr/bin/env bash
# scripts/release.sh OUTDIR: builds the 32-bit deliverable from scratch and writes into
# OUTDIR what an installation carries (HIDWATCH.EXE, OrvaSetup.exe, PANELSET.TXT), the
# archive OrvaPanels-<version>-win32.zip holding exactly those three, and SHA256SUMS.
#
# The same commit gives the same archive byte for byte, wherever it is checked out:
# file times come from SOURCE_DATE_EPOCH (the last commit's time unless set).
#
# Signing: when ORVA_SIGN_CERT and ORVA_SIGN_KEY name a PEM certificate and its private
# key, both programs are Authenticode-signed (SHA-256) before they are archived, and
# each signature is verified against that certificate. ORVA_SIGN_TIMESTAMP_URL adds a
# timestamp from that server; without one the signing time is SOURCE_DATE_EPOCH, so
# that a signed release too can be repeated.
set -euo pipefail

[ $# -eq 1 ] && [ -n "$1" ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
src=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib.sh
. "$src/scripts/lib.sh"

# A release needs the cross compiler, CMake, zip and the signing tools; no Wine.
"$src/scripts/setup.sh" release || die "set-up (scripts/setup.sh release) failed"

sign=no
if [ -n "${ORVA_SIGN_CERT:-}" ] || [ -n "${ORVA_SIGN_KEY:-}" ]; then
  [ -n "${ORVA_SIGN_CERT:-}" ] && [ -n "${ORVA_SIGN_KEY:-}" ] ||
    die "ORVA_SIGN_CERT and ORVA_SIGN_KEY go together: set both or neither"
  [ -r "$ORVA_SIGN_CERT" ] || die "cannot read the certificate ORVA_SIGN_CERT=$ORVA_SIGN_CERT"
  [ -r "$ORVA_SIGN_KEY" ] || die "cannot read the private key ORVA_SIGN_KEY=$ORVA_SIGN_KEY"
  sign=yes
fi

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct 2>/dev/null) ||
    die "not a git checkout: set SOURCE_DATE_EPOCH (seconds since 1970) for the file times"
fi
[[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH must be seconds since 1970, not '$SOURCE_DATE_EPOCH'"
export SOURCE_DATE_EPOCH

mkdir -p "$1" || die "cannot create $1"
out=$(cd "$1" && pwd)
build=$(mktemp -d /tmp/orva-release-build.XXXXXX)
trap 'rm -rf "$build"' EXIT
stage=$build/stage

# The win32 preset (its toolchain, Release) in a build folder of its own, from scratch.
echo "-- configuring in $build"
(cd "$src" && cmake --preset win32 -B "$build/tree" >"$build/configure.log" 2>&1) ||
  { cat "$build/configure.log" >&2; die "configure failed"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/tree/CMakeCache.txt")
[ -n "$version" ] || die "no project version in the configured build"
echo "-- building OrvaPanels $version (win32, Release)"
cmake --build "$build/tree" -j "$(nproc)" --target hidwatch OrvaSetup || die "build failed"
cmake --install "$build/tree" --component dist --prefix "$stage" >/dev/null || die "install failed"

files=(HIDWATCH.EXE OrvaSetup.exe PANELSET.TXT)
got=$(cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | paste -sd' ')
[ "$got" = "${files[*]}" ] || die "the install gave '$got', not '${files[*]}'"

if [ "$sign" = yes ]; then
  if [ -n "${ORVA_SIGN_TIMESTAMP_URL:-}" ]; then
    sign_time=(-ts "$ORVA_SIGN_TIMESTAMP_URL")
  else
    sign_time=(-time "$SOURCE_DATE_EPOCH")
  fi
  for exe in HIDWATCH.EXE OrvaSetup.exe; do
    osslsigncode sign -certs "$ORVA_SIGN_CERT" -key "$ORVA_SIGN_KEY" -h sha256 \
      -n "OrvaPanels $version" "${sign_time[@]}" \
      -in "$stage/$exe" -out "$stage/$exe.signed" >"$build/sign.log" 2>&1 ||
      { cat "$build/sign.log" >&2; die "signing $exe failed"; }
    mv "$stage/$exe.signed" "$stage/$exe"
    osslsigncode verify -CAfile "$ORVA_SIGN_CERT" -in "$stage/$exe" >"$build/verify.log" 2>&1 ||
      { cat "$build/verify.log" >&2; die "the signature of $exe does not verify"; }
    echo "-- signed and verified: $exe"
  done
else
  echo "-- not signed (ORVA_SIGN_CERT and ORVA_SIGN_KEY are not set)"
fi

# Fixed names, order, modes and times; no extra fields (owners, Unix times).
archive=OrvaPanels-$version-win32.zip
chmod 0644 "$stage"/*
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
rm -f "$out/$archive" "$out/SHA256SUMS"
(cd "$stage" && TZ=UTC zip -q -X -D "$build/$archive" "${files[@]}") || die "zip failed"
for f in "${files[@]}"; do cp -p "$stage/$f" "$out/$f"; done
mv "$build/$archive" "$out/$archive"
(cd "$out" && sha256sum "$archive" "${files[@]}" >SHA256SUMS) || die "checksums failed"

echo "-- $out/$archive ($(stat -c %s "$out/$archive") bytes), $out/SHA256SUMS"
cat "$out/SHA256SUMS"
