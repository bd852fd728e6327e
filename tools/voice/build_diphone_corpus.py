"""Builds the second voice's corpus: text -> front end -> diphone teacher.

  python3 -m tools.voice.build_diphone_corpus --front BIN --conf TOOL_CONF
      --phones-tsv TSV --phone2id DICT --prose TXT --out DIR
      [--prose-count N] [--random-count N] [--test-count 50]
      [--shard-size 200] [--limit N] [--jobs 1]

The same items as build_corpus.py (prose through our front end, random
syllable utterances for coverage, the same held-out sentences for the same
seed), rendered by mbrola with our intonation model (diphone_teacher.py)
instead of the formant synthesiser, and written in the same format, so the
training recipe reads DIR/train.npz, DIR/test.npz and DIR/test.txt as it
reads the first voice's corpus.

Rendering is resumable: items go in shards of --shard-size, each written
to DIR/shards/ when complete (through a temporary file, so an interrupted
run never leaves half a shard); a rerun renders only the missing shards.
--limit N stops after the shards that hold the first N items of each set,
for a trial. DIR/test.npz and DIR/test.txt are written once the held-out
shards exist, DIR/train.npz once every shard does.
The plan of items is saved as DIR/items.json on the first run and reused,
so later runs render exactly the same utterances.
"""
import argparse
import json
import multiprocessing
import os
import sys

import numpy as np
from scipy.signal import resample_poly

from . import contract, diphone_teacher, features
from .build_corpus import add_front_arguments, plan_items, save
from .dataset import concatenate
from .phoneset import Inventory

_teacher = None
_inventory = None


def _init_worker(phones_tsv, phone2id):
    global _teacher, _inventory
    _teacher = diphone_teacher.Teacher()
    _inventory = Inventory(phones_tsv, phone2id)


def render_item(item):
    """(item with durs, mel, f0, audio) or (None, reason)."""
    try:
        n_sp = item["phones"].count("sp")
        marks = diphone_teacher.pause_marks(item["text"], n_sp)
        units = diphone_teacher.utterance_units(
            item["phones"], _inventory.initials, _inventory.erhua, marks)
        out = _teacher.render(units)
    except (ValueError, KeyError, RuntimeError) as e:
        return None, f"{type(e).__name__}: {e}"
    if out["warnings"]:
        return None, "mbrola: " + out["warnings"].splitlines()[0]
    y = resample_poly(out["audio"], contract.SAMPLE_RATE // 150,
                      diphone_teacher.SAMPLE_RATE // 150)
    n_frames = len(y) // contract.HOP
    if n_frames < 10 or n_frames > 1600:
        return None, f"{n_frames} frames"
    y = y[:n_frames * contract.HOP].astype(np.float32)
    try:
        durs = diphone_teacher.durations_in_frames(
            out["phones"], out["total_ms"], n_frames, contract.FRAME_MS)
    except ValueError as e:
        return None, str(e)
    if len(durs) != len(item["ids"]):
        return None, "phone count differs from the id count"
    return dict(item, durs=durs, mel=features.log_mel(y),
                f0=features.f0(y, fmin=120.0, fmax=450.0),
                audio=np.clip(np.round(y * 32767), -32768, 32767).astype(np.int16)), None


def shard_path(out, name, k):
    return os.path.join(out, "shards", f"{name}-{k:05d}.npz")


def saved_plan(args, inv):
    """plan_items' items, saved as DIR/items.json on the first run and read
    back on later ones, so that a resumed run renders the same utterances."""
    plan_path = os.path.join(args.out, "items.json")
    if os.path.exists(plan_path):
        with open(plan_path, encoding="utf-8") as f:
            return json.load(f)
    items = plan_items(args, inv)
    with open(plan_path + ".partial", "w", encoding="utf-8") as f:
        json.dump(items, f, ensure_ascii=False)
    os.replace(plan_path + ".partial", plan_path)
    return items


def render_shards(name, items, args, pool, render=None):
    """Renders the missing shards of one set; returns (done, total) shard
    counts. render(items, k) gives (record or None, reason) for each of the
    items of shard k (default: render_item on the pool); args needs
    shard_size, out and limit (None for all)."""
    render = render or (lambda chunk, _: pool.imap(render_item, chunk, 4))
    size = args.shard_size
    total = (len(items) + size - 1) // size
    wanted = total
    if getattr(args, "limit", None) is not None:
        wanted = min(total, (args.limit + size - 1) // size)
    for k in range(wanted):
        path = shard_path(args.out, name, k)
        if os.path.exists(path):
            continue
        done, skipped = [], {}
        for rendered, reason in render(items[k * size:(k + 1) * size], k):
            if rendered is None:
                key = reason.split(":")[0]
                skipped[key] = skipped.get(key, 0) + 1
            else:
                done.append(rendered)
        tmp = path + ".partial.npz"
        if done:
            save(tmp, done)
        else:
            np.savez(tmp, empty=np.zeros(0))
        os.replace(tmp, path)
        print(f"{name} shard {k + 1}/{total}: {len(done)} utterances"
              + (f", skipped {skipped}" if skipped else ""), file=sys.stderr, flush=True)
    done = sum(os.path.exists(shard_path(args.out, name, k)) for k in range(total))
    return done, total


def merge(name, total, out):
    """Concatenates the shards of one set into DIR/NAME.npz; returns it."""
    paths = [shard_path(out, name, k) for k in range(total)]
    target = os.path.join(out, f"{name}.npz")
    concatenate([p for p in paths if "empty" not in np.load(p).files], target)
    return np.load(target)


def main():
    ap = argparse.ArgumentParser()
    add_front_arguments(ap)
    ap.add_argument("--prose", required=True)
    ap.add_argument("--prose-count", type=int, default=6000)
    ap.add_argument("--random-count", type=int, default=1000)
    ap.add_argument("--test-count", type=int, default=50)
    ap.add_argument("--shard-size", type=int, default=200)
    ap.add_argument("--limit", type=int, default=None)
    ap.add_argument("--jobs", type=int, default=1)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    if not diphone_teacher.available():
        sys.exit("mbrola or the cn1 voice is missing: run "
                 "tools/voice/setup_diphone_teacher.sh (as root)")
    os.makedirs(os.path.join(args.out, "shards"), exist_ok=True)
    inv = Inventory(args.phones_tsv, args.phone2id)
    items = saved_plan(args, inv)
    print(f"plan: {len(items['train'])} training, {len(items['test'])} test "
          "items", file=sys.stderr)
    counts = {}
    with multiprocessing.Pool(args.jobs, _init_worker,
                              (args.phones_tsv, args.phone2id)) as pool:
        for name in ("test", "train"):
            counts[name] = render_shards(name, items[name], args, pool)
    if counts["test"][0] == counts["test"][1]:
        # The held-out set alone already serves the evaluations that
        # vocode teacher mels, before the training set is rendered.
        test = merge("test", counts["test"][1], args.out)
        with open(os.path.join(args.out, "test.txt"), "w", encoding="utf-8") as f:
            f.write("".join(str(t) + "\n" for t in test["text"]))
    if any(done < total for done, total in counts.values()):
        print("shards: " + ", ".join(f"{n} {d}/{t}" for n, (d, t) in counts.items())
              + "; run again to render the rest", file=sys.stderr)
        return
    train = merge("train", counts["train"][1], args.out)
    hours = len(train["audio"]) / contract.SAMPLE_RATE / 3600
    print(f"teacher: {len(train['id_off']) - 1} training, "
          f"{len(test['id_off']) - 1} test utterances, {hours:.2f} h of "
          "training audio", file=sys.stderr)


if __name__ == "__main__":
    main()
