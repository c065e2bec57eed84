#!/usr/bin/env bash
# Times dravik-convert on a generated log of the example radiometer (1 GiB by
# default, calibrated with time tags, /c /t) read three ways: uncompressed from
# a file, compressed with gzip and with zstd from a file, and decompressed by
# zcat or zstd into a pipe to "-". The decompressor alone into /dev/null is
# timed beside them, so that the cost of decompressing in the converter can be
# set against "the uncompressed conversion plus the decompressor". Reports the
# wall seconds and the peak resident set of each run; outputs go to /dev/null
# so that the disk does not take part. Measure on a quiet machine (`uptime`).
#   scripts/bench-compressed.sh [BUILD_DIR] [WORK_DIR] [REPEATS] [SIZE]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
work=${2:-build/bench-compressed}
repeats=${3:-3}
size=${4:-1G}
convert="$PWD/$build/src/cli/dravik-convert"
loggen="$PWD/$build/tools/dravik-loggen"
cal="$PWD/examples/spr0117.cal"

mkdir -p "$work"
cd "$work"
[ -f cast.raw ] || "$loggen" "$cal" cast.raw --size "$size" --time-tags --seed 7 >/dev/null 2>&1
[ -f cast.raw.gz ] || gzip -c cast.raw > cast.raw.gz
[ -f cast.raw.zst ] || zstd -q -c cast.raw > cast.raw.zst
ls -l cast.raw cast.raw.gz cast.raw.zst

# One timed command: "NAME  wall seconds  CPU seconds  peak RSS" (GNU time;
# the CPU time is that of every process of the command, so a pipe counts both
# sides; the RSS is the largest of them). On a shared machine the CPU time is
# the steadier figure.
timed() {
  local name=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" >/dev/null 2>&1 </dev/null
  read -r seconds user system kib < time.txt
  printf "%-22s %7.2f s wall %7.2f s CPU  peak RSS %4d MiB\n" "$name" "$seconds" \
    "$(echo "$user + $system" | bc)" $((kib / 1024))
}

for run in $(seq 1 "$repeats"); do
  echo "run $run"
  timed "file" "$convert" cast.raw /dev/null "$cal" /c /t
  timed "zcat > /dev/null" sh -c 'zcat cast.raw.gz > /dev/null'
  timed "gzip file" "$convert" cast.raw.gz /dev/null "$cal" /c /t
  timed "zcat | -" sh -c "zcat cast.raw.gz | '$convert' - /dev/null '$cal' /c /t"
  timed "zstd -dc > /dev/null" sh -c 'zstd -q -dc cast.raw.zst > /dev/null'
  timed "zstd file" "$convert" cast.raw.zst /dev/null "$cal" /c /t
  timed "zstd -dc | -" sh -c "zstd -q -dc cast.raw.zst | '$convert' - /dev/null '$cal' /c /t"
done
echo "load: $(uptime)"
