"""Chooses a source-filter vocoder's synthesis gain smoothing by measurement.

  python3 -m tools.voice.gain_smoothing_eval --data DIR --vocoder HIFIGAN.onnx
      [--widths 1,3,5,9] [--min-slope-corr 0.95] [--voice diphone]
      [--f0-min 120 --f0-max 450] [--plan --phones-tsv TSV]
      [--tool BUILD/src --conf TOOL_CONF --compare NAME=MODEL_DIR ...]
      [--report DIR]

The vocoder's weights are read back from its file (reexport.py); the same
weights are then run with the gain averaged over each width of --widths
bins (1: as trained) on the held-out teacher mels of DIR/test.npz, in the
tool's chunks with the source phase carried (eval_measures.vocode_chunked).
Per width, against the teacher's audio:

* spectral convergence (features.spectral_convergence);
* HNR of the voiced frames and the fricative-band kurtosis over the
  fricative initials, teacher durations (audio_measures.py);
* F0 slope per syllable final (eval_measures.syllable_slopes): correlation
  with the teacher's, and the RMS distance in semitones of the tracked F0
  from the teacher's over the voiced frames of finals;
* with --plan (a corpus of the diphone teacher, which must be installed):
  the same against the contour the intonation model asked for, each
  held-out sentence rendered again for it (diphone_report.render), with
  the teacher's own distance from that plan beside.

The chosen width is the one of least spectral convergence whose slope
correlation with the teacher stays at or above --min-slope-corr: the gain
may not move the pitch heard away from the source's.

With --tool, the C++ tool then speaks the held-out sentences with each
--compare voice (a folder of fastspeech2.onnx and hifigan.onnx), twice,
the voices taking turns (compare_voices.py), and each voice's audio gets
its real-time factor (faster run), peak, HNR, fricative-band kurtosis
(phones timed by its acoustic model, read back from its file), the phase
continuity at its chunk joins (chunk_joins.py) and its mel L1 and slope
correlation against the teacher.

Writes REPORT/gain_smoothing.json and REPORT/gain_smoothing.md.
"""
import argparse
import json
import os
import sys
import tempfile

import numpy as np
import torch

from . import audio_measures, chunk_joins, features, voices
from .compare_voices import against_teacher, speak_all
from .dataset import Corpus
from .eval_measures import corr, syllable_slopes, vocode_chunked
from .eval_report import save_results
from .reexport import load_acoustic, load_vocoder


def final_frames(durs, tones, frames):
    mask = np.zeros(frames, bool)
    start = 0
    for d, tone in zip(durs, tones):
        if tone > 0:
            mask[start:start + d] = True
        start += d
    return mask


class Pooled:
    """Per-final slopes and per-frame F0 distances of one audio set
    against a reference contour, pooled over utterances."""

    def __init__(self):
        self.pairs, self.sq = [], []

    def add(self, f0, ref_f0, durs, tones):
        mask = final_frames(durs, tones, len(f0))
        for (_, a), (_, b) in zip(syllable_slopes(ref_f0, durs, tones),
                                  syllable_slopes(f0, durs, tones)):
            if a is not None and b is not None:
                self.pairs.append((a, b))
        both = mask & (f0 > 0) & (ref_f0 > 0)
        self.sq.extend(np.square(12 * np.log2(f0[both] / ref_f0[both])).tolist())

    def result(self, prefix):
        p = np.array(self.pairs).reshape(-1, 2)
        return {prefix + "slope_corr": corr(p[:, 0], p[:, 1]),
                prefix + "f0_rms_semitones": float(np.sqrt(np.mean(self.sq)))
                if self.sq else None, prefix + "finals": len(p)}


def plan_contours(test, phones_tsv):
    """The intonation model's contour per held-out sentence (Hz per
    frame), from the diphone teacher rendering each sentence again."""
    from . import diphone_report, diphone_teacher
    from .phoneset import Inventory
    teacher, inv = diphone_teacher.Teacher(), Inventory(phones_tsv, {})
    plans = []
    for k in range(len(test)):
        r = diphone_report.render(teacher, inv, str(test.text[k]), test.phones[k].split())
        frames = len(test.utt(k)["f0"])
        if len(r["intended"]) != frames:
            raise RuntimeError(f"held-out sentence {k}: the teacher renders "
                               f"{len(r['intended'])} frames now, {frames} in the corpus")
        plans.append(r["intended"])
    return plans


