"""Two routes from recorded words to read sentences, measured side by side.

  python3 -m tools.voice.route_compare --data DIR --acoustic ACOUSTIC.pt
      --vocoder VOCODER.pt [--voice default] [--report DIR]

The speaker read words alone; the voice must read sentences. Both routes
start from the same intonation model (intonation.py, in her register):

* (a) sentences built from her syllables with that model laid on them
  (syllable_teacher.py) are training data: the acoustic model learns to
  predict every phone's length and the pitch itself, and the voice ships
  as the usual contract (phone ids in, mel and durations out);
* (b) the acoustic model is driven by the intonation model at run time:
  the phones' lengths and the pitch contour are inputs (here the planned
  lengths and the planned contour as her resynthesised syllables carry it,
  DIR/test.npz's durations and F0), the network renders them.

Each held-out sentence of DIR/test.npz is spoken both ways by the same
networks (the training checkpoints the voice was exported from, which
also hold the pitch statistics; the vocoder in the tool's chunks), and the
listener measures (listener_voice.py) are taken on both and on the
teacher's own audio with the same praat tracks. Route (b) is also scored on
how closely its F0 follows the contour it was given (log-F0 correlation
over frames voiced in both).

Writes REPORT/routes.json and REPORT/routes.md.
"""
import argparse
import os
import sys

import numpy as np
import torch

from . import listener_voice as lv, praat_track, voices
from .dataset import Corpus, pitch_target
from .eval_measures import corr, vocode_chunked
from .eval_report import save_results
from .export import load_acoustic, load_vocoder

COLUMNS = [
    ("teacher", "her syllables with the intonation model (the sentences trained on)"),
    ("route_a", "(a) the model's own lengths and pitch, learnt from those sentences"),
    ("route_b", "(b) the intonation model's lengths and pitch as the model's inputs"),
]
ROWS = [
    ("f0_range_st_median", "F0 range p5-p95, median (st)", "{:.1f}"),
    ("tone4_fall_st", "tone-4 fall, mean (st)", "{:.1f}"),
    ("tone2_rise_st", "tone-2 rise, mean (st)", "{:.1f}"),
    ("declination_st_per_s_median", "declination, median (st/s)", "{:.2f}"),
    ("rate_syl_per_s_median", "speaking rate, median (syllables/s)", "{:.2f}"),
    ("comma_pause_ms_median", "comma pause, median (ms)", "{:.0f}"),
    ("fricative_kurtosis_median", "fricative kurtosis, median", "{:.1f}"),
    ("hnr_db_median", "harmonics to noise, median (dB)", "{:.1f}"),
    ("plan_log_f0_r", "log-F0 r against the planned contour", "{:.2f}"),
]


def driven(acoustic, u):
    """Route (b): the mel of u's phones at u's durations and pitch."""
    stats = [float(v) for v in acoustic.pitch_stats]
    with torch.no_grad():
        mel = acoustic(torch.from_numpy(u["ids"]).long().unsqueeze(0),
                       torch.from_numpy(u["durs"]).long().unsqueeze(0),
                       torch.from_numpy(pitch_target(u["f0"], stats)).unsqueeze(0))[0]
    return mel[0].numpy(), np.asarray(u["durs"])


def spoken(acoustic, u):
    """Route (a): the mel of u's phones with the model's own predictions."""
    with torch.no_grad():
        mel, durs, _ = acoustic.infer(torch.from_numpy(u["ids"]).long())
    return mel.numpy(), durs.numpy()


def plan_r(f0_hz, planned_hz):
    n = min(len(f0_hz), len(planned_hz))
    a, b = np.asarray(f0_hz[:n]), np.asarray(planned_hz[:n])
    both = (a > 0) & (b > 0)
    return corr(np.log(a[both]), np.log(b[both])) if both.sum() > 10 else None


def measure(test, acoustic, voc, f0_range, count):
    texts = [str(t) for t in test.text]
    audio, durs = {c: {} for c, _ in COLUMNS}, {c: {} for c, _ in COLUMNS}
    for k in range(count):
        u = test.utt(k)
        audio["teacher"][k], durs["teacher"][k] = test.audio_of(k), u["durs"]
        for column, route in (("route_a", spoken), ("route_b", driven)):
            mel, d = route(acoustic, u)
            audio[column][k], durs[column][k] = vocode_chunked(voc, mel), d
        print(f"{k + 1}/{count}", flush=True)
    tracks = praat_track.track({f"{c}_{k}": y for c, utts in audio.items()
                                for k, y in utts.items()}, f0_range)
    result = {}
    for c, _ in COLUMNS:
        per_utt, fits = [], []
        for k, y in audio[c].items():
            f0_hz, hnr = tracks[f"{c}_{k}"]
            u = test.utt(k)
            per_utt.append(lv.utterance_measures(y, test.phones[k].split(), durs[c][k],
                                                 u["tones"], texts[k], f0_hz, hnr))
            if c == "route_b":
                fits.append(plan_r(f0_hz, u["f0"]))
        result[c] = lv.summarise(per_utt)
        fits = [f for f in fits if f is not None]
        result[c]["plan_log_f0_r"] = float(np.median(fits)) if fits else None
    return result


def write_markdown(path, r):
    lines = ["# Sentences from recorded words: two routes", "",
             f"Command: `{r['command']}`", "",
             f"{r['sentences']} held-out sentences, the same networks both ways "
             "(the checkpoints the voice was exported from); F0 tracked by praat.", "",
             "| measure | " + " | ".join(label for _, label in COLUMNS) + " |",
             "|---" * (len(COLUMNS) + 1) + "|"]
    for key, label, form in ROWS:
        cells = []
        for c, _ in COLUMNS:
            v = r["columns"][c].get(key)
            cells.append("–" if v is None else form.format(v))
        lines.append(f"| {label} | " + " | ".join(cells) + " |")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--data", required=True, help="a folder holding test.npz")
    ap.add_argument("--acoustic", required=True, help="the acoustic model's checkpoint")
    ap.add_argument("--vocoder", required=True, help="the vocoder's checkpoint")
    ap.add_argument("--voice", default="default", choices=sorted(voices.VOICES))
    ap.add_argument("--f0-min", type=float, default=100.0)
    ap.add_argument("--f0-max", type=float, default=500.0)
    ap.add_argument("--sentences", type=int, help="only the first N held-out sentences")
    ap.add_argument("--report", default=os.path.join(here, "report", "recorded"))
    args = ap.parse_args()
    torch.set_num_threads(1)
    test = Corpus(os.path.join(args.data, "test.npz"))
    acoustic = load_acoustic(args.acoustic)
    voc = load_vocoder(args.vocoder, args.voice)
    count = min(args.sentences or len(test), len(test))
    columns = measure(test, acoustic, voc, (args.f0_min, args.f0_max), count)
    result = {"command": " ".join(["python3 -m tools.voice.route_compare"] + sys.argv[1:]),
              "sentences": count, "columns": columns}
    save_results(args.report, "routes", result, write_markdown)


if __name__ == "__main__":
    main()
