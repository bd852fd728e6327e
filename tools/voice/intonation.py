"""The diphone teacher's intonation and timing model.

The numbers live in intonation_model.json; this module applies them to an
utterance: a list of syllables and pauses from the front end. It decides
every phone's duration and a pitch track (time in ms, Hz) for the whole
utterance, which diphone_teacher.py turns into pitch points per unit.

Pitch. A tone is a list of points (percent of the final, level) on the
five-level tone scale, level 1 at the register's bottom and 5 at its top,
equal steps in log frequency between them. The register sinks through a
phrase (declination, in semitones per second, capped) and is reset after
every pause, wholly or, with the register's `reset_keep`, all but that
share of the fall (a reader's register climbs back only part of the way
at a comma). A third tone followed, with no pause, by a syllable of a tone
in `half_third_before` is a half third: it falls and stays low, the rise
is dropped. A neutral tone takes its contour from the nearest full tone
before it in the phrase (after_1 ... after_4, or after_none at the start
of a phrase), one `neutral_chain_step` lower for every neutral tone in
between.

Timing. An initial lasts its class's duration; a final lasts its shape's
(simple vowel, diphthong, nasal coda) plus a medial's or glide's share,
scaled by its tone, shortened when neutral. The last syllable of a phrase
is lengthened, the first slightly too; a pause lasts what its punctuation
mark asks for.

`flat=True` gives the reference this model is compared with: fixed tone
templates (the full third everywhere, the neutral tone's after_none
contour), no declination, every phone of a class equally long.
"""
import json
import os
from collections import namedtuple

MODEL_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                          "intonation_model.json")

# One syllable: our initial phone or None, our toneless final, tone 1-5,
# and whether the final's cn1 spelling starts in the onset unit.
Syllable = namedtuple("Syllable", "initial final tone medial")
# A pause and the punctuation mark behind it (None when unknown).
Pause = namedtuple("Pause", "mark")

# Planned phones: kind is "initial", "final" or "pause"; times in ms;
# points: a final's pitch points (ms, Hz), empty for the others.
Phone = namedtuple("Phone", "kind start end points", defaults=((),))


def load(path=MODEL_PATH):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def final_shape(final):
    """simple, diphthong or nasal, from the final's spelling."""
    if final.endswith("n") or final.endswith("ng"):
        return "nasal"
    vowels = sum(1 for c in final if c in "aeiouv")
    return "diphthong" if vowels > 1 or final == "er" else "simple"


def level_to_hz(level, register, drop_semitones=0.0):
    bottom, top = register["bottom_hz"], register["top_hz"]
    hz = bottom * (top / bottom) ** ((level - 1.0) / 4.0)
    return hz * 2.0 ** (-drop_semitones / 12.0)


def contour(model, units, k, flat=False):
    """Tone points [(percent, level)] of syllable units[k]."""
    tones = model["tones"]
    syl = units[k]
    if syl.tone == 5:
        if flat:
            return tones["5"]["after_none"]
        # The nearest full tone before it in the phrase; each neutral tone
        # in between lowers the contour by another step.
        j, chain = k - 1, 0
        while j >= 0 and isinstance(units[j], Syllable) and units[j].tone == 5:
            j, chain = j - 1, chain + 1
        if j < 0 or not isinstance(units[j], Syllable):
            points = tones["5"]["after_none"]
        else:
            points = tones["5"][f"after_{units[j].tone}"]
        step = chain * model["neutral_chain_step"]
        return [[pct, max(1.0, level - step)] for pct, level in points]
    if syl.tone == 3 and not flat:
        after = units[k + 1] if k + 1 < len(units) else None
        if isinstance(after, Syllable) and after.tone in model["half_third_before"]:
            return tones["3_half"]
    return tones[str(syl.tone)]


def _phrase_edges(units, k):
    """(first, last): whether syllable k starts or ends its phrase."""
    first = k == 0 or not isinstance(units[k - 1], Syllable)
    last = k + 1 == len(units) or not isinstance(units[k + 1], Syllable)
    return first, last


