#!/usr/bin/env bash
# The listener report of both voices, old models beside new ones, in one
# command (listener_report.py; writes tools/voice/report/listener/):
#   tools/voice/listener_report.sh
# 1. builds the programs it runs into $BUILD (default build/),
# 2. takes each voice's held-out sentences from its corpus, or, for the
#    diphone voice where there is none, renders just its 50 held-out
#    sentences into $BUILD/listener/ (a few minutes),
# 3. measures the models at git revision $OLD (default HEAD) against those
#    in $NEW (default resources/models, the diphone voice in its folder).
# Settings (environment):
#   BUILD, OLD, NEW   as above
#   DATA_DEFAULT      the default voice's corpus (default build-voice/recorded/data,
#                     which tools/voice/train_recorded.sh writes)
#   DATA_DIPHONE      the diphone voice's corpus (default build-voice/voice2/data;
#                     rendering it needs setup_diphone_teacher.sh first)
#   REPORT            output folder (default tools/voice/report/listener)
# Needs, beyond the recipe's packages (train.sh), Debian's praat.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cd "$root"
build="${BUILD:-build}"
py=/usr/bin/python3
export OPENBLAS_NUM_THREADS=1

cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tolvaren_tts tolvaren_tts_front \
  tolvaren_tts_wav tolvaren_tts_vocode tolvaren_say resources models

front=(--front "$build/src/tolvaren_tts_front" --conf "$build/resources/conf/tool.conf"
       --phones-tsv resources/dict/phones.tsv --phone2id "$build/resources/dict/phone2id.dict")
held_out() {  # held_out VOICE CORPUS_DIR: prints a folder holding test.npz
  local voice="$1" data="$2" out="$build/listener/$1"
  if [ -f "$data/test.npz" ]; then echo "$data"; return; fi
  if [ ! -f "$out/test.npz" ]; then
    mkdir -p "$out"
    "$py" -m tools.voice.corpus_text "$build/listener/prose.txt" >&2
    if [ "$voice" = default ]; then
      # The held-out sentences are made of the speaker's own syllables,
      # which only the recipe's first stages prepare and align.
      echo "listener_report.sh: no $data/test.npz: run tools/voice/train_recorded.sh" \
        "(its stages up to 'data') or set DATA_DEFAULT" >&2
      exit 2
    else
      # Only the held-out shard is rendered; it is merged as the corpus would be.
      "$py" -m tools.voice.build_diphone_corpus "${front[@]}" \
        --prose "$build/listener/prose.txt" --out "$out" --test-count 50 --limit 1 >&2
      "$py" -c 'import sys; from tools.voice.build_diphone_corpus import merge; merge("test", 1, sys.argv[1])' "$out"
    fi
  fi
  echo "$out"
}
default_data="$(held_out default "${DATA_DEFAULT:-build-voice/recorded/data}")"
diphone_data="$(held_out diphone "${DATA_DIPHONE:-build-voice/voice2/data}")"

"$py" -m tools.voice.listener_report --build "$build" \
  --data "default=$default_data" --data "diphone=$diphone_data" \
  --old "${OLD:-HEAD}" --new "${NEW:-resources/models}" \
  --report "${REPORT:-tools/voice/report/listener}"
