#!/usr/bin/env bash
# scripts/release.sh end to end: two clones of HEAD in folders of different lengths give
# the same archive byte for byte, the checksums check, the archive holds exactly the
# installation's three files, and both programs carry the project's version. Then a
# release signed with a throwaway code-signing certificate: both signatures verify (a
# changed byte does not), the signed programs pass the PE checks, and the signed
# installer still installs, starts the signed detector and uninstalls under Wine (the
# 64-bit twin, signed alike, where 32-bit code cannot run).
# Usage: release_test.sh   (after the Wine suite's build, build/$ORVA_WINE_BUILD)
set -u
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
# shellcheck source=scripts/lib.sh
. "$src/scripts/lib.sh" && orva_use_wine || exit
unset ORVA_SIGN_CERT ORVA_SIGN_KEY ORVA_SIGN_TIMESTAMP_URL

orva_work release-test
objdump=i686-w64-mingw32-objdump

version=$(sed -n 's/^project(OrvaPanels VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
archive=OrvaPanels-$version-win32.zip
files="HIDWATCH.EXE OrvaSetup.exe PANELSET.TXT"

git clone -q "$src" "$work/a" && git clone -q "$src" "$work/second-clone-b" ||
  { echo "FAILED: cloning $src"; exit 1; }
release() {  # release CLONE OUTDIR: its log in OUTDIR.log, shown when it fails
  local start=$SECONDS
  if "$1/scripts/release.sh" "$2" >"$2.log" 2>&1; then
    echo "-- released $2 in $((SECONDS - start)) s"
  else
    cat "$2.log"; return 1
  fi
}

# The version resource: the fixed file and product versions and both strings.
versions() {  # versions EXE: "file,product,FileVersion,ProductVersion"
  python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.index(struct.pack("<I", 0xFEEF04BD))
fms, fls, pms, pls = struct.unpack_from("<4I", data, at + 8)
dotted = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
def string(key):
    name = (key + "\0").encode("utf-16-le")
    at = data.index(name) + len(name)
    at += -at % 4
    return data[at:data.index(b"\0\0", at) + 1].decode("utf-16-le").rstrip("\0")
print(",".join([dotted(fms, fls), dotted(pms, pls), string("FileVersion"), string("ProductVersion")]))
EOF
}

echo "-- unsigned, twice"
check "release from the first clone" release "$work/a" "$work/out-a"
check "release from the second clone" release "$work/second-clone-b" "$work/out-b"
check "the same archive byte for byte" cmp "$work/out-a/$archive" "$work/out-b/$archive"
check "it says it did not sign" grep -q 'not signed' "$work/out-a.log"
check "SHA256SUMS checks" bash -c "cd '$work/out-a' && sha256sum --quiet -c SHA256SUMS"
names=$(awk '{print $2}' "$work/out-a/SHA256SUMS" | sort | paste -sd' ')
check "SHA256SUMS names the archive and the three files (got: $names)" \
  [ "$names" = "$(printf '%s\n' $archive $files | sort | paste -sd' ')" ]
listed=$(unzip -Z1 "$work/out-a/$archive" 2>/dev/null | sort | paste -sd' ')
check "the archive holds exactly $files (got: $listed)" [ "$listed" = "$files" ]
for f in $files; do
  check "the archive's $f is the one beside it" cmp <(unzip -p "$work/out-a/$archive" "$f") "$work/out-a/$f"
done
for exe in HIDWATCH.EXE OrvaSetup.exe; do
  got=$(versions "$work/out-a/$exe")
  check "$exe shows version $version (got: $got)" [ "$got" = "$version.0,$version.0,$version.0,$version.0" ]
done
refused() {  # fails, and says why, before building
  local said
  said=$(ORVA_SIGN_CERT=/dev/null "$src/scripts/release.sh" "$work/out-x" 2>&1) && return 1
  grep -q '^FAILED: .*go together' <<<"$said"
}
check "a certificate without its key is refused" refused

echo "-- signed with a throwaway certificate"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orva release test" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 || { echo "FAILED: openssl"; exit 1; }
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1; }
ORVA_SIGN_CERT=$work/cert.pem ORVA_SIGN_KEY=$work/key.pem check "signed release" release "$work/a" "$work/out-s"
check "it says it signed both" [ "$(grep -c '^-- signed and verified' "$work/out-s.log")" -eq 2 ]
signed=$work/signed
mkdir -p "$signed" && unzip -q -o "$work/out-s/$archive" -d "$signed"
check "signed SHA256SUMS checks" bash -c "cd '$work/out-s' && sha256sum --quiet -c SHA256SUMS"
for exe in HIDWATCH.EXE OrvaSetup.exe; do
  check "$exe in the archive is signed and verifies" verify "$signed/$exe"
  cp "$signed/$exe" "$work/changed.exe"
  printf '\x90' | dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc status=none
  check "$exe with one byte changed does not verify" fails verify "$work/changed.exe"
done
echo "-- PE checks of the signed programs"
check "HIDWATCH.EXE" "$src/tests/e2e/hidwatch_pe_check.sh" "$signed/HIDWATCH.EXE" "$objdump" 32
check "OrvaSetup.exe" "$src/tests/installer/orvasetup_pe_check.sh" "$signed/OrvaSetup.exe" "$objdump" 32

# The installer signed, under Wine: the release's own programs where this machine runs
# 32-bit code, else the 64-bit twin of the Wine suite's build signed alike.
echo "-- $(orva_wine_choice "the signed installer under Wine")"
built=$src/build/$ORVA_WINE_BUILD
if [ ! -f "$built/installer/OrvaSetup.exe" ] || [ ! -f "$built/tests/installer/planted_cmd.exe" ]; then
  check "the Wine suite's build $built is there (build it first)" false
else
  if [ "$ORVA_WINE_BITS" = 32 ]; then
    programs=$signed
  else
    programs=$work/twin
    mkdir -p "$programs"
    for exe in installer/OrvaSetup.exe detector/HIDWATCH.EXE; do
      osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 -n "OrvaPanels $version" \
        -in "$built/$exe" -out "$programs/${exe#*/}" >/dev/null 2>&1
      check "the 64-bit twin's ${exe#*/} is signed and verifies" verify "$programs/${exe#*/}"
    done
  fi
  check "the signed installer's life under Wine (orvasetup_life_wine_test.sh)" \
    env ORVA_PROJECT_VERSION="$version" xvfb-run -a -s "-screen 0 1024x768x24" "$here/signed_wine_run.sh" "$work/wineprefix" \
      "$src/tests/installer/orvasetup_life_wine_test.sh" "$programs/OrvaSetup.exe" "$programs/HIDWATCH.EXE" \
      "$src/shipped/PANELSET.TXT" "$built/standins/kx/kx.exe" "$src/standins/kx/menulinks.bat" \
      "$built/standins/tesvo/Tesvo.exe" "$built/standins/orvapubif/OrvaPubIf.dll" \
      "$src/standins/orvapubif/OrvaScreens.txt" "$built/tests/detector/probe/orva_probe.exe" \
      "$built/tests/installer/planted_cmd.exe" "$built/tests/installer/installer_probe.exe"
fi

checks_done
