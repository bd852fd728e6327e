#!/usr/bin/env bash
# The default voice from recorded Mandarin, end to end, one resumable command:
#   tools/voice/train_recorded.sh
# Stages (each writes its own folder under $VOICE_WORK and is skipped when
# done; the CPU seconds of each go to $VOICE_WORK/stage_times.tsv):
#   prepare    words.tsv's takes -> levelled, trimmed takes with features;
#              bad takes listed (prepared/dropped.tsv)      prepare_recorded.py
#   align      phone durations from a model trained on the takes; failed
#              takes listed (aligned/failures.tsv)          align_recorded.py
#   sentences  prose read by the front end, spoken with the speaker's own
#              syllables and the intonation model           build_syllable_corpus.py
#   data       the acoustic model's corpus: those sentences and the words
#   train      the acoustic model (sentences and words) and the vocoder (the
#              words' own audio) side by side, one thread each, resumed from
#              their checkpoints in run/
#   export     ONNX files with the voice's metadata, the held-out word
#              report (tools/voice/report/recorded/), then resources/models/
# Settings (environment):
#   VOICE_CORPUS    the recorded corpus (default ../shared/data/voice-cmn)
#   VOICE_WORK      work folder (default $BUILD/recorded)
#   VOICE_MINUTES   training minutes of each model in this run (default 120)
#   VOICE_ACOUSTIC_LR, VOICE_VOCODER_LR   peak rates (1e-3, 5e-4)
#   BUILD           build folder of the tool (default build-voice)
#   VOICE_INSTALL=0 leaves resources/models/ alone
# Packages: scripts/install_deps.sh dev (sox with libsox-fmt-mp3, praat,
# python3-torch, python3-onnx, python3-scipy, python3-matplotlib).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${BUILD:-$root/build-voice}"
corpus="${VOICE_CORPUS:-$root/../shared/data/voice-cmn}"
minutes="${VOICE_MINUTES:-120}"
py=/usr/bin/python3
export OPENBLAS_NUM_THREADS=1
[ -f "$corpus/words.tsv" ] || { echo "train_recorded.sh: no words.tsv in $corpus" >&2; exit 2; }

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DTOLVAREN_BUILD_TESTS=OFF -DTOLVAREN_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tolvaren_tts tolvaren_tts_front resources models
build="$(cd "$build" && pwd)"
work="${VOICE_WORK:-$build/recorded}"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
corpus="$(cd "$corpus" && pwd)"
cd "$root"
front=(--front "$build/src/tolvaren_tts_front" --conf "$build/resources/conf/tool.conf"
       --phones-tsv "$root/resources/dict/phones.tsv"
       --phone2id "$build/resources/dict/phone2id.dict")

# stage NAME COMMAND...: runs COMMAND unless NAME is done; logs its CPU time.
stage() {
  local name="$1"
  shift
  [ -f "$work/$name.done" ] && { echo "stage $name: done already"; return; }
  echo "stage $name" >&2
  local before after
  before=$(awk '{print $14 + $15 + $16 + $17}' /proc/$$/stat)
  "$@"
  after=$(awk '{print $14 + $15 + $16 + $17}' /proc/$$/stat)
  printf '%s\t%s\n' "$name" "$(( (after - before) / $(getconf CLK_TCK) ))" \
    >> "$work/stage_times.tsv"
  touch "$work/$name.done"
}

stage prepare nice -n 5 "$py" -m tools.voice.prepare_recorded --corpus "$corpus" \
  "${front[@]}" --out "$work/prepared" --jobs "$(nproc)"
stage align nice -n 5 "$py" -m tools.voice.align_recorded --prepared "$work/prepared" \
  --out "$work/aligned" --sheets 30
stage prose "$py" -m tools.voice.corpus_text "$work/prose.txt"
stage sentences nice -n 5 "$py" -m tools.voice.build_syllable_corpus \
  --aligned "$work/aligned" "${front[@]}" --prose "$work/prose.txt" \
  --out "$work/sentences" --prose-count 5000 --random-count 0 --jobs "$(nproc)"
combine() {
  mkdir -p "$work/data"
  "$py" -c 'import sys; from tools.voice.dataset import concatenate
concatenate(sys.argv[2:], sys.argv[1])' "$work/data/train.npz" \
    "$work/sentences/train.npz" "$work/aligned/train.npz"
  cp "$work/sentences/test.npz" "$work/sentences/test.txt" "$work/data/"
}
stage data combine

# Both trainings resume from their checkpoints in $work/run; every run's
# rate falls over its own VOICE_MINUTES.
train() {
  nice -n 10 "$py" -m tools.voice.train_acoustic --data "$work/data" --out "$work/run" \
    --minutes "$minutes" --threads 1 --lr "${VOICE_ACOUSTIC_LR:-1e-3}" \
    >> "$work/acoustic.log" 2>&1 &
  local acoustic=$!
  nice -n 10 "$py" -m tools.voice.train_vocoder --data "$work/aligned" --out "$work/run" \
    --minutes "$minutes" --threads 1 --lr "${VOICE_VOCODER_LR:-5e-4}" --noise \
    >> "$work/vocoder.log" 2>&1 &
  local vocoder=$!
  wait "$acoustic"
  wait "$vocoder"
}
train

"$py" -m tools.voice.export --acoustic "$work/run/acoustic.pt" \
  --vocoder "$work/run/vocoder.pt" --out-dir "$work/run" --voice default
"$py" "$root/tools/models/strip_attention_mask.py" "$work/run/fastspeech2.onnx" \
  "$work/run/fastspeech2.onnx"
"$py" -m tools.voice.word_report --tool "$build/src" --conf "$build/resources/conf/tool.conf" \
  --heldout "$work/aligned/test.npz" --voice "new=$work/run" \
  --voice "shipped=$root/resources/models" --report "$here/report/recorded"
if [ "${VOICE_INSTALL:-1}" != 0 ]; then
  cp "$work/run/fastspeech2.onnx" "$work/run/hifigan.onnx" "$root/resources/models/"
  echo "installed the voice in resources/models/"
fi
