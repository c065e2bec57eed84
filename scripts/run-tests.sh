#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the sanitizer build
# (AddressSanitizer + UndefinedBehaviorSanitizer), the ThreadSanitizer build of
# the threaded code, and the release build with the desktop program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)

echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan

echo "== ThreadSanitizer (threaded code) =="
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan

echo "== Release =="
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
ctest --preset release
