#!/usr/bin/env bash
# A long local fuzz run: each target in turn for RUNS executions (default
# ten million), at low priority, from the corpus the bounded test runs grow
# (build/fuzz/fuzz/corpus/<target>) and the seeds. Findings are written to
# WORK_DIR/<target>/; the executions of each target and how its run ended go to
# WORK_DIR/summary.txt. The run keeps to one core, FUZZ_CPU (default 0): a
# second run on another core may share the corpus.
#   scripts/fuzz-long.sh [RUNS] [WORK_DIR] [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-10000000}
work=$(realpath -m "${2:-build/fuzz-long}")
shift $(($# > 2 ? 2 : $#))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(options package instrument_file frames conversion)

cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null || exit 1
cd build/fuzz/fuzz
mkdir -p "$work"
for target in "${targets[@]}"; do
  seeds=(seeds/$target)
  max_len=8192
  case $target in
    instrument_file) seeds=("$root/examples" "$root/tests/data"); max_len=32768 ;;
    frames) max_len=4096 ;;
    options) max_len=4096 ;;
  esac
  dict=()
  [ -f "$root/fuzz/$target.dict" ] && dict=(-dict="$root/fuzz/$target.dict")
  mkdir -p "$work/$target" "corpus/$target"
  echo "$(date -u +%FT%T) $target: start" >>"$work/summary.txt"
  # A smaller quarantine and shorter allocation stacks make a run about a
  # third faster; a finding is replayed from its input anyway. Freed memory
  # kept rather than given back to the system saves the conversion target,
  # whose control thread allocates afresh in every execution, a page fault
  # per page; kept on one core, its two threads hand over without moving
  # between cores (measured 1.28x and 1.14x). The corpus
  # folder keeps every unit ever added (tens of thousands after a few hours),
  # so it is read once at the start rather than every second (-reload=0: a
  # tenth of the time of a long run went to listing it).
  pin=()
  command -v taskset >/dev/null && pin=(taskset -c "${FUZZ_CPU:-0}")
  ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=5:allocator_release_to_os_interval_ms=-1} \
  nice -n 15 "${pin[@]}" "./${target}_fuzzer" -runs="$runs" -reload=0 -max_len=$max_len -timeout=25 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/$target/" "${dict[@]}" \
    "corpus/$target" "${seeds[@]}" >"$work/$target.log" 2>&1
  status=$?
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")
  echo "$(date -u +%FT%T) $target: exit $status, ${executed:-?} executions" >>"$work/summary.txt"
done
cat "$work/summary.txt"
