"""One voice's listener measures on its held-out sentences: every model
pair it is given (old, new) and its teacher, side by side."""
import hashlib
import os

import numpy as np

from . import contract, features, listener_measures as lm, praat_track
from .chunk_joins import difference_from_whole
from .compare_voices import against_teacher
from .dataset import Corpus
from .eval_measures import corr, syllable_slopes
from .listener_render import Durations, say, speak_float, vocode

TEACHER = "teacher"
# Runs of each model pair for its RTF, the pairs taking turns.
ROUNDS = 3


def file_digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def render(build, pairs, texts, work, rounds=ROUNDS):
    """Float audio and RTF of each pair, the pairs taking turns `rounds`
    times on the same build (the fastest round counts), then the 16-bit
    WAVs tolvaren_say writes."""
    walls = {p: [] for p in pairs}
    audio = {}
    for _ in range(rounds):
        for p, model_dir in pairs.items():
            wall, audio[p] = speak_float(build, model_dir, texts, os.path.join(work, p))
            walls[p].append(wall)
    pcm = {}
    for p, model_dir in pairs.items():
        _, written = say(build, model_dir, texts, os.path.join(work, p))
        pcm[p] = {k: samples for k, (_, samples) in written.items()}
    rtf = {}
    for p in pairs:
        seconds = sum(len(y) for y in audio[p].values()) / contract.SAMPLE_RATE
        rtf[p] = {"rtf": min(walls[p]) / seconds if seconds else None,
                  "wall_s_runs": walls[p], "audio_s": seconds, "spoken": len(audio[p])}
    return audio, pcm, rtf


def utterance_measures(audio, phones, durs, tones, text, f0_hz, hnr):
    """The per-utterance values of one column."""
    end = lm.utterance_end(audio)
    voiced = (f0_hz > 0) & (hnr > -200)
    return {"peak": lm.peak_stats(audio), "f0_range_st": lm.f0_range(f0_hz),
            "excursions": lm.tone_excursions(f0_hz, durs, tones),
            "fricative_kurtosis": lm.fricative_kurtosis(audio, phones, durs),
            "fricative_kurtosis_groups": {
                name: lm.fricative_kurtosis(audio, phones, durs, initials=initials)
                for name, initials in lm.FRICATIVE_GROUPS},
            "end": end, "comma_ms": lm.comma_pauses_ms(text, phones, durs),
            "rate": lm.speaking_rate(audio, tones), "hnr": hnr[voiced].tolist(),
            "declination": lm.declination(f0_hz)}


def summarise(per_utt):
    """The column's figures over its utterances."""
    def pooled(key):
        return [v for u in per_utt for v in u[key]]

    ends = [u["end"] for u in per_utt]
    trailing = [e["trailing_silence_s"] for e in ends]
    decays = [e["decays"] for e in ends if e["decays"] is not None]
    excursions = {t: [v for u in per_utt for v in u["excursions"][t]] for t in (2, 3, 4)}
    commas = pooled("comma_ms")
    return {
        "sentences": len(per_utt),
        "peak_max": max(u["peak"]["peak"] for u in per_utt),
        "peak_range": [min(u["peak"]["peak"] for u in per_utt),
                       max(u["peak"]["peak"] for u in per_utt)],
        "samples_over_1": sum(u["peak"]["over_1"] for u in per_utt),
        "sentences_over_1": sum(u["peak"]["over_1"] > 0 for u in per_utt),
        "f0_range_st_median": lm.median_or_none([u["f0_range_st"] for u in per_utt]),
        "tone4_fall_st": lm.mean_or_none(excursions[4]),
        "tone2_rise_st": lm.mean_or_none(excursions[2]),
        "tone3_dip_st": lm.mean_or_none(excursions[3]),
        "tone_syllables": {t: len(v) for t, v in excursions.items()},
        "fricative_kurtosis_median": lm.median_or_none(pooled("fricative_kurtosis")),
        "fricatives": len(pooled("fricative_kurtosis")),
        **{f"fricative_kurtosis_median {name}": lm.median_or_none(
            [v for u in per_utt for v in u["fricative_kurtosis_groups"][name]])
           for name, _ in lm.FRICATIVE_GROUPS},
        "trailing_silence_s_median": float(np.median(trailing)),
        "trailing_silence_s_min": float(np.min(trailing)),
        "end_drop_db_median": lm.median_or_none([e["end_drop_db"] for e in ends]),
        "sentences_decaying": int(sum(decays)),
        "comma_pause_ms_median": lm.median_or_none(commas),
        "comma_pause_ms_range": [min(commas), max(commas)] if commas else None,
        "commas": len(commas),
        "rate_syl_per_s_median": lm.median_or_none([u["rate"] for u in per_utt]),
        "declination_st_per_s_median": lm.median_or_none([u["declination"] for u in per_utt]),
        "hnr_db_median": lm.median_or_none(pooled("hnr")),
    }


