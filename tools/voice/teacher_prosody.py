"""The formant teacher read with this project's own intonation model.

espeak-ng renders the pinyin with flat tone templates, a narrow pitch range,
pauses of one length and an utterance that stops inside its last vowel.
This module reshapes that audio before the corpus is made of it:

- every pause gets the length its punctuation mark asks for in the
  intonation model (`pauses_ms`), the sentence end its `utterance_end`;
- the last syllable of every phrase is lengthened (`phrase_final_factor`);
- the pitch is replaced by the intonation model's tone contours (neutral
  tones, half thirds, declination reset at pauses) laid on the teacher's
  own syllable timing, in this teacher's register;
- the utterance ends in a decay (`end_fade_ms`) and digital silence.

Pitch and lengthening are applied by praat's overlap-add resynthesis (a
Manipulation with a PitchTier and a DurationTier, both on the time axis
of the reshaped audio), one praat run per batch of utterances. The
settings live in intonation_model.json under "formant_teacher".
"""
import os
import subprocess
import tempfile

import numpy as np
import scipy.io.wavfile

from . import intonation

PRAAT = "praat"
SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "psola.praat")


def settings(model):
    return model["formant_teacher"]


def phone_kinds(units):
    """(unit index, kind) of every phone, in the front end's phone order."""
    out = []
    for k, unit in enumerate(units):
        if isinstance(unit, intonation.Pause):
            out.append((k, "pause"))
        else:
            if unit.initial:
                out.append((k, "initial"))
            out.append((k, "final"))
    return out


def _pause_ms(model, units, k):
    pauses = model["pauses_ms"]
    if k + 1 == len(units):
        return float(pauses["utterance_end"])
    return float(pauses.get(units[k].mark, pauses["default"]))


def _resize_pause(seg, n):
    """`seg` made n samples long: its edges kept, the middle (the teacher's
    silence) cut or padded with zeros."""
    if len(seg) >= n:
        head = n // 2
        return np.concatenate([seg[:head], seg[len(seg) - (n - head):]])
    half = len(seg) // 2
    return np.concatenate([seg[:half], np.zeros(n - len(seg), seg.dtype), seg[half:]])


def reshape(x, sr, units, starts_ms, model):
    """Pauses of the teacher's audio `x` (sr Hz) set to the model's lengths.

    starts_ms: start of every phone (espeak_driver.align; the last ones may
    be None). Returns (audio, starts in ms of the new audio, end in ms of
    the last sounding phone)."""
    kinds = phone_kinds(units)
    if len(kinds) != len(starts_ms):
        raise ValueError("phone count differs from the start times")
    n = len(x)
    bounds = [n if s is None else min(n, int(round(s * sr / 1000.0))) for s in starts_ms]
    bounds[0] = 0
    for i in range(1, len(bounds)):
        bounds[i] = max(bounds[i], bounds[i - 1])
    bounds.append(n)
    pieces, starts, at = [], [], 0
    for i, (k, kind) in enumerate(kinds):
        seg = x[bounds[i]:bounds[i + 1]]
        if kind == "pause":
            seg = _resize_pause(seg, int(round(_pause_ms(model, units, k) * sr / 1000.0)))
        starts.append(1000.0 * at / sr)
        pieces.append(seg)
        at += len(seg)
    sounding = [i for i, (_, kind) in enumerate(kinds) if kind != "pause"]
    if not sounding:
        raise ValueError("no syllable")
    last = sounding[-1]
    end = starts[last + 1] if last + 1 < len(starts) else 1000.0 * at / sr
    return np.concatenate(pieces), starts, end


def tiers(units, starts, end_ms, model):
    """(pitch points, duration points) on the reshaped audio's time axis
    (ms): the model's contour over every final, in the formant teacher's
    register, and the phrase-final lengthening."""
    conf = settings(model)
    kinds = phone_kinds(units)
    ends = starts[1:] + [end_ms]
    pitch, duration = [], []
    phrase_start = 0.0
    syllable_start = None
    factor = float(conf["phrase_final_factor"])
    for i, (k, kind) in enumerate(kinds):
        if kind == "pause":
            phrase_start = ends[i]
            continue
        if kind == "initial" or syllable_start is None or kinds[i - 1][0] != k:
            syllable_start = starts[i]
        if kind != "final":
            continue
        span = (starts[i], min(ends[i], end_ms))
        pitch += intonation.final_points(model, units, k, span, phrase_start,
                                         register=conf["register"])
        phrase_last = k + 1 == len(units) or isinstance(units[k + 1], intonation.Pause)
        if phrase_last and factor != 1.0 and span[1] - syllable_start > 2.0:
            duration += [(syllable_start, 1.0), (syllable_start + 1.0, factor),
                         (span[1] - 1.0, factor), (span[1], 1.0)]
    return pitch, duration


