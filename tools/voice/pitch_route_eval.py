"""Where the pitch heard parts from the teacher's, step by step.

  python3 -m tools.voice.pitch_route_eval --data DIR --models MODEL_DIR
      [--voice default] [--f0-min 50 --f0-max 250] [--report DIR]

The tone slope correlation of the tool's audio (F0 slope per syllable
final against the teacher's, eval_measures.syllable_slopes) counts two
steps at once: the acoustic model's pitch, which the mel is decoded from,
and the vocoder's, which predicts F0 again from that mel and renders it.
This scores each contour and each audio on its own, on the held-out
sentences of DIR/test.npz, with MODEL_DIR's fastspeech2.onnx and
hifigan.onnx read back into the recipe's networks (reexport.py), the
vocoder at the voice's synthesis settings and in the tool's chunks:

* the teacher's own audio tracked by praat (praat_track.py), the tracker
  the listener report reads its voices with: how well two trackers agree
  on the teacher's slopes bounds every other row;
* teacher mel: the audio with the teacher's own F0 in the source (what the
  rendering alone costs) and with the F0 the vocoder predicts (copy
  synthesis, as the listener report scores it);
* the acoustic model's mel: the acoustic model's pitch contour, the
  vocoder's F0 predicted from that mel, and the audio with each of them in
  the source (the second is the tool's audio).

Contours are scored over every frame of a final, audio over the frames
YIN finds voiced. The graph holds no pitch statistics, so the acoustic
model's normalised pitch is turned into Hz with the held-out teacher's
log-F0 mean and deviation; a slope correlation does not depend on them,
the audio driven by that contour only through its register.

Writes REPORT/pitch_route.json and REPORT/pitch_route.md.
"""
import argparse
import os
import sys

import numpy as np
import torch

from . import features, praat_track, voices
from .dataset import Corpus, source_log_f0
from .eval_measures import Slopes, vocode_chunked
from .eval_report import save_results
from .export import synthesis_gain_smoothing
from .reexport import load_acoustic, load_vocoder

ROUTES = [
    ("teacher_praat", "teacher's audio, tracked by praat"),
    ("copy_teacher_f0", "teacher mel, teacher's F0 in the source (audio)"),
    ("copy_vocoder_f0", "teacher mel, vocoder's own F0 (audio; copy synthesis)"),
    ("acoustic_contour", "acoustic model's pitch contour"),
    ("vocoder_contour", "vocoder's F0 predicted from the acoustic model's mel"),
    ("tool_vocoder_f0", "acoustic model's mel, vocoder's own F0 (audio; the tool's)"),
    ("tool_acoustic_f0", "acoustic model's mel, its own pitch in the source (audio)"),
]


def tracked(audio, frames, f0_range):
    """YIN F0 of `audio`, stretched to `frames` where the lengths differ."""
    f0 = features.f0(audio, fmin=f0_range[0], fmax=f0_range[1])
    if len(f0) != frames:
        f0 = np.interp(np.linspace(0, len(f0) - 1, frames), np.arange(len(f0)), f0)
    return f0


def score(test, acoustic, voc, f0_range):
    allf0 = np.concatenate([test.utt(k)["f0"] for k in range(len(test))])
    log_voiced = np.log(allf0[allf0 > 0])
    stats = (float(log_voiced.mean()), float(log_voiced.std()))
    routes = {name: Slopes() for name, _ in ROUTES}
    by_praat = praat_track.track({str(k): test.audio_of(k) for k in range(len(test))}, f0_range)
    for k in range(len(test)):
        u = test.utt(k)
        mel_t = u["mel"]
        routes["teacher_praat"].add(u, by_praat[str(k)][0], u["durs"])
        teacher_f0 = np.exp(source_log_f0(u["f0"], voc.log_f0_centre))
        routes["copy_teacher_f0"].add(
            u, tracked(vocode_chunked(voc, mel_t, teacher_f0), len(mel_t), f0_range), u["durs"])
        routes["copy_vocoder_f0"].add(
            u, tracked(vocode_chunked(voc, mel_t), len(mel_t), f0_range), u["durs"])
        with torch.no_grad():
            mel, durs, pitch = acoustic.infer(torch.from_numpy(u["ids"]))
            log_f0 = voc.parts(mel.unsqueeze(0))[3][0]
        mel, durs = mel.numpy(), durs.numpy()
        contour = np.exp(pitch.numpy() * stats[1] + stats[0]).astype(np.float32)
        routes["acoustic_contour"].add(u, contour, durs)
        routes["vocoder_contour"].add(u, np.exp(log_f0.numpy()), durs)
        routes["tool_vocoder_f0"].add(
            u, tracked(vocode_chunked(voc, mel), len(mel), f0_range), durs)
        routes["tool_acoustic_f0"].add(
            u, tracked(vocode_chunked(voc, mel, contour), len(mel), f0_range), durs)
        print(f"{k + 1}/{len(test)}", flush=True)
    return stats, {name: routes[name].result() for name, _ in ROUTES}


def write_markdown(path, r):
    lines = ["# Pitch heard, step by step", "",
             f"Command: `{r['command']}`", "",
             f"{r['sentences']} held-out sentences; vocoder gain smoothing "
             f"{r['gain_smoothing']} bins; F0 slope per final against the teacher's.", "",
             "| route | slope corr | finals | tone 1 | tone 2 | tone 3 | tone 4 | tone 5 |",
             "|---|---|---|---|---|---|---|---|"]
    for name, label in ROUTES:
        m = r["routes"][name]
        cells = ["–" if m["by_tone"][t] is None else f"{m['by_tone'][t]:.3f}"
                 for t in range(1, 6)]
        value = "–" if m["slope_corr"] is None else f"{m['slope_corr']:.3f}"
        lines.append(f"| {label} | {value} | {m['finals']} | " + " | ".join(cells) + " |")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--data", required=True, help="a folder holding test.npz")
    ap.add_argument("--models", required=True,
                    help="a folder of fastspeech2.onnx and hifigan.onnx")
    ap.add_argument("--voice", default="default", choices=sorted(voices.VOICES))
    ap.add_argument("--f0-min", type=float, default=50.0)
    ap.add_argument("--f0-max", type=float, default=250.0)
    ap.add_argument("--report", default=os.path.join(here, "report"))
    args = ap.parse_args()
    torch.set_num_threads(1)
    test = Corpus(os.path.join(args.data, "test.npz"))
    acoustic = load_acoustic(os.path.join(args.models, "fastspeech2.onnx"))
    voc = load_vocoder(os.path.join(args.models, "hifigan.onnx"))
    width = synthesis_gain_smoothing(args.voice)
    voc.set_gain_smoothing(width)
    voc.set_unvoiced_noise_phase(voices.unvoiced_noise_phase(args.voice))
    stats, routes = score(test, acoustic, voc, (args.f0_min, args.f0_max))
    result = {"command": " ".join(["python3 -m tools.voice.pitch_route_eval"] + sys.argv[1:]),
              "sentences": len(test), "gain_smoothing": width,
              "held_out_log_f0_stats": stats, "routes": routes}
    save_results(args.report, "pitch_route", result, write_markdown)


if __name__ == "__main__":
    main()
