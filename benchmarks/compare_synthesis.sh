#!/usr/bin/env bash
# Real-time factor and CPU seconds per second of audio (every thread of the
# process) of two or more builds or configurations, measured in turn within
# each round (so that a machine under changing load weighs on all of them
# alike): synthesis_benchmark's short and long texts and the three texts of
# compare_texts.txt (BM_Stages/0..2: 10, 65, 611 characters), the median of
# ROUNDS runs each.
#
#   benchmarks/compare_synthesis.sh ROUNDS NAME BENCHMARK CONF [NAME BENCHMARK CONF]...
#
# BENCHMARK is a build's benchmarks/synthesis_benchmark, CONF the tool.conf
# it runs with (TOLVAREN_TTS_CONF).
set -euo pipefail
rounds="$1"
shift
names=() binaries=() confs=()
while [ $# -ge 3 ]; do
  names+=("$1") binaries+=("$2") confs+=("$3")
  shift 3
done
[ ${#names[@]} -gt 0 ] && [ $# -eq 0 ] || {
  echo "usage: $0 ROUNDS NAME BENCHMARK CONF [NAME BENCHMARK CONF]..." >&2
  exit 2
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for ((round = 0; round < rounds; ++round)); do
  for i in "${!names[@]}"; do
    # The counters are found by the CSV header's names; a failed run is
    # reported, not counted.
    TOLVAREN_TTS_CONF="${confs[$i]}" "${binaries[$i]}" \
      --benchmark_filter='BM_SynthesisShort|BM_SynthesisLong/|BM_Stages/' \
      --benchmark_format=csv 2>/dev/null | tee -a "$work/raw" |
      awk -F, -v name="${names[$i]}" '
        /^name,/ {
          gsub(/"/, ""); for (c = 1; c <= NF; ++c) col[$c] = c; next }
        /^"BM_(Synthesis(Short|Long)|Stages)\// {
          gsub(/"/, ""); sub(/\/iterations:[0-9]*/, "", $1)
          if (!col["rtf"] || $col["error_occurred"] == "true") {
            print name, $1, "failed:", $col["error_message"] > "/dev/stderr"
            next
          }
          print name, $1, $col["rtf"], $col["cpu_rtf"] }' \
        >> "$work/runs"
  done
done

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
printf '%-20s %-20s %10s %10s\n' name benchmark "median rtf" "cpu/audio"
for text in $(awk '{ print $2 }' "$work/runs" | awk '!seen[$0]++'); do
  for name in "${names[@]}"; do
    rtf=$(awk -v n="$name" -v t="$text" '$1 == n && $2 == t { print $3 }' \
      "$work/runs" | median)
    cpu=$(awk -v n="$name" -v t="$text" '$1 == n && $2 == t { print $4 }' \
      "$work/runs" | median)
    printf '%-20s %-20s %10.4f %10.4f\n' "$name" "$text" "$rtf" "$cpu"
  done
done