def durations(model, units, flat=False):
    """Duration in ms of every phone: per syllable (initial or None, final),
    per pause a number."""
    d = model["durations_ms"]
    out = []
    for k, unit in enumerate(units):
        if isinstance(unit, Pause):
            pauses = model["pauses_ms"]
            if k + 1 == len(units):
                out.append(float(pauses["utterance_end"]))
            else:
                out.append(float(pauses.get(unit.mark, pauses["default"])))
            continue
        if flat:
            init = d["initial"]["sonorant"] if unit.initial else None
            out.append((init, float(d["final"]["simple"])))
            continue
        first, last = _phrase_edges(units, k)
        init = None
        if unit.initial:
            init = float(d["initial"][d["initial_class"][unit.initial]])
        fin = float(d["final"][final_shape(unit.final)])
        if unit.medial:
            fin += d["medial_or_glide"]
        fin *= d["tone_factor"][str(unit.tone)]
        if unit.tone == 5:
            fin *= d["neutral_tone_factor"]
        if last:
            fin *= d["phrase_final"]["final_factor"]
            if init:
                init *= d["phrase_final"]["initial_factor"]
        elif first:
            fin *= d["phrase_initial_factor"]
        out.append((init, fin))
    return out


def final_points(model, units, k, span, phrase_start, flat=False, register=None):
    """Pitch points [(ms, Hz)] of the final of syllable units[k] spanning
    `span` (start, end in ms): its tone contour over the span, lowered by
    the declination since `phrase_start`. `register` replaces the model's
    (a teacher with another voice range)."""
    register = register or model["register"]
    start, end = span
    points = []
    for pct, level in contour(model, units, k, flat):
        at = start + (end - start) * pct / 100.0
        drop = 0.0
        if not flat:
            drop = min(register["declination_max_semitones"],
                       register["declination_semitones_per_second"]
                       * (at - phrase_start) / 1000.0)
        points.append((at, level_to_hz(level, register, drop)))
    return points


def kept_fall_ms(register, since_ms):
    """After a pause `since_ms` into a phrase: the time (ms) whose
    declination equals the share `reset_keep` of the fall so far (0 with
    no `reset_keep`: a whole reset)."""
    keep = float(register.get("reset_keep", 0.0))
    rate = register["declination_semitones_per_second"]
    if keep <= 0.0 or rate <= 0.0:
        return 0.0
    fall = min(register["declination_max_semitones"], rate * since_ms / 1000.0)
    return keep * fall / rate * 1000.0


def plan(model, units, flat=False, frame_ms=12.5):
    """Times of every phone and the intended pitch track.

    Returns (phones, track): phones as `Phone` records in order (an initial
    and a final per syllable with an initial, a final otherwise, a pause per
    pause), with boundaries on the frame grid, the utterance starting with
    the model's leading silence inside its first phone; track as a list of
    (ms, Hz) points, the tone points placed over each final."""
    lead = float(model["durations_ms"]["leading_silence"])
    register = model["register"]
    phones = []
    track = []
    t = lead
    grid = lambda x: round(x / frame_ms) * frame_ms  # noqa: E731
    phrase_start = t
    for k, (unit, dur) in enumerate(zip(units, durations(model, units, flat))):
        if isinstance(unit, Pause):
            end = grid(t + dur)
            phones.append(Phone("pause", t, max(end, t)))
            t = phones[-1].end
            if register.get("phrase_reset", True):
                phrase_start = t - kept_fall_ms(register, t - phrase_start)
            continue
        init, fin = dur
        if init:
            end = grid(t + init)
            if end <= t:
                end = t + frame_ms
            phones.append(Phone("initial", t, end))
            t = end
        end = grid(t + fin)
        if end <= t:
            end = t + frame_ms
        points = final_points(model, units, k, (t, end), phrase_start, flat)
        phones.append(Phone("final", t, end, tuple(points)))
        track.extend(points)
        t = end
    if phones:
        phones[0] = phones[0]._replace(start=0.0)
    return phones, track
