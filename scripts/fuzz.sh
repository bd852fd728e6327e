#!/usr/bin/env bash
# Builds the front-end fuzz target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it.
#   scripts/fuzz.sh [SECONDS]     default 60
# New inputs found go to build-fuzz/corpus; crashes to build-fuzz/crashes.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
build="$root/build-fuzz"

bash "$root/scripts/install_deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLVAREN_FUZZ=ON -DTOLVAREN_BUILD_TESTS=OFF -DTOLVAREN_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target front_process_fuzzer
mkdir -p "$build/corpus" "$build/crashes"
# Leaks of the process-wide front end at exit are not findings; the front
# end's own diagnostics (standard error) would drown the fuzzer's output.
ASAN_OPTIONS=detect_leaks=0 "$build/tests/fuzz/front_process_fuzzer" \
  -max_total_time="$seconds" -max_len=4096 -timeout=30 -rss_limit_mb=4096 \
  -close_fd_mask=3 -artifact_prefix="$build/crashes/" -print_final_stats=1 \
  "$build/corpus" "$root/tests/fuzz/corpus"
