"""The second voice's teacher: the mbrola program with the cn1 diphone voice.

Our front end's phones (and the text they came from, for the punctuation
behind each pause) become a .pho file: every cn1 unit with its duration and
its pitch points, both decided by our own intonation model
(intonation.py). mbrola renders it at 22,050 Hz. Since we wrote every
duration, the phone timing needs no aligner: it is the plan itself, on the
12.5 ms frame grid.

Only the recipe needs mbrola (tools/voice/setup_diphone_teacher.sh
installs it); the tool never does.
"""
import os
import shutil
import subprocess

import numpy as np

from . import diphone_units, intonation
from .espeak_driver import syllables_of

DATABASE = "/usr/share/mbrola/cn1/cn1"
PROGRAM = "mbrola"
SAMPLE_RATE = 22050
# A few diphones clip at full scale (mbrola warns "Saturation"); this
# output volume keeps every syllable in every tone below it.
VOLUME = 0.8

# The marks the front end speaks as a pause, one pause each.
PAUSE_MARKS = "，。、？：；~！,.?!:;/\\"


def available(database=DATABASE):
    """Whether the program and the voice are installed."""
    return shutil.which(PROGRAM) is not None and os.path.exists(database)


def pause_marks(text, count):
    """The punctuation mark behind each of `count` pauses: the text's pause
    marks in order when their number matches, else None for every pause
    (normalisation can rewrite a mark, as in a time of day, and then the
    marks cannot be matched to the pauses)."""
    marks = [ch for ch in text if ch in PAUSE_MARKS]
    return marks if len(marks) == count else [None] * count


def utterance_units(phones, initials, erhua, marks):
    """intonation units of a phone sequence: `Syllable`s and `Pause`s.
    erhua maps an erhua final to its base final; marks gives one mark per
    pause (see pause_marks)."""
    units = []
    k = 0
    for unit in syllables_of(phones, initials):
        if unit == ("sp",):
            units.append(intonation.Pause(marks[k] if k < len(marks) else None))
            k += 1
            continue
        initial = unit[0] if len(unit) == 2 else None
        final = unit[-1]
        if not final or not final[-1].isdigit():
            raise ValueError(f"final without a tone: {final}")
        base, tone = final[:-1], int(final[-1])
        units.append(syllable(initial, erhua.get(base, base), tone))
    return units


def syllable(initial, final, tone):
    """The intonation model's record of one syllable (plain final)."""
    return intonation.Syllable(initial, final, tone,
                               diphone_units.spell(initial, final).onset_has_medial)


def _percent(points, start, end, last):
    """The points inside [start, end) (or [start, end] for the last unit
    of a final) as (percent of the unit, Hz)."""
    span = end - start
    return [(100.0 * (t - start) / span, hz) for t, hz in points
            if span > 0 and start <= t and (t < end or (last and t <= end))]


def pho_lines(units, phones, model):
    """The .pho text of a planned utterance (see intonation.plan)."""
    lead = float(model["durations_ms"]["leading_silence"])
    share = float(model["durations_ms"]["medial_or_glide"])
    pitch_lead = float(model.get("render", {}).get("pitch_lead_ms", 0.0))
    segs = [("_", 0.0, lead, ())]
    p = 0
    for unit in units:
        if isinstance(unit, intonation.Pause):
            ph = phones[p]
            segs.append(("_", max(ph.start, segs[-1][2]), ph.end, ()))
            p += 1
            continue
        if segs[-1][0] != "_":
            segs.append(("_", segs[-1][2], segs[-1][2], ()))
        spelling = diphone_units.spell(unit.initial, unit.final)
        if unit.initial:
            init, fin = phones[p], phones[p + 1]
            p += 2
            start = max(init.start, lead) if p == 2 else init.start
        else:
            fin = phones[p]
            p += 1
            start = max(fin.start, lead) if p == 1 else fin.start
        split = fin.start
        if spelling.onset_has_medial:
            split = fin.start + min(share, 0.4 * (fin.end - fin.start))
        # mbrola's audio follows a pitch point about 15 ms late; writing
        # the points that much earlier (never before the syllable) puts
        # the heard contour on the plan.
        points = [(max(t - pitch_lead, start), hz) for t, hz in fin.points]
        if spelling.onset:
            segs.append((spelling.onset, start, split,
                         _percent(points, start, split, False)))
        else:
            split = start
        segs.append((spelling.final, split, fin.end,
                     _percent(points, split, fin.end, True)))
    if segs[-1][0] != "_":
        segs.append(("_", segs[-1][2], segs[-1][2] + lead, ()))
    lines = []
    for name, start, end, points in segs:
        line = f"{name} {end - start:.2f}"
        for pct, hz in points:
            line += f" {pct:.1f} {hz:.1f}"
        lines.append(line)
    return "\n".join(lines) + "\n", segs[-1][2]


class Teacher:
    def __init__(self, model=None, database=DATABASE, flat=False):
        self.model = model if model is not None else intonation.load()
        self.database = database
        self.flat = flat
        self.sample_rate = SAMPLE_RATE

    def plan(self, units):
        phones, track = intonation.plan(self.model, units, self.flat)
        pho, total_ms = pho_lines(units, phones, self.model)
        return phones, track, pho, total_ms

    def render_pho(self, pho):
        """(float samples, warning text) of a .pho; RuntimeError when
        mbrola fails (it stops at an unknown diphone)."""
        out = subprocess.run(
            [PROGRAM, "-v", str(VOLUME), self.database, "-", "-.raw"],
            input=pho.encode("ascii"), stdout=subprocess.PIPE,
            stderr=subprocess.PIPE)
        if out.returncode != 0:
            raise RuntimeError("mbrola failed: "
                               + out.stderr.decode("utf-8", "replace").strip())
        audio = np.frombuffer(out.stdout, dtype="<i2").astype(np.float32) / 32768.0
        return audio, out.stderr.decode("utf-8", "replace").strip()

    def render(self, units):
        """Renders intonation units. Returns a dict: audio (float, 22,050
        Hz), phones (intonation.Phone per phone), track (intended pitch),
        pho (the input given to mbrola), total_ms (its length), warnings."""
        phones, track, pho, total_ms = self.plan(units)
        audio, warnings = self.render_pho(pho)
        return {"audio": audio, "phones": phones, "track": track, "pho": pho,
                "total_ms": total_ms, "warnings": warnings}


def durations_in_frames(phones, total_ms, n_frames, frame_ms=12.5, slack=2):
    """Frame counts of the planned phones for the audio mbrola made of a
    .pho of total_ms, n_frames frames long. The plan is on the frame grid,
    so the counts are exact; the last phone takes any trailing silence and
    mbrola's own rounding. ValueError when the audio is more than `slack`
    frames off the .pho's length."""
    if not phones:
        raise ValueError("no phones")
    if abs(total_ms / frame_ms - n_frames) > slack:
        raise ValueError(f".pho of {total_ms / frame_ms:.1f} frames gave "
                         f"{n_frames} frames of audio")
    bounds = [int(round(ph.end / frame_ms)) for ph in phones]
    bounds[-1] = n_frames
    starts = [0] + bounds[:-1]
    durs = [b - a for a, b in zip(starts, bounds)]
    if any(d < 0 for d in durs):
        raise ValueError("audio shorter than the plan")
    return durs
