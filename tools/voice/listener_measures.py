"""What a listener hears first, measured on one utterance: peak and
clipping, pitch range and tone excursions, whether fricatives are noise,
how the utterance ends, its pauses and its speaking rate.

The phone-level measures take the phones of the utterance with their
durations in frames of contract.HOP samples (the acoustic model's, or the
teacher's for its own audio) and an F0 track per frame (Hz, 0 unvoiced).
"""
import numpy as np
from scipy.signal import butter, sosfiltfilt

from . import contract
from .diphone_teacher import PAUSE_MARKS

FRICATIVE_INITIALS = frozenset("s sh x c ch q z zh j".split())
# The initials above in two groups, each measured apart as well: the
# fricatives and aspirated affricates, and the unaspirated affricates,
# whose stop burst makes the band peaky in any voice.
FRICATIVE_GROUPS = (("s sh x c ch q", frozenset("s sh x c ch q".split())),
                    ("z zh j", frozenset("z zh j".split())))
# A level this far below the utterance's peak counts as silence.
SILENCE_DB = -40.0
# The end decays when its last 50 ms of speech are this much below the
# 200 ms before them (half their power): the formant teacher's abrupt ends
# lie above, every end of the diphone teacher below.
DECAY_DB = -3.0
BAND_HZ = (2000.0, 11000.0)


def peak_stats(audio):
    """Float peak and the samples beyond full scale."""
    a = np.abs(np.asarray(audio, dtype=np.float64))
    return {"peak": float(a.max()) if len(a) else 0.0,
            "over_1": int((a > 1.0).sum())}


def clipped_16bit(pcm):
    """Samples of 16-bit audio at full scale (+32767 or -32768, or -32767
    as a symmetric clipper writes)."""
    pcm = np.asarray(pcm)
    return int(((pcm >= 32767) | (pcm <= -32767)).sum())


def semitones(f0_hz, ref=100.0):
    f0_hz = np.asarray(f0_hz, dtype=np.float64)
    return 12.0 * np.log2(f0_hz / ref)


def f0_range(f0_hz, lo=5, hi=95):
    """p5-p95 of the voiced frames in semitones; None with < 5 voiced."""
    v = np.asarray(f0_hz)[np.asarray(f0_hz) > 0]
    if len(v) < 5:
        return None
    st = semitones(v)
    return float(np.percentile(st, hi) - np.percentile(st, lo))


def phone_spans(durs):
    """[(first frame, end frame)] of each phone."""
    ends = np.cumsum(durs)
    return list(zip(ends - np.asarray(durs), ends))


def excursion(st, tone):
    """The move a tone makes over its final (semitones, on the voiced
    frames in order): tone 4 the fall from the highest point of its first
    half to the lowest of its second, tone 2 the rise from the lowest of its
    first half to the highest of its second, tone 3 the dip from its onset
    to its lowest point. None with fewer than 4 voiced frames."""
    if len(st) < 4:
        return None
    half = len(st) // 2
    first, second = st[:half], st[half:]
    if tone == 4:
        return float(first.max() - second.min())
    if tone == 2:
        return float(second.max() - first.min())
    if tone == 3:
        return float(st[0] - st.min())
    return None


def tone_excursions(f0_hz, durs, tones):
    """Mean tone-4 fall, tone-2 rise and tone-3 dip (semitones) over the
    finals of an utterance: {tone: [values]}."""
    out = {2: [], 3: [], 4: []}
    for (a, b), tone in zip(phone_spans(durs), tones):
        if tone in out:
            seg = np.asarray(f0_hz[a:b])
            value = excursion(semitones(seg[seg > 0]), tone)
            if value is not None:
                out[tone].append(value)
    return out


def kurtosis(x):
    """Pearson kurtosis (normal noise 3)."""
    x = np.asarray(x, dtype=np.float64)
    x = x - x.mean()
    var = np.mean(x * x)
    return float(np.mean(x ** 4) / var ** 2) if var > 0 else None


