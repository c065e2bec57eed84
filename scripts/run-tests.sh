#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the sanitizer build
# (AddressSanitizer + UndefinedBehaviorSanitizer), the ThreadSanitizer build of
# the threaded code, the release build with the desktop program, and each fuzz
# target for a bounded time (clang libFuzzer, 20 s each).
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

echo "== Fuzz targets (bounded runs) =="
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz
