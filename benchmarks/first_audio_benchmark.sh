#!/usr/bin/env bash
# How soon speech starts: first-audio and whole-run seconds of
# `tolvaren_say -f TEXT -o -` (to the first sample byte after the WAV
# header on the pipe, and to the process's exit: start-up included) and of
# the library's streaming callback (from the Synthesize call, the engine
# loaded), for a 20-character text, the first sentence of the
# 2,000-character line alone and the 2,000-character line; and the peak
# resident memory (/usr/bin/time -v) of `tolvaren_say -o -` for a
# 5,000-character line. The long lines are the prose corpus's sentences
# joined (benchmarks/prose_corpus.txt of the build) and cut to length.
#
#   benchmarks/first_audio_benchmark.sh BUILD [OTHER_BUILD] [RUNS] [MEM_RUNS]
#
# With OTHER_BUILD (say, one of an earlier commit) both are measured in
# turn within each round, so that load changes weigh on both alike. RUNS
# (default 3) rounds of the timings, MEM_RUNS (default 1) of the memory.
# Each line: build, case, then first-audio and whole seconds of each run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
builds=("$(cd "$1" && pwd)")
if [ $# -ge 2 ] && [ -n "$2" ]; then builds+=("$(cd "$2" && pwd)"); fi
runs="${3:-3}"
mem_runs="${4:-1}"
corpus="${builds[0]}/benchmarks/prose_corpus.txt"
[ -e "$corpus" ] || { echo "missing $corpus (build the prose_corpus target)" >&2; exit 2; }
export SPDLOG_STDOUT=false SPDLOG_SYSTEMD=false SPDLOG_LEVEL=error

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$corpus" "$work" <<'PY'
import sys
corpus, work = sys.argv[1], sys.argv[2]
lines = [l.strip() for l in open(corpus, encoding="utf-8") if l.strip()]
joined = "".join(lines)
short = next(l for l in lines if len(l) == 20)
texts = {"20": short, "first_sentence": lines[0],
         "2000": joined[:2000], "5000": joined[:5000]}
for name, text in texts.items():
    open(f"{work}/{name}.txt", "w", encoding="utf-8").write(text + "\n")
PY

# The callback timer, against each build's own library.
for i in "${!builds[@]}"; do
  b="${builds[$i]}"
  lib="$(dirname "$(find "$b/src/library" -name 'libtolvaren_tts.so' | head -1)")"
  src="$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$b/CMakeCache.txt")"
  c++ -std=c++17 -O2 -I"$src/include" "$root/benchmarks/first_audio_callback.cc" \
    -L"$lib" -Wl,-rpath,"$lib" -ltolvaren_tts -o "$work/callback$i"
done

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A results
for round in $(seq "$runs"); do
  for case in 20 first_sentence 2000; do
    for i in "${!builds[@]}"; do
      b="${builds[$i]}"
      conf="$b/resources/conf/tool.conf"
      say=$(/usr/bin/python3 "$root/benchmarks/first_byte_time.py" -- \
        "$b/src/tolvaren_say" --conf "$conf" -f "$work/$case.txt" -o -)
      lib=$("$work/callback$i" "$conf" "$work/$case.txt")
      results["$i say $case"]+=" ${say% *}"
      results["$i library $case"]+=" ${lib% *}"
    done
  done
done
for i in "${!builds[@]}"; do
  for path in say library; do
    for case in 20 first_sentence 2000; do
      echo "${builds[$i]} $path $case (first whole):${results["$i $path $case"]}"
    done
  done
done
for round in $(seq "$mem_runs"); do
  for i in "${!builds[@]}"; do
    b="${builds[$i]}"
    /usr/bin/time -v -o "$work/time$i" "$b/src/tolvaren_say" \
      --conf "$b/resources/conf/tool.conf" -f "$work/5000.txt" -o - > /dev/null
    echo "${builds[$i]} say 5000 peak RSS MB: $(awk '/Maximum resident/ {printf "%.0f", $6 / 1024}' "$work/time$i") wall: $(awk '/Elapsed/ {print $8}' "$work/time$i")"
  done
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
