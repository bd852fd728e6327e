"""Does a syllable read alone carry the tone its pinyin says?

A word list read aloud is read in citation tones, so the F0 of a single
syllable tells its tone plainly; a character the front end gives one
reading while the reader said another (a polyphone read in its other
tone) shows up here. The contour is compared in semitones with the
speaker's median F0; each tone has one test that a clear reading of it
passes (TESTS), and a take that fails its tone's test is reported.
"""
import numpy as np


def contour(f0_hz, median_hz):
    """Voiced F0 of a final in semitones from the speaker's median."""
    f0_hz = np.asarray(f0_hz, dtype=np.float64)
    return 12 * np.log2(f0_hz[f0_hz > 0] / median_hz)


def shape(st):
    """(start, end, lowest) of a contour: the means of its first and last
    fifths, and its lowest fifth-mean."""
    n = max(1, len(st) // 5)
    parts = [st[k:k + n].mean() for k in range(0, len(st) - n + 1, n)]
    return parts[0], parts[-1], min(parts)


# Tone -> test on (start, end, lowest) in semitones. Tone 1 is high and
# level, 2 rises, 3 dips low from no high start, 4 falls far; neutral tones are not tested.
TESTS = {
    1: lambda s, e, lo: abs(e - s) < 3.5 and lo > -2.5,
    2: lambda s, e, lo: e - s > 1.5,
    3: lambda s, e, lo: lo < -2.0 and s < 2.0,
    4: lambda s, e, lo: s - e > 3.0,
}

MIN_VOICED = 6


def fits(f0_hz, tone, median_hz):
    """True, False, or None when the final holds too few voiced frames or
    its tone is not tested."""
    st = contour(f0_hz, median_hz)
    if tone not in TESTS or len(st) < MIN_VOICED:
        return None
    return bool(TESTS[tone](*shape(st)))