def stretched(t, duration):
    """Time t (ms) of the source after the DurationTier `duration` (points
    (ms, factor), linear between them, constant outside): its integral."""
    if not duration:
        return t
    pts = sorted(duration)
    out, prev_t, prev_f = 0.0, None, pts[0][1]
    if t <= pts[0][0]:
        return t * pts[0][1]
    out = pts[0][0] * pts[0][1]
    prev_t, prev_f = pts[0]
    for pt, pf in pts[1:]:
        if t <= pt:
            f_at = prev_f + (pf - prev_f) * (t - prev_t) / max(pt - prev_t, 1e-9)
            return out + 0.5 * (prev_f + f_at) * (t - prev_t)
        out += 0.5 * (prev_f + pf) * (pt - prev_t)
        prev_t, prev_f = pt, pf
    return out + (t - prev_t) * prev_f


def _write_tier(path, kind, points, xmax_s):
    with open(path, "w", encoding="ascii") as f:
        f.write(f'File type = "ooTextFile"\nObject class = "{kind}"\n\n'
                f"xmin = 0\nxmax = {xmax_s:.6f}\npoints: size = {len(points)}\n")
        for i, (ms, value) in enumerate(points, 1):
            f.write(f"points [{i}]:\n    number = {ms / 1000.0:.6f}\n    value = {value:.6f}\n")


# Where praat looks for the pitch marks it moves (Hz), unless told otherwise.
PULSE_RANGE = (50, 300)


def resynthesize(jobs, sr, pulse_range=PULSE_RANGE):
    """Overlap-add resynthesis of many utterances in one praat run, its
    pitch marks found between pulse_range's Hz.

    jobs: (audio float, pitch points, duration points) per utterance.
    Returns the new audio of each, or None where praat wrote nothing."""
    with tempfile.TemporaryDirectory() as tmp:
        lines = []
        for j, (x, pitch, duration) in enumerate(jobs):
            base = os.path.join(tmp, str(j))
            scipy.io.wavfile.write(base + ".wav", sr,
                                   np.clip(np.round(x * 32767), -32768, 32767).astype(np.int16))
            xmax = len(x) / sr
            _write_tier(base + ".PitchTier", "PitchTier", pitch, xmax)
            _write_tier(base + ".DurationTier", "DurationTier",
                        duration or [(0.0, 1.0)], xmax)
            lines.append(f"{base}.wav {base}.PitchTier {base}.DurationTier {base}.out.wav")
        listing = os.path.join(tmp, "jobs.txt")
        with open(listing, "w", encoding="ascii") as f:
            f.write("\n".join(lines) + "\n")
        subprocess.run([PRAAT, "--run", SCRIPT, listing, *map(str, pulse_range)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out = []
        for j in range(len(jobs)):
            path = os.path.join(tmp, f"{j}.out.wav")
            if not os.path.exists(path):
                out.append(None)
                continue
            _, y = scipy.io.wavfile.read(path)
            out.append(y.astype(np.float32) / 32768.0 if y.dtype == np.int16
                       else y.astype(np.float32))
        return out


def finish(y, sr, end_ms, model):
    """The decay over the last sounding phone's end and silence after it."""
    return fade_out(y, sr, end_ms, float(settings(model)["end_fade_ms"]))


def fade_out(y, sr, end_ms, fade_ms):
    """A raised-cosine decay of fade_ms ending at end_ms, silence after."""
    end = min(len(y), int(round(end_ms * sr / 1000.0)))
    n = min(int(round(fade_ms * sr / 1000.0)), end // 2)
    y = y.copy()
    if n > 0:
        ramp = 0.5 + 0.5 * np.cos(np.pi * np.arange(1, n + 1) / n)
        y[end - n:end] *= ramp.astype(y.dtype)
    y[end:] = 0.0
    return y