def score_set(test, audio, f0_range, plans=None, reference=False):
    """The measures of one audio per held-out sentence (reference: the
    teacher's own audio, compared with itself only against the plan)."""
    sc, kurt = [], []
    vs_teacher, vs_plan = Pooled(), Pooled()
    for k, y in enumerate(audio):
        u = test.utt(k)
        f0 = features.f0(y, fmin=f0_range[0], fmax=f0_range[1])
        if not reference:
            sc.append(features.spectral_convergence(y, test.audio_of(k)))
            vs_teacher.add(f0, u["f0"], u["durs"], u["tones"])
        if plans is not None:
            vs_plan.add(f0, np.where(f0 > 0, plans[k], 0.0), u["durs"], u["tones"])
        kurt.extend(audio_measures.fricative_kurtosis(y, test.phones[k].split(), u["durs"]))
    out = {"hnr_db": float(np.mean(audio_measures.hnr_db(audio))),
           "fricative_kurtosis_median": float(np.median(kurt)),
           "fricative_initials": len(kurt)}
    if not reference:
        out["spectral_convergence"] = float(np.mean(sc))
        out.update(vs_teacher.result("teacher_"))
    if plans is not None:
        out.update(vs_plan.result("plan_"))
    return out


def choose(widths, min_corr):
    ok = [w for w, m in widths.items()
          if m["teacher_slope_corr"] is not None and m["teacher_slope_corr"] >= min_corr]
    return min(ok, key=lambda w: widths[w]["spectral_convergence"]) if ok else None


def compare_in_tool(args, test, models):
    """The tool's audio of every --compare voice, measured side by side."""
    texts = [str(t) for t in test.text]
    walls = {name: [] for name in models}
    audio = {}
    with tempfile.TemporaryDirectory() as tmp:
        for _ in range(2):
            for name, folder in models.items():
                wall, audio[name] = speak_all(args.tool, args.conf, os.path.abspath(folder),
                                              texts, os.path.join(tmp, name), tmp)
                walls[name].append(wall)
    f0_range = (args.f0_min, args.f0_max)
    out = {}
    for name, folder in models.items():
        spoken = audio[name]
        acoustic = load_acoustic(os.path.join(folder, "fastspeech2.onnx"))
        kurt, untimed = [], 0
        for k, y in spoken.items():
            with torch.no_grad():
                _, d, _ = acoustic.infer(torch.from_numpy(test.utt(k)["ids"]))
            if int(d.sum()) * 300 != len(y):
                untimed += 1  # the runtime rounded a duration apart
                continue
            kurt.extend(audio_measures.fricative_kurtosis(y, test.phones[k].split(),
                                                          d.numpy()))
        seconds = sum(len(y) for y in spoken.values()) / 24000.0
        joins = chunk_joins.summarise(list(spoken.values()), f0_range=f0_range)
        entry = {"models": folder, "spoken": len(spoken), "audio_s": seconds,
                 "wall_s_runs": walls[name], "rtf": min(walls[name]) / seconds,
                 "peak": float(max(np.abs(y).max() for y in spoken.values())),
                 "samples_at_or_over_1": int(sum((np.abs(y) >= 1.0).sum()
                                                 for y in spoken.values())),
                 "hnr_db": float(np.mean(audio_measures.hnr_db(list(spoken.values())))),
                 "fricative_kurtosis_median": float(np.median(kurt)) if kurt else None,
                 "fricative_initials": len(kurt), "utterances_untimed": untimed,
                 "chunk_joins": joins}
        entry.update(against_teacher(acoustic, test, spoken, f0_range))
        out[name] = entry
    return out


def _num(v, digits=3):
    return "-" if v is None else f"{v:.{digits}f}"


