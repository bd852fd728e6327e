"""Recomputes the F0 track of a corpus written by build_corpus.py from its
stored audio, in place, after a change to features.f0.

  python3 -m tools.voice.recompute_f0 --data DIR [--jobs N]

Rewrites DIR/train.npz and DIR/test.npz (each through a temporary file, so
an interrupted run leaves the old file whole); everything but "f0" is kept.
"""
import argparse
import multiprocessing
import os
import sys

import numpy as np

from . import contract, features

_audio = None


def _track(span):
    m0, m1 = span
    y = _audio[m0 * contract.HOP:m1 * contract.HOP].astype(np.float32) / 32768.0
    return features.f0(y)[:m1 - m0]


def recompute(path, jobs):
    global _audio
    d = dict(np.load(path))
    _audio = d["audio"]
    off = d["mel_off"]
    spans = [(int(off[k]), int(off[k + 1])) for k in range(len(off) - 1)]
    with multiprocessing.Pool(jobs) as pool:
        tracks = pool.map(_track, spans, chunksize=16)
    f0 = np.concatenate(tracks).astype(np.float32) if tracks else np.zeros(0, np.float32)
    if len(f0) != len(d["f0"]):
        sys.exit(f"{path}: {len(f0)} frames of F0 for {len(d['f0'])} mel frames")
    changed = float(np.mean(np.abs(f0 - d["f0"]) > 1.0)) if len(f0) else 0.0
    d["f0"] = f0
    tmp = path + ".tmp.npz"
    np.savez(tmp, **d)
    os.replace(tmp, path)
    print(f"{path}: {len(spans)} utterances, {changed:.1%} of frames changed")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--data", required=True)
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    args = ap.parse_args()
    for name in ("test.npz", "train.npz"):
        recompute(os.path.join(args.data, name), args.jobs)


if __name__ == "__main__":
    main()
