"""Stage 3 of a recorded voice: a corpus of sentences in the speaker's
voice, made of her recorded syllables (syllable_teacher.py).

  python3 -m tools.voice.build_syllable_corpus --aligned DIR --front BIN
      --conf TOOL_CONF --phones-tsv TSV --phone2id DICT --prose TXT --out DIR
      [--prose-count 6000] [--random-count 600] [--test-count 50]
      [--shard-size 100] [--jobs 2] [--seed 1]

The items are build_corpus.plan_items' (prose through the front end, the
same held-out sentences for the same seed, random syllable strings for
coverage); the syllables come from the aligned training takes only, so no
held-out word is heard in it. Written in shards (DIR/shards/, resumable as
build_diphone_corpus's), then DIR/train.npz, DIR/test.npz, DIR/test.txt.
An item with a syllable the speaker never said is skipped and counted.
The sentences' F0 is praat's, over her range (prepare_recorded.F0_RANGE).
"""
import argparse
import multiprocessing
import os
import sys

import numpy as np

from . import (contract, diphone_teacher, features, intonation, praat_track, prepare_recorded,
               syllable_teacher)
from .build_corpus import add_front_arguments
from .build_diphone_corpus import merge, render_shards, saved_plan
from .dataset import Corpus
from .phoneset import Inventory
from .syllable_units import Inventory as Units

# Her F0 is tracked as in her takes.
F0_RANGE = prepare_recorded.F0_RANGE

_state = {}


def _init_worker(aligned, phones_tsv, phone2id):
    corpus = Corpus(os.path.join(aligned, "train.npz"))
    _state.update(corpus=corpus, units=Units(corpus), model=intonation.load(),
                  inventory=Inventory(phones_tsv, phone2id))


def units_of(item, inv):
    """Intonation units of an item; erhua finals keep their r so that a
    recorded erhua syllable is looked for."""
    marks = diphone_teacher.pause_marks(item["text"], item["phones"].count("sp"))
    return diphone_teacher.utterance_units(item["phones"], inv.initials, {}, marks)


def audio_of(take):
    corpus = _state["corpus"]
    m0, m1 = corpus.mel_off[take], corpus.mel_off[take + 1]
    return corpus.audio[m0 * contract.HOP:m1 * contract.HOP].astype(np.float32) / 32768.0


def render_batch(batch):
    """[(item with durs, mel, f0, audio) or None, reason]"""
    items, seed = batch
    rng = np.random.default_rng(seed)
    units, kept = [], []
    out = [None] * len(items)
    for j, item in enumerate(items):
        try:
            units.append(units_of(item, _state["inventory"]))
            kept.append(j)
        except (ValueError, KeyError) as e:
            out[j] = (None, f"units: {e}")
    conf = syllable_teacher.settings(_state["model"])
    rendered = syllable_teacher.render(units, _state["model"], _state["units"], audio_of,
                                       rng, tuple(conf["pulse_range"]))
    for j, r in zip(kept, rendered):
        if r is None:
            out[j] = (None, "missing syllable or no audio")
            continue
        y, phones, total_ms = r
        n_frames = len(y) // contract.HOP
        y = y[:n_frames * contract.HOP].astype(np.float32)
        try:
            durs = diphone_teacher.durations_in_frames(phones, total_ms, n_frames,
                                                       contract.FRAME_MS)
        except ValueError as e:
            out[j] = (None, f"length: {e}")
            continue
        if len(durs) != len(items[j]["ids"]):
            out[j] = (None, "phone count differs from the id count")
            continue
        out[j] = (dict(items[j], durs=durs, mel=features.log_mel(y),
                       audio=np.clip(np.round(y * 32767), -32768, 32767).astype(np.int16)),
                  None)
    done = [r for r, _ in out if r is not None]
    tracks = praat_track.f0_tracks([r["audio"].astype(np.float32) / 32768.0 for r in done],
                                   F0_RANGE)
    for r, f0 in zip(done, tracks):
        r["f0"] = f0
    return out


def render_chunk(pool, seed):
    """The render function of build_diphone_corpus.render_shards: a shard's
    items in batches of 20 (one praat run each), seeded by shard."""
    def render(chunk, k):
        batches = [(chunk[j:j + 20], seed * 100003 + k * 1009 + j)
                   for j in range(0, len(chunk), 20)]
        return (r for results in pool.imap(render_batch, batches) for r in results)
    return render


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--aligned", required=True)
    add_front_arguments(ap)
    ap.add_argument("--prose", required=True)
    ap.add_argument("--prose-count", type=int, default=6000)
    ap.add_argument("--random-count", type=int, default=600)
    ap.add_argument("--test-count", type=int, default=50)
    ap.add_argument("--shard-size", type=int, default=100)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    os.makedirs(os.path.join(args.out, "shards"), exist_ok=True)
    inv = Inventory(args.phones_tsv, args.phone2id)
    items = saved_plan(args, inv)
    totals = {}
    with multiprocessing.Pool(args.jobs, _init_worker,
                              (args.aligned, args.phones_tsv, args.phone2id)) as pool:
        for name in ("test", "train"):
            _, totals[name] = render_shards(name, items[name], args, pool,
                                            render_chunk(pool, args.seed))
    test = merge("test", totals["test"], args.out)
    with open(os.path.join(args.out, "test.txt"), "w", encoding="utf-8") as f:
        f.write("".join(str(t) + "\n" for t in test["text"]))
    train = merge("train", totals["train"], args.out)
    hours = len(train["audio"]) / contract.SAMPLE_RATE / 3600
    print(f"{len(train['id_off']) - 1} training, {len(test['id_off']) - 1} test "
          f"utterances, {hours:.2f} h of training audio", file=sys.stderr)


if __name__ == "__main__":
    main()