def write_markdown(path, r):
    plan = "teacher_plan" in r
    lines = ["# Gain smoothing of the vocoder at synthesis", "",
             f"Made by `tools/voice/gain_smoothing_eval.py` (vocoder `{r['vocoder']}`, "
             f"{r['sentences']} held-out sentences, the teacher's mels vocoded in the "
             "tool's chunks). Spectral convergence against the teacher's audio; "
             "slope correlation and F0 RMS over syllable finals against the "
             "teacher's tracked F0" + (" and against the intonation model's plan" if plan
                                       else "") + "; fricative-band kurtosis (2-11 kHz) "
             "over fricative initials, median; HNR of voiced frames (praat).", "",
             f"    {r['command']}", "",
             "| gain smoothing (bins) | spectral convergence | HNR (dB) | slope corr. "
             "vs teacher | F0 RMS vs teacher (st) |"
             + (" slope corr. vs plan | F0 RMS vs plan (st) |" if plan else "")
             + " fricative kurtosis |",
             "|---|---|---|---|---|" + ("---|---|" if plan else "") + "---|"]
    rows = [(str(w), m) for w, m in r["widths"].items()]
    if plan:
        rows.append(("teacher", dict(r["teacher_plan"], spectral_convergence=None)))
    for name, m in rows:
        cells = [name, _num(m.get("spectral_convergence")), _num(m["hnr_db"], 1),
                 _num(m.get("teacher_slope_corr")),
                 _num(m.get("teacher_f0_rms_semitones"), 2)]
        if plan:
            cells += [_num(m.get("plan_slope_corr")), _num(m.get("plan_f0_rms_semitones"), 2)]
        cells.append(_num(m["fricative_kurtosis_median"], 2))
        lines.append("| " + " | ".join(cells) + " |")
    lines += ["", f"Chosen (least spectral convergence with slope correlation vs teacher "
              f">= {r['min_slope_corr']}): **{r['chosen']}**."]
    if r.get("tool"):
        lines += ["", "The C++ tool on the same sentences, voices taking turns in one run:", "",
                  "| voice | RTF | peak | samples >= 1 | HNR (dB) | fricative kurtosis | chunk "
                  "joins: mean abs phase jump (rad) | middles (rad) | tool mel L1 | tool slope "
                  "corr. vs teacher | the same per tone 1-5 |",
                  "|---|---|---|---|---|---|---|---|---|---|---|"]
        for name, m in r["tool"].items():
            j = m["chunk_joins"]
            lines.append("| " + " | ".join([
                name, _num(m["rtf"], 4), _num(m["peak"], 2), str(m["samples_at_or_over_1"]),
                _num(m["hnr_db"], 1),
                _num(m["fricative_kurtosis_median"], 2),
                _num(j["joins"]["mean_abs_phase_jump_rad"], 2),
                _num(j["middles"]["mean_abs_phase_jump_rad"], 2),
                _num(m["tool_mel_l1"]), _num(m["tool_f0_slope_corr"]),
                ", ".join(_num(v, 2) for v in m["tool_f0_slope_corr_by_tone"].values())]) + " |")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--data", required=True)
    ap.add_argument("--vocoder", required=True, help="a source-filter vocoder's ONNX file")
    ap.add_argument("--widths", default="1,3,5,9")
    ap.add_argument("--min-slope-corr", type=float, default=0.95)
    ap.add_argument("--f0-min", type=float, default=120.0)
    ap.add_argument("--f0-max", type=float, default=450.0)
    ap.add_argument("--plan", action="store_true",
                    help="also score against the intonation model's plan (diphone teacher)")
    ap.add_argument("--phones-tsv", default=os.path.join(here, "..", "..", "resources",
                                                         "dict", "phones.tsv"))
    ap.add_argument("--tool", help="folder of tolvaren_tts")
    ap.add_argument("--conf", help="a tool.conf whose front end to use")
    ap.add_argument("--compare", action="append", default=[], help="NAME=MODEL_DIR")
    ap.add_argument("--report", default=os.path.join(here, "report", "diphone_voice"))
    ap.add_argument("--threads", type=int, default=1)
    ap.add_argument("--voice", default="diphone", choices=sorted(voices.VOICES),
                    help="whose other synthesis settings the vocoder runs with")
    args = ap.parse_args()
    torch.set_num_threads(args.threads)
    test = Corpus(os.path.join(args.data, "test.npz"))
    f0_range = (args.f0_min, args.f0_max)
    plans = plan_contours(test, args.phones_tsv) if args.plan else None
    voc = load_vocoder(args.vocoder)
    voc.set_unvoiced_noise_phase(voices.unvoiced_noise_phase(args.voice))
    result = {"command": " ".join(["python3 -m tools.voice.gain_smoothing_eval"] + sys.argv[1:]),
              "vocoder": args.vocoder, "sentences": len(test),
              "min_slope_corr": args.min_slope_corr, "widths": {}}
    for width in (int(w) for w in args.widths.split(",")):
        voc.set_gain_smoothing(width)
        audio = [vocode_chunked(voc, test.utt(k)["mel"]) for k in range(len(test))]
        result["widths"][width] = score_set(test, audio, f0_range, plans)
        print(width, json.dumps(result["widths"][width]), flush=True)
    if plans is not None:
        teacher = [test.audio_of(k) for k in range(len(test))]
        result["teacher_plan"] = score_set(test, teacher, f0_range, plans, reference=True)
    result["chosen"] = choose(result["widths"], args.min_slope_corr)
    if args.tool and args.compare:
        result["tool"] = compare_in_tool(args, test, dict(v.split("=", 1) for v in args.compare))
    save_results(args.report, "gain_smoothing", result, write_markdown)


if __name__ == "__main__":
    main()
