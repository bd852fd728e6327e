"""Sentences read by the recorded speaker, made of her own syllables.

She read words alone, in citation tones and drawn out; a voice must read
sentences. This teacher lays the project's intonation model on her
syllables: the model plans every phone's length and the pitch of every
final (intonation.plan, in the register and at the rate of the
"recorded_teacher" settings), syllable_units picks a recorded syllable for
each planned one, the pieces are joined with short fades at the syllable
edges and silence for the pauses, and praat's overlap-add resynthesis
(psola.praat) gives each piece its planned length and pitch. The phone
durations of the result are the plan's, on the frame grid.
"""
import numpy as np

from . import contract, intonation, teacher_prosody

EDGE_FADE_S = 0.0025


def settings(model):
    return model["recorded_teacher"]


def planning_model(model):
    """The intonation model as this teacher plans with it: its register,
    every phone (not the pauses) scaled by its duration_scale."""
    conf = settings(model)
    scale = float(conf["duration_scale"])
    d = dict(model["durations_ms"])
    d["initial"] = {k: v * scale for k, v in d["initial"].items()}
    d["final"] = {k: v * scale for k, v in d["final"].items()}
    d["medial_or_glide"] = d["medial_or_glide"] * scale
    return dict(model, durations_ms=d, register=conf["register"])


def faded(piece):
    n = min(int(EDGE_FADE_S * contract.SAMPLE_RATE), len(piece) // 2)
    if n == 0:
        return piece
    ramp = (0.5 - 0.5 * np.cos(np.pi * np.arange(n) / n)).astype(np.float32)
    piece = piece.copy()
    piece[:n] *= ramp
    piece[len(piece) - n:] *= ramp[::-1]
    return piece


def source(units, phones, lead_ms, inventory, audio_of, rng):
    """The joined recorded pieces after `lead_ms` of silence and, per
    planned phone, its span in them (ms). phones: intonation.plan's phones
    for `units`; audio_of(take) the take's samples. KeyError for a
    syllable the speaker never said."""
    sr = contract.SAMPLE_RATE
    at = int(round(lead_ms * sr / 1000.0))
    pieces, spans = [np.zeros(at, dtype=np.float32)], []
    k = 0
    for i, unit in enumerate(units):
        if isinstance(unit, intonation.Pause):
            ph = phones[k]
            n = int(round((ph.end - ph.start) * sr / 1000.0))
            pieces.append(np.zeros(n, dtype=np.float32))
            spans.append((1000.0 * at / sr, 1000.0 * (at + n) / sr))
            at += n
            k += 1
            continue
        kinds = 2 if unit.initial else 1
        planned_final = phones[k + kinds - 1]
        final_samples = (planned_final.end - planned_final.start) * sr / 1000.0
        phrase_final = i + 1 == len(units) or isinstance(units[i + 1], intonation.Pause)
        u = inventory.choose(unit.initial, unit.final, unit.tone, phrase_final,
                             final_samples, rng)
        syllable = faded(audio_of(u.take)[u.start:u.end])
        cut = u.initial_end - u.start
        if unit.initial:
            spans.append((1000.0 * at / sr, 1000.0 * (at + cut) / sr))
        spans.append((1000.0 * (at + cut) / sr, 1000.0 * (at + len(syllable)) / sr))
        pieces.append(syllable)
        at += len(syllable)
        k += kinds
    return np.concatenate(pieces), spans


def tiers(phones, spans, lead_ms):
    """(pitch points, duration points) on the source's time axis: the
    leading silence as it is, each phone stretched to its planned length
    (the first one's without the leading silence the plan puts in it),
    each final's planned pitch points moved into its source span."""
    pitch, duration = [], [(0.0, 1.0), (max(0.0, lead_ms - 0.1), 1.0)]
    for i, (ph, (a, b)) in enumerate(zip(phones, spans)):
        start = lead_ms if i == 0 else ph.start
        factor = (ph.end - start) / max(b - a, 1e-3) if ph.kind != "pause" else 1.0
        duration += [(a + 0.05, factor), (max(a + 0.1, b - 0.05), factor)]
        for t, hz in ph.points:
            frac = (t - start) / max(ph.end - start, 1e-3)
            pitch.append((a + frac * (b - a), hz))
    return pitch, duration


def render(units, model, inventory, audio_of, rng, pulse_range):
    """Many utterances in one praat run. units: a list of intonation unit
    lists. Returns per utterance (audio at the contract's rate, planned
    phones, plan's end in ms) or None where a syllable is missing or praat
    wrote nothing."""
    plan_model = planning_model(model)
    lead = float(plan_model["durations_ms"]["leading_silence"])
    jobs, plans = [], []
    for utt in units:
        phones, _ = intonation.plan(plan_model, utt)
        try:
            x, spans = source(utt, phones, lead, inventory, audio_of, rng)
        except KeyError:
            plans.append(None)
            continue
        pitch, duration = tiers(phones, spans, lead)
        jobs.append((x, pitch, duration))
        plans.append(phones)
    audio = iter(teacher_prosody.resynthesize(jobs, contract.SAMPLE_RATE, pulse_range))
    out = []
    fade_ms = float(settings(model)["end_fade_ms"])
    for phones in plans:
        if phones is None:
            out.append(None)
            continue
        y = next(audio)
        if y is None:
            out.append(None)
            continue
        sounding = [ph for ph in phones if ph.kind != "pause"]
        y = teacher_prosody.fade_out(y, contract.SAMPLE_RATE, sounding[-1].end, fade_ms)
        out.append((y, phones, phones[-1].end))
    return out
