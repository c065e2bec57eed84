#!/usr/bin/env bash
# Times dravik-convert --each on 16 generated 8 MiB logs of the 136-channel
# example radiometer, calibrated with time tags (/c /t), with one job and with
# two, and reports the wall time, the speed-up and the peak resident set of
# each run. Measure on a quiet machine (see `uptime`) and repeat.
#   scripts/bench-each.sh [BUILD_DIR] [WORK_DIR] [REPEATS]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
work=${2:-build/bench-each}
repeats=${3:-3}
convert="$PWD/$build/src/cli/dravik-convert"
loggen="$PWD/$build/tools/dravik-loggen"
cal="$PWD/examples/spr0117.cal"

mkdir -p "$work/out"
cd "$work"
logs=()
for i in $(seq -w 1 16); do
  [ -f "cast$i.raw" ] || "$loggen" "$cal" "cast$i.raw" --size 8M --time-tags --seed "$i" >/dev/null 2>&1
  logs+=("cast$i.raw")
done

for run in $(seq 1 "$repeats"); do
  for jobs in 1 2; do
    # A cruise is converted into a fresh folder: overwriting yesterday's
    # outputs would add the file system's flush of the truncated files.
    rm -rf out && mkdir out && sync
    # GNU time: wall seconds and the peak resident set of the process in KiB.
    /usr/bin/time -f "%e %M" -o time.txt \
      "$convert" --each /c /t /ow=yes "${logs[@]}" --instrument "$cal" --output-dir out \
      --jobs "$jobs" >/dev/null 2>&1 </dev/null
    read -r seconds kib < time.txt
    eval "t$jobs=$seconds"
    echo "run $run  --jobs $jobs  ${seconds} s  peak RSS $((kib / 1024)) MiB"
  done
  awk -v a="$t1" -v b="$t2" 'BEGIN { printf "run %d  speed-up %.2fx\n", '"$run"', a / b }'
done
echo "load: $(uptime)"
