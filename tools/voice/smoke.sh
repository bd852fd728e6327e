#!/usr/bin/env bash
# Smoke run of the voice recipe, for CI: a handful of utterances, a few
# training steps, ONNX export, then one synthesis through the C++ tool.
# With the recorded corpus beside the repository (../shared/data/voice-cmn,
# or VOICE_CORPUS) it runs the default voice's stages on 40 of its takes
# (train_recorded.sh's prepare, align and sentences; the sentences are made
# of those takes' own words); without it, the formant-taught voice's.
#   tools/voice/smoke.sh BUILD_DIR [BIN_DIR]   (or TOLVAREN_BUILD_DIR=BUILD_DIR)
# BUILD_DIR is a configured and built tree of this project: it must hold
# the generated resources/conf/tool.conf and resources/dict/phone2id.dict,
# and BIN_DIR (default BUILD_DIR/src) tolvaren_tts, tolvaren_tts_front
# and tolvaren_tts_wav.
# Needs espeak-ng, libespeak-ng1, python3-torch, python3-onnx,
# python3-scipy, sox and at least one Chinese text package (fortunes-zh).
# Exits 0 when the tool wrote audio of the expected length from the
# freshly exported models.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-${TOLVAREN_BUILD_DIR:-}}"
if [ -z "$build" ]; then
  echo "usage: $0 BUILD_DIR (or set TOLVAREN_BUILD_DIR)" >&2
  exit 2
fi
build="$(cd "$build" && pwd)"
bin="$(cd "${2:-$build/src}" && pwd)"
py=/usr/bin/python3
export OPENBLAS_NUM_THREADS=1
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The recipe runs as the package tools.voice, from the repository root.
cd "$root"

front=(--front "$bin/tolvaren_tts_front" --conf "$build/resources/conf/tool.conf"
       --phones-tsv "$root/resources/dict/phones.tsv"
       --phone2id "$build/resources/dict/phone2id.dict")
corpus="${VOICE_CORPUS:-$root/../shared/data/voice-cmn}"
if [ -f "$corpus/words.tsv" ]; then
  corpus="$(cd "$corpus" && pwd)"
  mkdir -p "$work/corpus"
  # 40 two-character words (the file names made absolute).
  awk -F'\t' -v dir="$corpus" 'NR == 1 { print; next }
    length($2) == 6 && n < 40 { print dir "/" $1 "\t" $2; n++ }' \
    "$corpus/words.tsv" > "$work/corpus/words.tsv"
  "$py" -m tools.voice.prepare_recorded --corpus "$work/corpus" "${front[@]}" \
    --out "$work/prepared" --heldout-every 4 --jobs 2
  "$py" -m tools.voice.align_recorded --prepared "$work/prepared" --out "$work/aligned" \
    --iterations 3
  # Prose made of the training takes' own words, so every syllable is there.
  "$py" -c 'import sys; from tools.voice.dataset import Corpus
words = Corpus(sys.argv[1]).text
print("\n".join(words[k] + words[k + 1] + "，" + words[k + 2] + "。"
                for k in range(0, len(words) - 2, 3)))' "$work/aligned/train.npz" \
    > "$work/prose.txt"
  "$py" -m tools.voice.build_syllable_corpus --aligned "$work/aligned" "${front[@]}" \
    --prose "$work/prose.txt" --out "$work/sentences" --prose-count 4 \
    --random-count 0 --test-count 2 --jobs 2
  mkdir -p "$work/data"
  "$py" -c 'import sys; from tools.voice.dataset import concatenate
concatenate(sys.argv[2:], sys.argv[1])' "$work/data/train.npz" \
    "$work/sentences/train.npz" "$work/aligned/train.npz"
  cp "$work/sentences/test.npz" "$work/data/"
else
  echo "smoke: no recorded corpus at $corpus: the formant-taught voice's stages" >&2
  "$py" -m tools.voice.corpus_text "$work/prose.txt" --max 400
  "$py" -m tools.voice.build_corpus "${front[@]}" --prose "$work/prose.txt" \
    --out "$work/data" --prose-count 12 --random-count 4 --test-count 3 --jobs 2
fi
"$py" -m tools.voice.train_acoustic --data "$work/data" --out "$work/run" \
  --steps 3 --threads 2 --max-frames 3000 2> >(grep -v Warning >&2)
"$py" -m tools.voice.train_vocoder --data "$work/data" --out "$work/run" \
  --steps 3 --threads 2 --batch 2 2> >(grep -v Warning >&2)

# Synthesize with the exported models through the C++ tool.
sed -e "s#^--fastspeech2_model_path=.*#--fastspeech2_model_path=$work/run/fastspeech2.onnx#" \
    -e "s#^--hifigan_model_path=.*#--hifigan_model_path=$work/run/hifigan.onnx#" \
    -e "s#^--wav_path=.*#--wav_path=$work#" \
    "$build/resources/conf/tool.conf" > "$work/tool.conf"
text='你好，世界！'
TOLVAREN_TTS_CONF="$work/tool.conf" "$bin/tolvaren_tts" "$text" > "$work/tool.log"
"$bin/tolvaren_tts_wav" "$work/$text" "$work/out.wav"
samples="$(soxi -s "$work/out.wav")"
rate="$(soxi -r "$work/out.wav")"
if [ "$rate" != 24000 ] || [ "$samples" -le 0 ] || [ $((samples % 300)) -ne 0 ]; then
  echo "smoke: unexpected audio: $samples samples at $rate Hz" >&2
  exit 1
fi
echo "smoke: ok, $samples samples at $rate Hz"
