#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
#   developers' build (gcc, warnings as errors): unit tests, then the end-to-end tests in Xvfb;
#   fuzz build (clang, libFuzzer): a short fuzz smoke of each target;
#   sanitizer build (clang, ASan + UBSan): the unit tests again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

jobs=$(nproc)
step() { printf '\n=== %s\n' "$*"; }

step "developers' build"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
step "unit tests"
ctest --preset dev -L unit -j "$jobs"
step "end-to-end tests (each starts its own X server)"
ctest --preset dev -L e2e

step "fuzz smoke"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
scripts/fuzz-smoke.sh build/fuzz

step "sanitizer build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
step "unit tests under ASan + UBSan"
ctest --preset asan -L unit -j "$jobs"
