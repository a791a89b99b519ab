#!/usr/bin/env bash
# Builds the release preset and runs the start-up and repaint benchmarks, each in a private Xvfb.
# Prints Google Benchmark's medians, then the launcher's figures and ratios against the goals.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset release >/dev/null
cmake --build --preset release --target Project1 minimal_xlib startup_bench repaint_bench
build/release/bench/startup/startup_bench "$@"
echo
build/release/bench/startup/repaint_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
