#!/usr/bin/env bash
# The whole voice recipe, end to end:
#   tools/voice/train.sh                      the default voice (recorded Mandarin;
#                                             tools/voice/train_recorded.sh)
#   VOICE=formant tools/voice/train.sh        the retired formant-taught voice
#   VOICE=diphone tools/voice/train.sh        the diphone voice
# For the formant and diphone voices it
# 1. builds the front end and the tool into $BUILD (default build-voice/),
# 2. collects Chinese prose from Debian's text packages,
# 3. builds the corpus: front end -> the teacher (espeak-ng, or mbrola with
#    the cn1 diphones and our intonation model) -> 24 kHz audio, phone
#    durations, log-mel spectrograms and F0,
# 4. trains the acoustic model and the vocoder side by side (one thread
#    each), exporting ONNX files every few minutes,
# 5. exports both models with the voice's metadata (export.py --voice) and
#    strips the acoustic model's no-op masking (tools/models/),
# 6. evaluates the voice on the held-out sentences (report in
#    tools/voice/report/, or report/diphone_voice/), and
# 7. copies the two ONNX files to resources/models/ (the diphone voice to
#    resources/models/diphone/).
# Settings (environment):
#   VOICE           default | formant | diphone (needs setup_diphone_teacher.sh first)
#   VOICE_MINUTES   training minutes of each model (default 93)
#   VOICE_PROSE     prose sentences for training (default 4500; diphone 6000)
#   VOICE_RANDOM    random-syllable utterances (default 900; diphone 1000)
#   VOICE_ACOUSTIC_LR, VOICE_VOCODER_LR
#                   peak learning rates (defaults 1e-3 and 5e-4); lower
#                   them when running again to train a finished voice
#                   further (each run's rate falls over its own budget)
#   VOICE_INIT_ACOUSTIC, VOICE_INIT_VOCODER
#                   exported models (e.g. the shipped ones) a first run
#                   starts from instead of random weights (--init)
#   VOICE_WORK      work folder (default $BUILD/voice, diphone $BUILD/voice2)
#   BUILD           build folder of the tool (default build-voice)
#   VOICE_INSTALL=0 leaves resources/models/ alone
# Needs the packages of scripts/install_deps.sh (espeak-ng, libespeak-ng1,
# python3-torch, python3-onnx, python3-scipy, python3-matplotlib, sox,
# fortunes-zh, manpages-zh, debian-reference-zh-cn, libopenblas0-pthread).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BUILD:-$root/build-voice}"
voice="${VOICE:-default}"
if [ "$voice" = default ]; then
  exec bash "$here/train_recorded.sh"
fi
case "$voice" in
  formant) work="${VOICE_WORK:-$build/voice}"; corpus=build_corpus
           prose=4500; random=900; report="$here/report"; f0=(50 250)
           vocoder_args=(--noise)
           install="$work/retired" ;;  # retired: never installed over the default voice
  diphone) work="${VOICE_WORK:-$build/voice2}"; corpus=build_diphone_corpus
           prose=6000; random=1000; report="$here/report/diphone_voice"; f0=(120 450)
           vocoder_args=()
           install="$root/resources/models/diphone" ;;
  *) echo "train.sh: VOICE must be default, formant or diphone, not $voice" >&2; exit 2 ;;
esac
minutes="${VOICE_MINUTES:-93}"
py=/usr/bin/python3
export OPENBLAS_NUM_THREADS=1

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DTOLVAREN_BUILD_TESTS=OFF -DTOLVAREN_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tolvaren_tts tolvaren_tts_front \
  tolvaren_tts_wav resources models
mkdir -p "$work"
# The recipe runs as the package tools.voice, from the repository root.
build="$(cd "$build" && pwd)"
bin="$build/src"
work="$(cd "$work" && pwd)"
cd "$root"

"$py" -m tools.voice.corpus_text "$work/prose.txt"
if [ ! -f "$work/data/train.npz" ]; then
  "$py" -m "tools.voice.$corpus" --front "$bin/tolvaren_tts_front" \
    --conf "$build/resources/conf/tool.conf" \
    --phones-tsv "$root/resources/dict/phones.tsv" \
    --phone2id "$build/resources/dict/phone2id.dict" \
    --prose "$work/prose.txt" --out "$work/data" \
    --prose-count "${VOICE_PROSE:-$prose}" --random-count "${VOICE_RANDOM:-$random}" \
    --test-count 50 --jobs "$(nproc)"
fi

# Both trainings resume from their checkpoints in $work/run if present.
nice -n 10 "$py" -m tools.voice.train_acoustic --data "$work/data" --out "$work/run" \
  --minutes "$minutes" --threads 1 --lr "${VOICE_ACOUSTIC_LR:-1e-3}" \
  ${VOICE_INIT_ACOUSTIC:+--init "$VOICE_INIT_ACOUSTIC"} > "$work/acoustic.log" 2>&1 &
acoustic=$!
nice -n 10 "$py" -m tools.voice.train_vocoder --data "$work/data" --out "$work/run" \
  --minutes "$minutes" --threads 1 --lr "${VOICE_VOCODER_LR:-5e-4}" "${vocoder_args[@]}" \
  ${VOICE_INIT_VOCODER:+--init "$VOICE_INIT_VOCODER"} > "$work/vocoder.log" 2>&1 &
vocoder=$!
wait "$acoustic"
wait "$vocoder"

# The files as they ship: the voice's metadata, the no-op masking removed.
"$py" -m tools.voice.export --acoustic "$work/run/acoustic.pt" \
  --vocoder "$work/run/vocoder.pt" --out-dir "$work/run" --voice "$voice"
"$py" "$root/tools/models/strip_attention_mask.py" "$work/run/fastspeech2.onnx" \
  "$work/run/fastspeech2.onnx"

mkdir -p "$report"
"$py" -m tools.voice.evaluate --data "$work/data" --run "$work/run" \
  --tool "$bin" --conf "$build/resources/conf/tool.conf" \
  --report "$report" --threads "$(nproc)" --f0-min "${f0[0]}" --f0-max "${f0[1]}" --voice "$voice"
grep -v Warning "$work/acoustic.log" | grep -E "^(step|finished)" > "$report/acoustic_training.log" || true
grep -v Warning "$work/vocoder.log" | grep -E "^(step|finished)" > "$report/vocoder_training.log" || true

if [ "${VOICE_INSTALL:-1}" != 0 ]; then
  mkdir -p "$install"
  cp "$work/run/fastspeech2.onnx" "$work/run/hifigan.onnx" "$install/"
  echo "installed the voice in ${install#"$root/"}/"
fi
