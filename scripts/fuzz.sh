#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own build folder and runs each
# for a bounded time (seconds, default 60):  scripts/fuzz.sh [seconds] [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${2:-build/fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVA_FUZZ=ON >/dev/null
cmake --build "$build" --target settings_file_fuzz -j "$(nproc)"

# Seed: options byte, key, NUL, value text, NUL, then the shipped settings file.
corpus="$build/corpus/settings_file"
mkdir -p "$corpus"
{ printf '\x10Frequency\0001200\000'; cat shipped/PANELSET.TXT; } >"$corpus/seed-shipped"
{ printf '\x53Touch Mode\0002\000'; printf 'a=1\n\n;Touch Mode=0\n Touch Mode\nTouch Mode==5'; } >"$corpus/seed-edges"
{ printf '\x90Frequency|Duration|Touch Mode|Freq\000\000'; cat shipped/PANELSET.TXT; } >"$corpus/seed-batch"
# Blanks before a sign, in base 10 and 16; the format codes beside -5 to -1 (-6, 0, 7).
printf '\x18k\000 -5\000k= -5\r\nk2=\t+7\r\n' >"$corpus/seed-signed"
printf '\x61k\000\000k=  -0x1F\nk= +5' >"$corpus/seed-hex-sign"
printf '\x30Frequency\0002\000Frequency=8\r\n' >"$corpus/seed-format-minus-6"
printf '\x40Frequency\0002\000Frequency=8\r\n' >"$corpus/seed-format-0"
printf '\x38Frequency\0002\000Frequency=8\r\n' >"$corpus/seed-format-7"
printf '\xb0Frequency|Duration\000\000Frequency=1\nDuration=2\n' >"$corpus/seed-batch-format-minus-6"
printf '\x50k\0002\000\xef\xbb\xbf;k=1\r\nk=3\n' >"$corpus/seed-byte-order-mark"

"$build/tests/fuzz/settings_file_fuzz" -max_total_time="$seconds" -timeout=10 -max_len=65536 \
  -print_final_stats=1 -artifact_prefix="$build/" "$corpus"
