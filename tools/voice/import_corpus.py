"""Turns a recorded corpus into the recipe's training files.

  python3 -m tools.voice.import_corpus --list LIST.tsv --front BIN --conf TOOL_CONF
                                       --phones-tsv TSV --phone2id DICT --out DIR
                                       [--test-count 50]

LIST.tsv: one utterance per line, "WAV<TAB>TEXT[<TAB>DURATIONS]".
  WAV        a mono recording (any rate; resampled to 24 kHz with sox),
  TEXT       its Chinese text (goes through the real front end),
  DURATIONS  optional: one frame count (12.5 ms frames) per phone of the
             front end's phone sequence for TEXT, space separated, from a
             forced aligner of your choice. They are rescaled to sum to the
             recording's frame count.
Without DURATIONS the teacher (libespeak-ng) renders the text and its
phone durations are stretched to the recording's length: a crude start
that is good enough for a first model, not for a good voice.

Writes DIR/train.npz and DIR/test.npz in the format of build_corpus.py, so
train_acoustic.py, train_vocoder.py and evaluate.py run on it unchanged
(evaluate.py's comparisons are then against the recordings).
"""
import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np

from . import build_corpus, contract, espeak_driver, features
from .phoneset import Inventory


def load_wav(path):
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "a.raw")
        subprocess.run(["sox", path, "-t", "raw", "-e", "floating-point", "-b", "32",
                        "-c", "1", "-r", str(contract.SAMPLE_RATE), raw], check=True)
        return np.fromfile(raw, dtype=np.float32)


def rescale(durs, total):
    """Integer durations proportional to `durs`, summing to `total`."""
    durs = np.asarray(durs, dtype=np.float64)
    if durs.sum() <= 0:
        durs = np.ones_like(durs)
    bounds = np.round(np.concatenate([[0], np.cumsum(durs)]) * total / durs.sum())
    return np.diff(bounds).astype(np.int64).tolist()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--list", required=True)
    build_corpus.add_front_arguments(ap)
    ap.add_argument("--test-count", type=int, default=50)
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    inv = Inventory(args.phones_tsv, args.phone2id)
    rows = []
    with open(args.list, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) >= 2:
                rows.append(fields)
    items = build_corpus.front_items(args, [r[1] for r in rows], args.out)
    by_text = {it["text"]: it for it in items}
    teacher = None
    done = []
    for fields in rows:
        item = by_text.get(fields[1])
        if item is None:
            print(f"skipped (front end): {fields[1]}", file=sys.stderr)
            continue
        audio = load_wav(fields[0])
        frames = len(audio) // contract.HOP
        audio = audio[:frames * contract.HOP]
        if len(fields) >= 3 and fields[2].strip():
            durs = [int(x) for x in fields[2].split()]
            if len(durs) != len(item["ids"]):
                print(f"skipped (durations): {fields[0]}", file=sys.stderr)
                continue
        else:
            if teacher is None:
                teacher = espeak_driver.Teacher()
            try:
                units = espeak_driver.syllables_of(item["phones"], inv.initials)
                pcm, events = teacher.render(espeak_driver.teacher_text(units, item["pinyin"]))
                starts, _ = espeak_driver.align(units, events)
            except (ValueError, RuntimeError):
                print(f"skipped (teacher): {fields[0]}", file=sys.stderr)
                continue
            t_frames = max(1, int(len(pcm) / 2 / teacher.sample_rate * 1000 / contract.FRAME_MS))
            durs = espeak_driver.durations_in_frames(starts, t_frames, contract.FRAME_MS)
        durs = rescale(durs, frames)
        done.append(dict(item, durs=durs, mel=features.log_mel(audio),
                         f0=features.f0(audio, fmin=50.0, fmax=500.0),
                         audio=np.clip(np.round(audio * 32767), -32768, 32767).astype(np.int16)))
    test, train = done[:args.test_count], done[args.test_count:]
    build_corpus.save(os.path.join(args.out, "train.npz"), train)
    build_corpus.save(os.path.join(args.out, "test.npz"), test)
    print(f"{len(train)} training, {len(test)} test utterances", file=sys.stderr)


if __name__ == "__main__":
    main()
