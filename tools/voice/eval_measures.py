"""The measures of evaluate.py that compare a student with its teacher:
durations warped onto the teacher's, F0 slopes and contours per syllable
final, correlations, and vocoding in the tool's chunks."""
import numpy as np
import torch

from . import contract


def warp_to(pred, pred_durs, ref_durs):
    """Resamples each phone's predicted frames onto ref_durs[i] frames."""
    out = []
    p0 = 0
    for dp, dr in zip(pred_durs, ref_durs):
        seg = pred[p0:p0 + dp]
        p0 += dp
        if dr == 0:
            continue
        if len(seg) == 0:
            seg = pred[max(p0 - 1, 0):max(p0, 1)]
        pos = (np.arange(dr) + 0.5) * len(seg) / dr - 0.5
        pos = np.clip(pos, 0, len(seg) - 1)
        lo = np.floor(pos).astype(int)
        hi = np.minimum(lo + 1, len(seg) - 1)
        w = (pos - lo)[:, None] if seg.ndim == 2 else pos - lo
        out.append(seg[lo] * (1 - w) + seg[hi] * w)
    return np.concatenate(out)


def syllable_slopes(f0_hz, durs, tones):
    """(tone, slope) per final with >= 3 voiced frames; slope of log2 F0 in
    octaves per second."""
    out = []
    start = 0
    for d, tone in zip(durs, tones):
        if tone > 0:
            seg = f0_hz[start:start + d]
            t = np.nonzero(seg > 0)[0]
            if len(t) >= 3:
                y = np.log2(seg[t])
                slope = np.polyfit(t * contract.FRAME_MS / 1000.0, y, 1)[0]
                out.append((tone, slope))
            else:
                out.append((tone, None))
        start += d
    return out


def vocode_chunked(voc, mel, f0_hz=None):
    """The tool's chunking: 36-frame blocks with 14 frames of context. A
    vocoder with a source phase (`synthesize`) is handed, like the tool
    does, the phase the chunk before reached where their kept samples meet,
    and f0_hz [frames] (Hz), when given, drives its source instead of the
    F0 it predicts from the mel."""
    frames = len(mel)
    pieces = []
    c = -(-frames // 36)
    carry = hasattr(voc, "synthesize")
    phase = None
    for k in range(c):
        s, e = max(36 * k - 14, 0), min(36 * k + 50, frames)
        a_frames = 0 if k == 0 else 36 * k - s
        with torch.no_grad():
            window = torch.from_numpy(mel[s:e]).unsqueeze(0)
            if carry:
                given = (None, None) if phase is None else (
                    phase.view(1, 1), torch.tensor([a_frames]))
                f0 = None if f0_hz is None else torch.from_numpy(
                    np.asarray(f0_hz[s:e], np.float32)).unsqueeze(0)
                audio, _, phases = voc.synthesize(window, f0, *given)
                audio = audio[0].numpy()
                if k + 1 < c:
                    phase = phases[0, 36 * (k + 1) - s:36 * (k + 1) - s + 1]
            else:
                out = voc(window)
                audio = (out[0] if isinstance(out, tuple) else out)[0].numpy()
        a = a_frames * contract.HOP
        b = len(audio) if k == c - 1 else a + 36 * contract.HOP
        pieces.append(audio[a:b])
    return np.concatenate(pieces) if pieces else np.zeros(0, np.float32)


def corr(a, b):
    a, b = np.asarray(a), np.asarray(b)
    if len(a) < 3 or a.std() == 0 or b.std() == 0:
        return None
    return float(np.corrcoef(a, b)[0, 1])


def share(mask):
    return float(np.mean(mask)) if len(mask) else None


def normalized_curve(f0_hz):
    seg = f0_hz
    t = np.nonzero(seg > 0)[0]
    if len(t) < 3:
        return None
    y = np.interp(np.linspace(0, len(seg) - 1, 10), t, np.log2(seg[t]))
    return y - y.mean()


class Slopes:
    """Per-final F0 slope pairs (teacher, student), pooled over utterances:
    the teacher's on its own durations, the student's on `durs`."""

    def __init__(self):
        self.teacher, self.student, self.tones = [], [], []

    def add(self, u, f0, durs):
        for (tone, a), (_, b) in zip(syllable_slopes(u["f0"], u["durs"], u["tones"]),
                                     syllable_slopes(f0, durs, u["tones"])):
            if a is not None and b is not None:
                self.teacher.append(a)
                self.student.append(b)
                self.tones.append(tone)

    def result(self):
        t, s, tones = map(np.array, (self.teacher, self.student, self.tones))
        return {"slope_corr": corr(t, s), "finals": int(len(t)),
                "by_tone": {int(k): corr(t[tones == k], s[tones == k]) for k in range(1, 6)}}
