"""Other ways of making the formant teacher's audio, for measuring what
bounds a voice distilled from it (teacher_survey.py). The shipped corpus
uses none of them: build_corpus.py's defaults give the teacher as
teacher_prosody.py reshapes it.

- `register`: the formant teacher's pitch register, bottom and top (Hz),
  from a "BOTTOM,TOP" text, checked (`pair`, which also reads
  build_corpus.py's --espeak-pitch, espeak-ng's own base pitch and range,
  and --pulse-range, where praat looks for the pitch marks it moves);
- "kept-initials" audio: the fricative and affricate initials as the
  teacher spoke them before the overlap-add resynthesis (which moves its
  pitch marks through them), put back with short crossfades;
- "source-filter" audio: the reshaped audio made again from its spectral
  envelope alone, a pulse train at the planned pitch in voiced frames and
  white noise in unvoiced ones, each shaped by the least-squares gain over
  GAIN_BINS bins (convergence_ceiling.best_gain), as the vocoder's own
  source-filter model shapes its sources.
"""
import numpy as np
import torch

from . import contract, features, teacher_prosody
from .convergence_ceiling import best_gain, resynthesise, smooth_bins, source_stft, teacher_stft
from .vocoders import SourceFilterVocoder

AUDIO_KINDS = ("psola", "kept-initials", "source-filter")
KEPT_INITIALS = frozenset("s sh x c ch q z zh j f h".split())
SEAM_MS = 4.0
GAIN_BINS = 9


def pair(text, lowest=None):
    """(low, high) of a "LOW,HIGH" text; ValueError unless 0 < low < high
    (with `lowest`: lowest <= low, high)."""
    parts = text.split(",")
    if len(parts) != 2:
        raise ValueError(f"{text!r}: want two numbers, LOW,HIGH")
    low, high = (float(p) for p in parts)
    if lowest is None and not 0.0 < low < high:
        raise ValueError(f"{text!r}: want 0 < LOW < HIGH")
    if lowest is not None and min(low, high) < lowest:
        raise ValueError(f"{text!r}: want both at least {lowest}")
    return low, high


def register(text):
    """{"bottom_hz", "top_hz"} of a "BOTTOM,TOP" text (`pair`)."""
    bottom, top = pair(text)
    return {"bottom_hz": bottom, "top_hz": top}


def with_register(model, text):
    """The intonation model with its formant teacher's register replaced."""
    conf = dict(model["formant_teacher"])
    conf["register"] = dict(conf["register"], **register(text))
    return dict(model, formant_teacher=conf)


def keep_initials(y, x, sr, units, starts, end_ms, duration):
    """y (the resynthesised audio) with the fricative and affricate initials
    of x (the audio before it: phones at `starts`, ms) put back where the
    DurationTier `duration` moved them, crossfaded over SEAM_MS. An initial
    the tier stretches is left as resynthesised."""
    kinds = teacher_prosody.phone_kinds(units)
    ends = starts[1:] + [end_ms]
    y = y.copy()
    seam = max(1, int(round(SEAM_MS * sr / 1000.0)))
    ramp = (0.5 - 0.5 * np.cos(np.pi * np.arange(seam) / seam)).astype(y.dtype)
    for i, (k, kind) in enumerate(kinds):
        if kind != "initial" or units[k].initial not in KEPT_INITIALS:
            continue
        moved = (teacher_prosody.stretched(starts[i], duration),
                 teacher_prosody.stretched(ends[i], duration))
        if abs((moved[1] - moved[0]) - (ends[i] - starts[i])) > 1000.0 / sr:
            continue
        a = int(round(starts[i] * sr / 1000.0))
        at = int(round(moved[0] * sr / 1000.0))
        n = min(int(round(ends[i] * sr / 1000.0)) - a, len(y) - at, len(x) - a)
        if n <= 2 * seam:
            continue
        w = np.ones(n, dtype=y.dtype)
        w[:seam] = ramp
        w[n - seam:] = ramp[::-1]
        y[at:at + n] = w * x[a:a + n] + (1 - w) * y[at:at + n]
    return y


_vocoder = None


def source_filter(audio, plan_ms, plan_hz, seed=0):
    """24 kHz audio made again from its envelope (see the module comment):
    F0 from the plan's points (ms, Hz; linear between them, constant
    outside), voicing from the recipe's tracker on the audio itself."""
    global _vocoder
    if _vocoder is None:
        torch.set_num_threads(1)
        _vocoder = SourceFilterVocoder().eval()
    frames = len(audio) // contract.HOP
    audio = np.asarray(audio[:frames * contract.HOP], dtype=np.float32)
    voiced = (features.f0(audio)[:frames] > 0).astype(np.float64)
    t_ms = np.arange(frames) * contract.FRAME_MS
    f0 = np.interp(t_ms, plan_ms, plan_hz) if len(plan_ms) else np.full(frames, 100.0)
    pulses = source_stft(_vocoder, f0.astype(np.float32), frames)
    target = teacher_stft(_vocoder, audio, frames)
    noise = teacher_stft(_vocoder, np.random.default_rng(seed).standard_normal(
        len(audio)).astype(np.float32), frames)
    noise_gain = np.sqrt(smooth_bins(np.abs(target) ** 2, GAIN_BINS)
                         / (smooth_bins(np.abs(noise) ** 2, GAIN_BINS) + 1e-12))
    v = np.convolve(voiced, [0.25, 0.5, 0.25], mode="same")[:, None]
    spectrum = (v * best_gain(pulses, target, GAIN_BINS, False) * pulses
                + (1 - v) * noise_gain * noise)
    return resynthesise(_vocoder, spectrum, frames).astype(np.float32)


def plan_points(pitch, duration):
    """The PitchTier's points (ms on the reshaped audio, Hz) on the time
    axis of the resynthesised audio, in time order."""
    ms = np.array([teacher_prosody.stretched(t, duration) for t, _ in pitch])
    hz = np.array([h for _, h in pitch])
    order = np.argsort(ms, kind="stable")
    return ms[order], hz[order]
