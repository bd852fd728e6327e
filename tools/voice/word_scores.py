"""How close a voice comes to a speaker's own words: the measures.

Both signals are cut to their sounding frames (within TRIM_DB of their
loudest), analysed into 24 mel-cepstra (c1..c24 of the DCT of an 80-band
log-mel amplitude spectrum from 0 to 8 kHz) and aligned by dynamic time
warping on those. On the path:
  MCD   (10 / ln 10) sqrt(2 sum_k (c_k - c'_k)^2), dB, averaged over it;
  log-F0 pairs where both frames are voiced (their correlation is pooled
        over all words by the report);
  duration ratio: the voice's sounding length over the speaker's.
"""
import numpy as np
from scipy.fft import dct

from . import features

CEPSTRA = 24
TRIM_DB = 40.0
F0_RANGE = (80.0, 500.0)
_FB = None


def mel_amplitude(audio):
    global _FB
    if _FB is None:
        _FB = features.mel_filterbank(fmin=0.0, fmax=8000.0)
    return features.magnitude(audio) @ _FB.T


def sounding(mel):
    """(first, end) frames within TRIM_DB of the loudest frame."""
    level = 20 * np.log10(np.maximum(mel.sum(1), 1e-10))
    loud = np.nonzero(level > level.max() - TRIM_DB)[0]
    return int(loud[0]), int(loud[-1]) + 1


def cepstra(mel):
    """c1..c24 of the log amplitude, scaled as a real cepstrum."""
    log_mel = np.log(np.maximum(mel, 1e-8))
    return dct(log_mel, type=2, axis=1)[:, 1:CEPSTRA + 1] / (2 * log_mel.shape[1])


def dtw(a, b):
    """Path [(i, j)] through frames a [N, D], b [M, D] minimising the summed
    Euclidean distance (steps (1,0), (0,1), (1,1))."""
    d = np.sqrt(((a[:, None, :] - b[None, :, :]) ** 2).sum(-1))
    n, m = d.shape
    cost = np.full((n + 1, m + 1), np.inf)
    cost[0, 0] = 0.0
    for i in range(1, n + 1):
        row = cost[i]
        for j in range(1, m + 1):
            row[j] = d[i - 1, j - 1] + min(cost[i - 1, j], row[j - 1], cost[i - 1, j - 1])
    path, i, j = [], n, m
    while i > 0 and j > 0:
        path.append((i - 1, j - 1))
        step = np.argmin([cost[i - 1, j - 1], cost[i - 1, j], cost[i, j - 1]])
        i, j = (i - 1, j - 1) if step == 0 else ((i - 1, j) if step == 1 else (i, j - 1))
    return path[::-1]


def compare(voice, speaker):
    """Measures of one word: {"mcd", "f0_pairs" [(log f0 voice, log f0
    speaker)], "duration_ratio", "voice_f0"} for float audio at the
    contract's rate."""
    out = {}
    parts = []
    for audio in (voice, speaker):
        mel = mel_amplitude(audio)
        a, b = sounding(mel)
        f0 = features.f0(audio, fmin=F0_RANGE[0], fmax=F0_RANGE[1])[a:b]
        parts.append((cepstra(mel[a:b]), f0))
    (cv, fv), (cs, fs) = parts
    path = dtw(cv, cs)
    diffs = np.array([cv[i] - cs[j] for i, j in path])
    out["mcd"] = float(np.mean(10 / np.log(10) * np.sqrt(2 * (diffs ** 2).sum(1))))
    out["f0_pairs"] = [(float(np.log(fv[i])), float(np.log(fs[j])))
                       for i, j in path if fv[i] > 0 and fs[j] > 0]
    out["duration_ratio"] = len(cv) / len(cs)
    out["voice_f0"] = fv[fv > 0].tolist()
    out["frames"] = (len(cv), len(cs))
    return out
