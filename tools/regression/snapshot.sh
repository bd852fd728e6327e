#!/usr/bin/env bash
# Writes what a build makes of a fixed set of texts, so that two builds can be
# compared with `diff -r`: the front end's phones, pinyin and ids for the gold
# sets and the prose corpus, and tolvaren_tts's output files for the gold
# sentences (the default voice).
#
#   tools/regression/snapshot.sh BUILD OUT [--corpus FILE] [--sentences N]
#
# BUILD is a build folder (its src/ holds the executables, its resources/ the
# built configuration). The prose corpus is made with
# tools/corpus/make_prose_corpus.py when --corpus is not given.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "$1" && pwd)"
out="$2"
shift 2
corpus=""
sentences=325
while [ $# -gt 0 ]; do
  case "$1" in
    --corpus) corpus="$2"; shift 2 ;;
    --sentences) sentences="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
mkdir -p "$out/front" "$out/audio"
out="$(cd "$out" && pwd)"
conf="$build/resources/conf/tool.conf"
front="$build/src/tolvaren_tts_front"
[ -x "$front" ] || front="$(find "$build/src" -name tolvaren_tts_front -type f | head -1)"
tts="$(find "$build/src" -name tolvaren_tts -type f -perm -u+x | head -1)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
grep -v '^#' "$root/tools/gold/gold_pinyin.tsv" | grep -v '^$' | cut -f1 > "$work/gold.txt"
grep -v '^#' "$root/tools/gold/everyday_mixed.txt" | grep -v '^$' | cut -f1 > "$work/mixed.txt"
if [ -z "$corpus" ]; then
  corpus="$work/prose.txt"
  /usr/bin/python3 "$root/tools/corpus/make_prose_corpus.py" "$corpus" >/dev/null
fi
cp "$corpus" "$work/prose.txt" 2>/dev/null || true

for set in gold mixed prose; do
  for mode in phones pinyin ids; do
    SPDLOG_STDOUT=false "$front" "--$mode" --conf "$conf" --file "$work/$set.txt" \
      > "$out/front/$set.$mode" 2>/dev/null
  done
done

# The tool's files, named by the text, written into a private folder.
head -n "$sentences" "$work/gold.txt" > "$work/lines.txt"
sed -e "s#^--wav_path=.*#--wav_path=$out/audio#" \
    -e "s#^--text_path=.*#--text_path=$work/lines.txt#" "$conf" > "$work/tool.conf"
TOLVAREN_TTS_CONF="$work/tool.conf" SPDLOG_STDOUT=false "$tts" >/dev/null 2>&1 || true
echo "snapshot in $out: $(ls "$out/audio" | wc -l) audio files"
