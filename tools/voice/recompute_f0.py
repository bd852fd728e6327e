"""Recomputes the F0 track of a corpus written by build_corpus.py from its
stored audio, in place, after a change to features.f0.

  python3 -m tools.voice.recompute_f0 --data DIR [--jobs N] [--praat LO,HI]

--praat LO,HI tracks with praat (praat_track.f0_tracks) between LO and HI
Hz instead of features.f0: its path search keeps a voice's octave where
the YIN tracker jumps (a high female voice's tone 4 ends, for one).

Rewrites DIR/train.npz and DIR/test.npz (each through a temporary file, so
an interrupted run leaves the old file whole); everything but "f0" is kept.
"""
import argparse
import multiprocessing
import os
import sys

import numpy as np

from . import contract, features, praat_track

_audio = None


def _track(span):
    m0, m1 = span
    y = _audio[m0 * contract.HOP:m1 * contract.HOP].astype(np.float32) / 32768.0
    return features.f0(y)[:m1 - m0]


def recompute(path, jobs, praat_range=None):
    global _audio
    d = dict(np.load(path))
    _audio = d["audio"]
    off = d["mel_off"]
    spans = [(int(off[k]), int(off[k + 1])) for k in range(len(off) - 1)]
    if praat_range:
        audios = [_audio[m0 * contract.HOP:m1 * contract.HOP].astype(np.float32) / 32768.0
                  for m0, m1 in spans]
        tracks = praat_track.f0_tracks(audios, praat_range, jobs)
    else:
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
    ap.add_argument("--praat", metavar="LO,HI")
    args = ap.parse_args()
    praat_range = None
    if args.praat:
        try:
            praat_range = tuple(float(x) for x in args.praat.split(","))
        except ValueError:
            praat_range = ()
        if len(praat_range) != 2 or not 0 < praat_range[0] < praat_range[1]:
            ap.error(f"--praat {args.praat!r}: want LO,HI in Hz, 0 < LO < HI")
    for name in ("test.npz", "train.npz"):
        recompute(os.path.join(args.data, name), args.jobs, praat_range)


if __name__ == "__main__":
    main()
