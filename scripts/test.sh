#!/usr/bin/env bash
# Sets up the machine, builds everything, and runs every test:
#   build/       the normal build (engine, module, tools, benchmarks) and all its tests,
#                the end-to-end tests of the real program under Xvfb included;
#   build-asan/  the engine and its tests under AddressSanitizer and UndefinedBehaviorSanitizer.
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEV_ENGINE_ONLY=ON -DZEV_SANITIZE=ON
cmake --build build-asan -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "== tests: normal build"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600
echo "== tests: engine under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900
