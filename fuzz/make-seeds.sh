#!/usr/bin/env bash
# Composes the seed inputs of the fuzz targets whose input is not a plain
# file: the project's example files with the target's own framing.
# Usage: make-seeds.sh <source dir> <seed dir>
set -euo pipefail
src=$1
out=$2
ex=$src/examples
mkdir -p "$out"/frames "$out"/options "$out"/package "$out"/conversion

# frames: a byte choosing instruments and formats, a chunk size byte, the log.
# 80 and above: the log arrives on a serial port (c0: after a global string;
# 90, a0, b0: for an instrument of another maker's kind).
for how in 00 05 0a 1c 2e 80 c0 90 a0 b0; do
  for raw in spr0117 nav0001 cast0117; do
    { printf "\\x$how\\x10"; head -c 6000 "$ex/$raw.raw"; } > "$out/frames/$raw-$how"
  done
done

printf '/data/cast1.raw\nout.txt\n/c\n/dt\n/l10-2\n/ow=yes\n' > "$out/options/plain"
printf 'a.raw\nb.txt\nc.cal\n/tf\n/w12\n/p3\n/x\n/b1024\n/fcf\n/ee\n' > "$out/options/all"
printf 'log\n/cl=/tmp/x.log\n/ew=no\n/d,\n/h\n/s\n' > "$out/options/log"

cp "$ex/spr0117.zpk" "$out/package/"

# conversion: options, "\n====\n", instrument file, "\n====\n", log.
sep=$'\n====\n'
{ printf '/c\n/tt%s' "$sep"; cat "$ex/spr0117.cal"; printf '%s' "$sep"; head -c 3000 "$ex/spr0117.raw"; } \
  > "$out/conversion/spr0117"
{ printf '/dt\n/l5\n/fc%s' "$sep"; cat "$ex/nav0001.tdf"; printf '%s' "$sep"; head -c 2000 "$ex/nav0001.raw"; } \
  > "$out/conversion/nav0001"
{ printf '/x\n/ss%s' "$sep"; head -c 2000 "$ex/cast0117.raw"; } > "$out/conversion/header"