def band(audio, sr=contract.SAMPLE_RATE, edges=BAND_HZ):
    high = min(edges[1], 0.45 * sr)
    sos = butter(4, [edges[0], high], btype="bandpass", fs=sr, output="sos")
    return sosfiltfilt(sos, np.asarray(audio, dtype=np.float64))


def fricative_kurtosis(audio, phones, durs, hop=contract.HOP, initials=FRICATIVE_INITIALS):
    """Kurtosis of the 2-11 kHz band over each fricative or affricate
    initial (one value per phone of at least two frames), or over those of
    `initials`."""
    banded = band(audio)
    out = []
    for p, (a, b) in zip(phones, phone_spans(durs)):
        if p in initials and b - a >= 2:
            k = kurtosis(banded[a * hop:b * hop])
            if k is not None:
                out.append(k)
    return out


def level_db(x):
    x = np.asarray(x, dtype=np.float64)
    return float(10 * np.log10(np.mean(x * x) + 1e-20))


def speech_bounds(audio, floor_db=SILENCE_DB):
    """First and last sample above `floor_db` re the peak; None when even
    the peak is below `floor_db` re full scale (no speech at all)."""
    a = np.abs(np.asarray(audio, dtype=np.float64))
    if not len(a) or a.max() <= 10 ** (floor_db / 20):
        return None
    loud = np.nonzero(a > a.max() * 10 ** (floor_db / 20))[0]
    return int(loud[0]), int(loud[-1])


def utterance_end(audio, sr=contract.SAMPLE_RATE):
    """Trailing silence (s) after the last sample above -40 dB re the peak,
    and the level of the last 50 ms of speech against the 200 ms before
    (at least 50 ms of speech; dB; `decays` when it is DECAY_DB or more
    below)."""
    bounds = speech_bounds(audio)
    if bounds is None:
        return {"trailing_silence_s": len(audio) / sr, "end_drop_db": None, "decays": None}
    last = bounds[1] + 1
    a, b = int(0.05 * sr), int(0.25 * sr)
    drop = None
    # A short utterance (one syllable) compares with what it has before.
    if last - a >= max(bounds[0], last - b) + a:
        before = audio[max(bounds[0], last - b):last - a]
        drop = level_db(audio[last - a:last]) - level_db(before)
    return {"trailing_silence_s": (len(audio) - last) / sr, "end_drop_db": drop,
            "decays": None if drop is None else bool(drop <= DECAY_DB)}


def comma_pauses_ms(text, phones, durs):
    """Durations (ms) of the pauses the text's full-width commas give: the
    pause phones (sp) matched in order to the text's pause marks."""
    pauses = [d for p, d in zip(phones, durs) if p == "sp"]
    marks = [ch for ch in text if ch in PAUSE_MARKS]
    if len(marks) != len(pauses):
        return []
    return [d * contract.FRAME_MS for m, d in zip(marks, pauses) if m == "，"]


def speaking_rate(audio, tones, sr=contract.SAMPLE_RATE):
    """Syllables (toned finals) per second from the first speech onset to
    the last offset, pauses included."""
    bounds = speech_bounds(audio)
    syllables = int(np.sum(np.asarray(tones) > 0))
    if bounds is None or bounds[1] <= bounds[0]:
        return None
    return syllables * sr / (bounds[1] - bounds[0])


def declination(f0_hz, frame_s=contract.FRAME_MS / 1000.0):
    """Slope (semitones per second) of a straight line fitted to an
    utterance's voiced F0 in semitones over time; None with fewer than 20
    voiced frames or under half a second between the first and the last."""
    f0_hz = np.asarray(f0_hz, dtype=np.float64)
    t = np.nonzero(f0_hz > 0)[0]
    if len(t) < 20 or (t[-1] - t[0]) * frame_s < 0.5:
        return None
    return float(np.polyfit(t * frame_s, 12 * np.log2(f0_hz[t]), 1)[0])


def median_or_none(values):
    values = [v for v in values if v is not None]
    return float(np.median(values)) if values else None


def mean_or_none(values):
    values = [v for v in values if v is not None]
    return float(np.mean(values)) if values else None
