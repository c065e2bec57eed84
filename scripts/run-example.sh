#!/usr/bin/env bash
# Installs what is missing, builds Dravik and runs the main job on the shipped
# examples: the radiometer log examples/spr0117.raw converted with its
# calibration file, calibrated (/c) and with time tag columns (/t).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset release >/dev/null
# Only the converter: the tests and benchmarks are not needed to run it.
cmake --build --preset release -j "$(nproc)" --target dravik-convert

convert=./build/release/src/cli/dravik-convert
out=build/example
mkdir -p "$out"

echo "== dravik-convert examples/spr0117.raw $out/spr0117.dat examples/spr0117.cal /c /t /ow=yes"
"$convert" examples/spr0117.raw "$out/spr0117.dat" examples/spr0117.cal /c /t /ow=yes
echo
echo "First lines of $out/spr0117.dat (TAB-delimited, CR LF line ends; the first"
echo "five cells and the last four of each line are shown):"
head -n 6 "$out/spr0117.dat" | tr -d '\r' |
  awk -F '\t' '{ printf "%s", $1; for (i = 2; i <= 5; i++) printf "\t%s", $i;
                 printf "\t..."; for (i = NF - 3; i <= NF; i++) printf "\t%s", $i; print "" }'

echo
echo "== dravik-convert examples/cast0117.raw $out/cast0117.dat /ow=yes   (header records)"
"$convert" examples/cast0117.raw "$out/cast0117.dat" /ow=yes
tr -d '\r' < "$out/cast0117.dat"
