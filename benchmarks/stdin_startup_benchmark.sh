#!/usr/bin/env bash
# What tolvaren_say's standard-input mode saves: LINES texts spoken by one
# `tolvaren_say --output-dir DIR` that reads them on standard input (the
# engine loaded once), against LINES calls of `tolvaren_tts TEXT` (each
# loading the front end and both models again). Also the start-up alone,
# `tolvaren_tts a b c`, median of 5 runs.
#
#   benchmarks/stdin_startup_benchmark.sh [BUILD] [LINES]
#
# BUILD is a build folder (default build-release). The texts are the first
# LINES (default 100) gold sentences that tolvaren_tts accepts (no / \ < > .).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build-release}" && pwd)"
lines="${2:-100}"
tts="$build/src/tolvaren_tts"
say="$build/src/tolvaren_say"
conf="$build/resources/conf/tool.conf"
for f in "$tts" "$say" "$conf"; do
  [ -e "$f" ] || { echo "missing $f" >&2; exit 2; }
done
export TOLVAREN_TTS_CONF="$conf" SPDLOG_STDOUT=false SPDLOG_SYSTEMD=false \
  SPDLOG_LEVEL=error

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
grep -v '^#' "$root/tools/gold/gold_pinyin.tsv" | cut -f1 | grep -v '^$' |
  grep -v '[/\\<>.]' | head -n "$lines" > "$work/texts.txt"
count=$(wc -l < "$work/texts.txt")
mkdir -p "$work/tts" "$work/say"

now() { date +%s%N; }
ms() { echo $(( ($2 - $1) / 1000000 )); }

startups=()
for _ in 1 2 3 4 5; do
  start=$(now)
  (cd "$work/tts" && "$tts" a b c >/dev/null 2>&1)
  startups+=("$(ms "$start" "$(now)")")
done
startup=$(printf '%s\n' "${startups[@]}" | sort -n | sed -n 3p)

start=$(now)
while IFS= read -r text; do
  (cd "$work/tts" && "$tts" "$text" >/dev/null 2>&1)
done < "$work/texts.txt"
calls=$(ms "$start" "$(now)")

start=$(now)
"$say" --output-dir "$work/say" < "$work/texts.txt"
stdin_mode=$(ms "$start" "$(now)")

echo "texts: $count"
echo "tolvaren_tts start-up alone (median of 5): ${startup} ms"
echo "$count calls of tolvaren_tts TEXT: ${calls} ms"
echo "one tolvaren_say reading $count lines: ${stdin_mode} ms"
echo "saved: $((calls - stdin_mode)) ms, $(( (calls - stdin_mode) / count )) ms a text"
