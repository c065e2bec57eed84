#!/usr/bin/env bash
# Regenerates the example logs in examples/ with the log generator. The
# generator is deterministic, so the logs only change when the generator or
# the instrument files change. Usage: scripts/make-example-logs.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
gen="${1:-build/release}/tools/dravik-loggen"

# The radiometer: 300 frames, a time tag after each, 1% garbage between frames.
"$gen" examples/spr0117.cal examples/spr0117.raw --frames 300 --time-tags --garbage 0.01 --seed 117
# The navigation receiver: 200 sentences with time tags.
"$gen" examples/nav0001.tdf examples/nav0001.raw --frames 200 --time-tags --seed 1
# A cast log that starts with ten header records, then 20 radiometer frames.
"$gen" examples/spr0117.cal examples/cast0117.raw --header-records 10 --frames 20 --time-tags --seed 2