def copy_synthesis(build, model_dir, test, f0_range, work):
    """Spectral convergence of the vocoder on the teacher's mels (mean over
    sentences) and the correlation of F0 slopes per final, vocoded audio
    against the teacher's own track (YIN)."""
    sc, slopes, joins = [], [], {"joins": [], "middles": []}
    for k in range(len(test)):
        u = test.utt(k)
        y = vocode(build, model_dir, u["mel"], work)
        for name, values in difference_from_whole(
                y, vocode(build, model_dir, u["mel"], work, whole=True)).items():
            joins[name] += values
        sc.append(features.spectral_convergence(y, test.audio_of(k)))
        f0_v = features.f0(y, fmin=f0_range[0], fmax=f0_range[1])
        for (_, a), (_, b) in zip(syllable_slopes(u["f0"], u["durs"], u["tones"]),
                                  syllable_slopes(f0_v, u["durs"], u["tones"])):
            if a is not None and b is not None:
                slopes.append((a, b))
    return {"spectral_convergence": float(np.mean(sc)),
            "vocoder_f0_slope_corr": corr([a for a, _ in slopes], [b for _, b in slopes]),
            **{f"whole_difference_db_{name}": lm.median_or_none(v) for name, v in joins.items()}}


def measure_voice(build, data_dir, pairs, f0_range, work):
    """{"columns": {pair or teacher: figures}, "rtf": ..., "audio": ...}."""
    test = Corpus(os.path.join(data_dir, "test.npz"))
    texts = [str(t) for t in test.text]
    audio, pcm, rtf = render(build, pairs, texts, work)
    audio[TEACHER] = {k: test.audio_of(k) for k in range(len(test))}
    durs = {TEACHER: {k: test.utt(k)["durs"] for k in audio[TEACHER]}}
    scored, cached = {}, {}
    for p, model_dir in pairs.items():
        key = tuple(file_digest(os.path.join(model_dir, f)) for f in
                    ("fastspeech2.onnx", "hifigan.onnx"))
        model = Durations(model_dir)
        durs[p] = {k: model.of(test.utt(k)["ids"], len(y)) for k, y in audio[p].items()}
        if key not in cached:
            # The same files speak the same audio: scored once.
            cached[key] = dict(against_teacher(model.model, test, audio[p], f0_range),
                               **copy_synthesis(build, model_dir, test, f0_range,
                                                os.path.join(work, p, "copy")))
        scored[p] = cached[key]
    tracks = praat_track.track({f"{c}_{k}": y for c, utts in audio.items()
                                for k, y in utts.items()}, f0_range)
    columns = {}
    for c, utts in audio.items():
        per_utt = []
        for k, y in utts.items():
            f0_hz, hnr = tracks[f"{c}_{k}"]
            per_utt.append(utterance_measures(y, test.phones[k].split(), durs[c][k],
                                              test.utt(k)["tones"], texts[k], f0_hz, hnr))
        columns[c] = summarise(per_utt)
        if c == TEACHER:
            columns[c]["clipped_16bit"] = sum(lm.clipped_16bit(np.round(y * 32768))
                                              for y in utts.values())
        else:
            columns[c]["clipped_16bit"] = sum(lm.clipped_16bit(s) for s in pcm[c].values())
            columns[c]["wavs_written"] = len(pcm[c])
            columns[c].update(rtf[c])
            columns[c].update(scored[c])
    return {"columns": columns, "texts": texts, "audio": audio, "pcm": pcm}
