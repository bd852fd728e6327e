"""Which of the vocoder's sources makes its fricatives, and how noise-like
each one is.

  python3 -m tools.voice.fricative_sources --data DIR --models DIR
                                           [--voice default] [--report DIR]

Copy synthesis of the held-out teacher mels (DIR/test.npz), whole
utterances, twice: with the residual's own phase, and with the noise's
phase in unvoiced frames (SourceFilterVocoder.noise_phase), whichever of
the two the voice declares. The vocoder's audio is the inverse STFT of three parts added:
the periodic source scaled by its gains, the noise source scaled by its
gains, and the residual STFT. For each part alone, for the audio without
the periodic part and for all of it, the fricative-band kurtosis
(listener_measures.fricative_kurtosis, as the listener report reads it) beside
the teacher's; and over the fricative initials' frames, each part's share
of the 2-11 kHz energy and the mean voicing. A kurtosis that stays the same
without the pulses says the click train is gone and what is left above
noise's 3 is the loudness moving within the segment, which the noise
source alone shows too.
"""
import argparse
import os
import sys

import numpy as np
import torch
import torch.nn.functional as F

from . import contract, voices
from .listener_measures import BAND_HZ, FRICATIVE_INITIALS, fricative_kurtosis
from .dataset import Corpus
from .eval_report import save_results
from .export import synthesis_gain_smoothing
from .reexport import load_vocoder

PARTS = [("teacher", "teacher's audio"),
         ("all", "vocoder, all parts"),
         ("no_pulses", "vocoder without the periodic part"),
         ("pulses", "periodic part alone"),
         ("noise", "noise source alone"),
         ("residual", "residual STFT alone")]


def band_energy(spectrum, bins, lo, hi):
    """Per frame energy of an STFT [T, 2 bins] (real, imaginary) in bins lo..hi."""
    return (spectrum[:, lo:hi] ** 2 + spectrum[:, bins + lo:bins + hi] ** 2).sum(-1)


def score(test, voc):
    bins = voc.bins
    hz = contract.SAMPLE_RATE / (2 * (bins - 1))
    lo, hi = int(BAND_HZ[0] / hz), int(BAND_HZ[1] / hz) + 1
    kurt = {name: [] for name, _ in PARTS}
    energy = {"pulses": 0.0, "noise": 0.0, "residual": 0.0}
    voicing = []
    for k in range(len(test)):
        u = test.utt(k)
        phones = test.phones[k].split()
        mel = torch.from_numpy(u["mel"]).unsqueeze(0)
        with torch.no_grad():
            spectrum, pulses, gain, _, _ = voc.parts(mel)
            src = F.conv1d(pulses, voc.analysis(), stride=contract.HOP)
            src = src[:, :, :mel.shape[1]].transpose(1, 2)
            parts = {"pulses": torch.cat([gain, gain], dim=-1) * src,
                     "noise": voc.last_noise, "residual": spectrum - voc.last_noise}
            parts["no_pulses"] = spectrum
            parts["all"] = spectrum + parts["pulses"]
            audio = {n: voc.inverse(s)[0].numpy() for n, s in parts.items()}
            per_frame = {n: band_energy(parts[n][0], bins, lo, hi).numpy() for n in energy}
            v = voc.last_voicing[0].numpy()
        audio["teacher"] = test.audio_of(k)
        for name, _ in PARTS:
            kurt[name] += fricative_kurtosis(audio[name], phones, u["durs"])
        start = 0
        for p, d in zip(phones, u["durs"]):
            if p in FRICATIVE_INITIALS:
                for n in energy:
                    energy[n] += float(per_frame[n][start:start + d].sum())
                voicing.append(float(v[start:start + d].mean()))
            start += int(d)
        print(f"{k + 1}/{len(test)}", flush=True)
    total = sum(energy.values())
    return {"kurtosis": {n: float(np.median(v)) for n, v in kurt.items()},
            "initials": len(kurt["teacher"]),
            "band_energy_share": {n: e / total for n, e in energy.items()},
            "mean_voicing": float(np.mean(voicing))}


SETTINGS = [("own_phase", "the residual's own phase"),
            ("noise_phase", "the noise's phase in unvoiced frames")]


def write_markdown(path, r):
    lines = ["# Where the vocoder's fricatives come from", "",
             f"Command: `{r['command']}`", "",
             f"{r['sentences']} held-out sentences, copy synthesis of the teacher's mels, "
             f"gain smoothing {r['gain_smoothing']} bins; {r['initials']} fricative and "
             f"affricate initials. The voice is exported with {dict(SETTINGS)[r['declared']]}.",
             "", "Fricative-band kurtosis (median) and share of the 2-11 kHz energy over "
             "fricative initials:", "",
             "| audio | " + " | ".join(f"{label}: kurtosis | share" for _, label in SETTINGS)
             + " |", "|---|---|---|---|---|"]
    for name, label in PARTS:
        cells = []
        for setting, _ in SETTINGS:
            m = r[setting]
            share = m["band_energy_share"].get(name)
            cells += [f"{m['kurtosis'][name]:.2f}",
                      "–" if share is None else f"{100 * share:.1f} %"]
        lines.append(f"| {label} | " + " | ".join(cells) + " |")
    lines += ["", "Mean voicing over those initials' frames: "
              f"{r['own_phase']['mean_voicing']:.3f}.", ""]
    with open(path, "w") as f:
        f.write("\n".join(lines))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--data", required=True, help="a folder holding test.npz")
    ap.add_argument("--models", required=True, help="a folder holding hifigan.onnx")
    ap.add_argument("--voice", default="default", choices=sorted(voices.VOICES))
    ap.add_argument("--report", default=os.path.join(here, "report"))
    args = ap.parse_args()
    torch.set_num_threads(1)
    test = Corpus(os.path.join(args.data, "test.npz"))
    voc = load_vocoder(os.path.join(args.models, "hifigan.onnx"))
    if not voc.noise:
        sys.exit("fricative_sources: this vocoder has no noise source")
    width = synthesis_gain_smoothing(args.voice)
    voc.set_gain_smoothing(width)
    voc.eval()
    result = {"command": " ".join(["python3 -m tools.voice.fricative_sources"] + sys.argv[1:]),
              "sentences": len(test), "gain_smoothing": width,
              "declared": SETTINGS[voices.unvoiced_noise_phase(args.voice)][0]}
    for on, (setting, _) in enumerate(SETTINGS):
        voc.set_unvoiced_noise_phase(on)
        result[setting] = score(test, voc)
    result["initials"] = result["own_phase"].pop("initials")
    result["noise_phase"].pop("initials")
    save_results(args.report, "fricative_sources", result, write_markdown)


if __name__ == "__main__":
    main()
