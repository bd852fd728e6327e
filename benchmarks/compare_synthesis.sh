#!/usr/bin/env bash
# Real-time factor of two or more builds or configurations, measured in
# turn within each round (so that a machine under changing load weighs on
# all of them alike): synthesis_benchmark's short and long texts, the
# median of ROUNDS runs each.
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
    # The CSV's last column is the rtf counter.
    TOLVAREN_TTS_CONF="${confs[$i]}" "${binaries[$i]}" \
      --benchmark_filter='BM_SynthesisShort|BM_SynthesisLong/' \
      --benchmark_format=csv 2>/dev/null |
      awk -F, -v name="${names[$i]}" \
        '/^"BM_Synthesis(Short|Long)\// { gsub(/"/, "", $1); print name, $1, $NF }' \
        >> "$work/runs"
  done
done

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
printf '%-20s %-34s %10s\n' name benchmark "median rtf"
for text in BM_SynthesisShort BM_SynthesisLong; do
  for name in "${names[@]}"; do
    rtf=$(awk -v n="$name" -v t="$text" '$1 == n && index($2, t "/") == 1 { print $3 }' \
      "$work/runs" | median)
    printf '%-20s %-34s %10.4f\n' "$name" "$text" "$rtf"
  done
done
