#!/usr/bin/env bash
# Installs what is missing, builds Dravik and runs the main job on the shipped examples.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"

for f in examples/*.cal examples/*.tdf; do
  [ -e "$f" ] || continue
  ./build/release/tools/dravik-load-summary "$f"
  echo
done
