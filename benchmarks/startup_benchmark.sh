#!/usr/bin/env bash
# Whole-process start-up of tolvaren_tts: `tolvaren_tts a b c` (read the
# configuration, build the front end, load both models, exit) against
# `tolvaren_tts --version` (the process and its libraries alone), and of
# `tolvaren_say` reading an empty standard input (start-up to ready, then
# exit), each the median of RUNS runs (default 11), with the median peak
# resident memory.
#
#   benchmarks/startup_benchmark.sh [BUILD] [RUNS] [BASELINE]
#
# BUILD is a build folder with benchmarks on (default build-release). Four
# start-ups are measured, run in turn within each round so that a machine
# under changing load weighs on all of them alike:
#   threads   defaults = the built tool.conf without the thread keys (4
#             intra-op, 4 inter-op, spinning); shipped = the built tool.conf
#   exit      frees = tolvaren_tts_free_at_exit (frees the front end, as
#             sanitizer builds do); leaves = tolvaren_tts
#   cache     uncached = the built tool.conf without model_cache_path (both
#             models optimised at every start); the shipped cases use a
#             model cache in a temporary folder, filled by one run first
#   say       tolvaren_say --output-dir DIR < /dev/null, the shipped conf
# BASELINE, another build folder (of an earlier commit, say), adds its own
# shipped start-ups to every round, so that both are measured side by side.
# Logging goes to the console (discarded), not to the journal.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build-release}" && pwd)"
runs="${2:-11}"
baseline="${3:+$(cd "$3" && pwd)}"
find_tool() { find "$1/src" -name "$2" -type f -perm -u+x | head -1; }
tts="$(find_tool "$build" tolvaren_tts)"
say="$(find_tool "$build" tolvaren_say)"
frees="$build/benchmarks/tolvaren_tts_free_at_exit"
conf="$build/resources/conf/tool.conf"
for f in "$tts" "$say" "$frees" "$conf"; do
  [ -e "$f" ] || { echo "missing $f (build with benchmarks on)" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/said"
grep -v -E '^--(intra_op_num_threads|inter_op_num_threads|allow_spinning|model_cache_path)=' \
  "$conf" > "$work/defaults.conf"
grep -v -E '^--model_cache_path=' "$conf" > "$work/uncached.conf"
# The shipped configuration of BUILD_CONF with its model cache in DIR.
shipped_conf() {
  grep -v -E '^--model_cache_path=' "$1"
  echo "--model_cache_path=$2"
}
shipped_conf "$conf" "$work/cache" > "$work/shipped.conf"
TOLVAREN_TTS_CONF="$work/shipped.conf" SPDLOG_STDOUT=true SPDLOG_SYSTEMD=false \
  "$tts" a b c >/dev/null 2>&1
if [ -n "$baseline" ]; then
  base_tts="$(find_tool "$baseline" tolvaren_tts)"
  base_say="$(find_tool "$baseline" tolvaren_say)"
  for f in "$base_tts" "$base_say" "$baseline/resources/conf/tool.conf"; do
    [ -e "$f" ] || { echo "missing $f in the baseline" >&2; exit 2; }
  done
  shipped_conf "$baseline/resources/conf/tool.conf" "$work/base_cache" \
    > "$work/base.conf"
  TOLVAREN_TTS_CONF="$work/base.conf" SPDLOG_STDOUT=true SPDLOG_SYSTEMD=false \
    "$base_tts" a b c >/dev/null 2>&1
fi

# One run: appends "milliseconds peak_kb" to $work/NAME.
measure() {
  local name="$1" conf="$2" binary="$3"
  shift 3
  local start end
  start=$(date +%s%N)
  TOLVAREN_TTS_CONF="$conf" SPDLOG_STDOUT=true SPDLOG_SYSTEMD=false \
    /usr/bin/time -f %M -o "$work/rss" "$binary" "$@" >/dev/null 2>&1 \
    </dev/null || { echo "$name failed" >&2; exit 1; }
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000000 )) $(cat "$work/rss")" >> "$work/$name"
}

cases=(version defaults_frees defaults_leaves uncached_leaves shipped_frees
  shipped_leaves say)
[ -n "$baseline" ] && cases+=(baseline_leaves baseline_say)
for ((i = 0; i < runs; ++i)); do
  measure version "$work/shipped.conf" "$tts" --version
  measure defaults_frees "$work/defaults.conf" "$frees" a b c
  measure defaults_leaves "$work/defaults.conf" "$tts" a b c
  measure uncached_leaves "$work/uncached.conf" "$tts" a b c
  measure shipped_frees "$work/shipped.conf" "$frees" a b c
  measure shipped_leaves "$work/shipped.conf" "$tts" a b c
  measure say "$work/shipped.conf" "$say" --output-dir "$work/said"
  if [ -n "$baseline" ]; then
    measure baseline_leaves "$work/base.conf" "$base_tts" a b c
    measure baseline_say "$work/base.conf" "$base_say" --output-dir "$work/said"
  fi
done

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "start-up, median of $runs runs ($(nproc) cores available)"
printf '%-36s %10s %12s %12s\n' case ms "ms-version" "peak MB"
version_ms=$(cut -d' ' -f1 "$work/version" | median)
for name in "${cases[@]}"; do
  ms=$(cut -d' ' -f1 "$work/$name" | median)
  kb=$(cut -d' ' -f2 "$work/$name" | median)
  case "$name" in
    version) label="--version" ;;
    say) label="tolvaren_say, shipped conf" ;;
    baseline_leaves) label="a b c, baseline shipped conf, leaves" ;;
    baseline_say) label="tolvaren_say, baseline shipped conf" ;;
    *) label="a b c, ${name/_/ conf, } exit" ;;
  esac
  printf '%-36s %10d %12d %12.1f\n' "$label" "$ms" "$((ms - version_ms))" \
    "$(echo "$kb / 1024" | bc -l)"
done
