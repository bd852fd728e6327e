"""What is wrong with a recorded take, and the part of it worth keeping.

A take is one word read alone: silence, the word, silence. `assess` finds
the word by its frame energy, relative to the take's loudest frame, and
says why a take cannot be trained on:

  cut at the start / cut at the end   the word runs into the file's edge
                                      (the reader or the editor cut it);
  noisy                               the room noise around the word lies
                                      less than NOISE_MARGIN_DB below its
                                      peak, after the rumble filter;
  no word / too long / too short      nothing above the floor, or a word
                                      whose length does not fit its count
                                      of syllables.

Short bursts well apart from the word (lip and tongue clicks, a breath)
are not part of it: they fall outside the span that `assess` keeps, so
trimming the take to that span repairs it.
"""
import numpy as np
from scipy.signal import butter, sosfiltfilt

FRAME_S = 0.01
# A frame belongs to the word when it lies within this many dB of the peak.
SPEECH_DB = 35.0
# Islands of speech closer than this belong to one word (the closure of a
# stop between two syllables is shorter).
JOIN_S = 0.2
# An island this short, further than JOIN_S from the loudest one, is a
# click, not speech.
CLICK_S = 0.08
# The word's edge must lie this far inside the file.
EDGE_S = 0.02
# The word's threshold stays this far above the room noise.
FLOOR_MARGIN_DB = 8.0
# Takes whose room noise is less than this far below the peak are noisy.
NOISE_MARGIN_DB = 30.0
# At a cut edge the word is still within this many dB of its peak.
CUT_DB = 25.0
SYLLABLE_S = (0.12, 1.3)
RUMBLE_HZ = 70.0


def remove_rumble(audio, rate):
    """Zero-phase high-pass below the lowest F0 of any voice."""
    sos = butter(4, RUMBLE_HZ, btype="highpass", fs=rate, output="sos")
    return sosfiltfilt(sos, np.asarray(audio, dtype=np.float64)).astype(np.float32)


def frame_db(audio, rate):
    """Energy of consecutive FRAME_S frames in dB (floor -120)."""
    n = int(round(FRAME_S * rate))
    frames = len(audio) // n
    x = np.asarray(audio[:frames * n], dtype=np.float64).reshape(frames, n)
    return 10 * np.log10(np.maximum((x * x).mean(axis=1), 1e-12))


def islands(mask):
    """[(start, end)] of the runs of True in a boolean array."""
    edges = np.diff(np.concatenate([[0], mask.astype(np.int8), [0]]))
    return list(zip(np.nonzero(edges == 1)[0], np.nonzero(edges == -1)[0]))


def noise_floor(db, peak, edge_frames=15):
    """Median energy of the first and last `edge_frames` frames that hold
    anything (digital silence left out): the room around the word."""
    ends = np.concatenate([db[:edge_frames], db[-edge_frames:]])
    room = ends[ends > peak - 80]
    return float(np.median(room)) if len(room) else peak - 80


def assess(audio, rate, syllables):
    """(reason or None, (start, end) sample span of the word)."""
    db = frame_db(audio, rate)
    if len(db) == 0 or db.max() < -70:
        return "no word", (0, 0)
    peak = db.max()
    floor = noise_floor(db, peak)
    runs = islands(db > max(peak - SPEECH_DB, floor + FLOOR_MARGIN_DB))
    join = int(round(JOIN_S / FRAME_S))
    groups = [list(runs[0])]
    for a, b in runs[1:]:
        if a - groups[-1][1] <= join:
            groups[-1][1] = b
        else:
            groups.append([a, b])
    loudest = max(groups, key=lambda g: db[g[0]:g[1]].max())
    # Groups long enough to be speech stay with the word; clicks go.
    click = int(round(CLICK_S / FRAME_S))
    kept = [g for g in groups if g is loudest or g[1] - g[0] > click]
    start, end = min(g[0] for g in kept), max(g[1] for g in kept)
    n = int(round(FRAME_S * rate))
    span = (start * n, end * n)
    edge = int(round(EDGE_S / FRAME_S))
    # A word cut by the file's edge is still loud there; one that merely
    # fades into the room noise at the edge is whole.
    if start < edge and db[:edge].max() > peak - CUT_DB:
        return "cut at the start", span
    if end > len(db) - edge and db[-edge:].max() > peak - CUT_DB:
        return "cut at the end", span
    if floor > peak - NOISE_MARGIN_DB:
        return "noisy", span
    seconds = (end - start) * FRAME_S
    if seconds < SYLLABLE_S[0] * syllables:
        return "too short", span
    if seconds > SYLLABLE_S[1] * syllables + 0.3:
        return "too long", span
    return None, span


def level(audio, rate, target_db=-20.0, ceiling=0.89):
    """Scales a take so its speech frames (within SPEECH_DB of the peak)
    have `target_db` RMS, its peak never above `ceiling`."""
    x = np.asarray(audio, dtype=np.float64)
    db = frame_db(x, rate)
    if len(db) == 0 or db.max() < -100:
        return x.astype(np.float32)
    loud = db > db.max() - SPEECH_DB
    rms_db = 10 * np.log10(np.mean(10 ** (db[loud] / 10)))
    gain = min(10 ** ((target_db - rms_db) / 20), ceiling / np.abs(x).max())
    return (x * gain).astype(np.float32)
