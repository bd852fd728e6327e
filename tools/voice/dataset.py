"""Loading of the corpus written by build_corpus.py."""
import os

import numpy as np

from . import contract, features


class Corpus:
    def __init__(self, path):
        d = np.load(path)
        self.text = list(d["text"])
        self.phones = list(d["phones"])
        self.ids = d["ids"].astype(np.int64)
        self.tones = d["tones"].astype(np.int64)
        self.durs = d["durs"].astype(np.int64)
        self.id_off = d["id_off"]
        self.mel = d["mel"]
        self.f0 = d["f0"]
        self.mel_off = d["mel_off"]
        self.audio = d["audio"]

    def __len__(self):
        return len(self.id_off) - 1

    def utt(self, k):
        a, b = self.id_off[k], self.id_off[k + 1]
        m, n = self.mel_off[k], self.mel_off[k + 1]
        return {"ids": self.ids[a:b], "tones": self.tones[a:b],
                "durs": self.durs[a:b], "mel": self.mel[m:n].astype(np.float32),
                "f0": self.f0[m:n], "frames": (m, n)}

    def audio_of(self, k):
        m, n = self.mel_off[k], self.mel_off[k + 1]
        return self.audio[m * contract.HOP:n * contract.HOP].astype(np.float32) / 32768.0

    def pitch_stats(self):
        voiced = self.f0[self.f0 > 0]
        lf = np.log(voiced)
        return float(lf.mean()), float(lf.std())


def pitch_target(f0_hz, stats):
    lf, _ = features.interpolate_log_f0(f0_hz)
    if not (np.asarray(f0_hz) > 0).any():
        return np.zeros(len(f0_hz), dtype=np.float32)
    return ((lf - stats[0]) / stats[1]).astype(np.float32)


def source_log_f0(f0_hz, centre):
    """Log F0 per frame to drive the vocoder's source, which needs a pitch
    everywhere: the tracked F0 with unvoiced frames interpolated, or
    `centre` throughout for an utterance with no voiced frame."""
    if not (np.asarray(f0_hz) > 0).any():
        return np.full(len(f0_hz), centre, dtype=np.float32)
    return pitch_target(f0_hz, (0.0, 1.0))


def batches_by_frames(lengths, max_frames, rng):
    """Index batches of similar length with at most max_frames padded
    frames each, in random order."""
    order = np.argsort(np.asarray(lengths) + rng.random(len(lengths)) * 20)
    batches, cur, longest = [], [], 0
    for k in order:
        longest2 = max(longest, lengths[k])
        if cur and longest2 * (len(cur) + 1) > max_frames:
            batches.append(cur)
            cur, longest2 = [], lengths[k]
        cur.append(int(k))
        longest = longest2
    if cur:
        batches.append(cur)
    rng.shuffle(batches)
    return batches


def concatenate(paths, out):
    """Writes the corpora at `paths` (build_corpus.save's format) as one
    corpus at `out`, in order; through a temporary file."""
    fields, offsets = {}, {"id_off": [0], "mel_off": [0]}
    for path in paths:
        d = np.load(path)
        for key in d.files:
            if key in offsets:
                base = offsets[key][-1]
                offsets[key].extend(int(x) + base for x in d[key][1:])
            else:
                fields.setdefault(key, []).append(d[key])
    arrays = {key: np.concatenate(v) for key, v in fields.items()}
    arrays.update({key: np.array(v, dtype=np.int64) for key, v in offsets.items()})
    tmp = out + ".partial.npz"
    np.savez(tmp, **arrays)
    os.replace(tmp, out)
