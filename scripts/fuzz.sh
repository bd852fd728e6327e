#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them.
#   scripts/fuzz.sh --list             names the targets
#   scripts/fuzz.sh NAME [SECONDS]     runs one target (default 60 s)
#   scripts/fuzz.sh --all SECONDS      runs every target for SECONDS each
# TOLVAREN_FUZZ_PARALLEL=N runs N targets at once (default 1), for long
# runs on a machine with the cores for it.
# Each target starts from its committed seeds (tests/fuzz/corpus/NAME) and
# what earlier runs found. New inputs go to build-fuzz/corpus/NAME, crashes
# to build-fuzz/crashes/NAME, the fuzzer's output to build-fuzz/logs/NAME.log.
# The run ends with one line per target (executions, coverage, corpus size,
# findings) and exits non-zero when any target found a crash.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-fuzz"
table="$root/tests/fuzz/targets.txt"

usage() {
  echo "Usage: scripts/fuzz.sh NAME [SECONDS] | --all SECONDS | --list" >&2
  exit 2
}

# The table: NAME BINARY SEEDS MAX_LEN per line.
names=()
declare -A binary_of seeds_of max_len_of
while read -r name binary seeds max_len; do
  names+=("$name")
  binary_of[$name]="$binary"
  seeds_of[$name]="$root/tests/fuzz/$seeds"
  max_len_of[$name]="$max_len"
done < <(grep -v '^#' "$table" | awk 'NF')

case "${1:-}" in
  --list)
    printf '%s\n' "${names[@]}"
    exit 0
    ;;
  --all)
    [ $# -eq 2 ] || usage
    selected=("${names[@]}")
    seconds="$2"
    ;;
  "" | -*) usage ;;
  *)
    [ $# -le 2 ] || usage
    [ -n "${binary_of[$1]:-}" ] || {
      echo "fuzz.sh: no target $1 (scripts/fuzz.sh --list names them)" >&2
      exit 2
    }
    selected=("$1")
    seconds="${2:-60}"
    ;;
esac
[[ "$seconds" =~ ^[0-9]+$ ]] || usage
parallel="${TOLVAREN_FUZZ_PARALLEL:-1}"
[[ "$parallel" =~ ^[1-9][0-9]*$ ]] || {
  echo "fuzz.sh: TOLVAREN_FUZZ_PARALLEL must be a count, not $parallel" >&2
  exit 2
}

# scripts/test.sh has set up the dependencies already.
if [ "${TOLVAREN_DEPS_READY:-0}" != "1" ]; then
  bash "$root/scripts/install_deps.sh" dev
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLVAREN_FUZZ=ON -DTOLVAREN_BUILD_TESTS=OFF -DTOLVAREN_BUILD_BENCHMARKS=OFF >/dev/null
binaries=()
for name in "${selected[@]}"; do binaries+=("${binary_of[$name]}"); done
cmake --build "$build" -j"$(nproc)" --target "${binaries[@]}"

run_target() {
  local name="$1"
  mkdir -p "$build/corpus/$name" "$build/crashes/$name" "$build/logs"
  # Findings of this run are the crash files newer than this mark.
  touch "$build/logs/$name.start"
  local status=0
  # Leaks of the process-wide objects at exit are not findings; the tool's
  # own output (standard output and error) would drown the fuzzer's.
  (cd "$build" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/tests/fuzz/${binary_of[$name]}" \
    -max_total_time="$seconds" -max_len="${max_len_of[$name]}" -timeout=30 \
    -rss_limit_mb=4096 -close_fd_mask=3 -print_final_stats=1 \
    -artifact_prefix="$build/crashes/$name/" \
    "$build/corpus/$name" "${seeds_of[$name]}") >"$build/logs/$name.log" 2>&1 ||
    status=$?
  echo "$status" >"$build/logs/$name.status"
  echo "fuzz.sh: $name finished (status $status)"
}

running=0
for name in "${selected[@]}"; do
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "fuzz.sh: $name for $seconds s"
  run_target "$name" &
  running=$((running + 1))
done
wait

failed=0
echo "fuzz.sh: summary ($seconds s per target)"
for name in "${selected[@]}"; do
  log="$build/logs/$name.log"
  status="$(cat "$build/logs/$name.status")"
  executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  # The last status line libFuzzer printed has the final coverage.
  cov="$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)"
  ft="$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)"
  corpus="$(find "$build/corpus/$name" -type f | wc -l)"
  findings="$(find "$build/crashes/$name" -type f -newer "$build/logs/$name.start" | wc -l)"
  printf '%-10s executions %s  cov %s  ft %s  corpus %s files  findings %s  status %s\n' \
    "$name" "${executions:-?}" "${cov:-?}" "${ft:-?}" "$corpus" "$findings" "$status"
  if [ "$findings" -gt 0 ] || [ "$status" != "0" ]; then
    failed=1
    find "$build/crashes/$name" -type f -newer "$build/logs/$name.start" \
      -printf '  %p\n'
    echo "  (log: $log)"
  fi
done
exit "$failed"
