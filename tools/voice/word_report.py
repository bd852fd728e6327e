"""Voices against the recorded speaker's held-out words, side by side.

  python3 -m tools.voice.word_report --tool BUILD/src --conf TOOL_CONF
      --heldout DIR/test.npz --voice NAME=MODEL_DIR [--voice ...]
      [--report DIR] [--limit N]

The C++ tool speaks every held-out word (file mode) with each voice; each
word is measured against the speaker's take (word_scores.compare). Per
voice: mean MCD-DTW, log-F0 correlation pooled over all words' path
pairs, median duration ratio, median F0 beside the speaker's. Writes
REPORT/words.json and REPORT/words.md.
"""
import argparse
import json
import os
import tempfile

import numpy as np

from . import word_scores
from .compare_voices import speak_all
from .dataset import Corpus
from .eval_tool import voice_folders


def summary(scores, speaker_f0):
    pairs = np.array([p for s in scores for p in s["f0_pairs"]])
    voice_f0 = np.concatenate([s["voice_f0"] for s in scores if s["voice_f0"]])
    per_word = [np.corrcoef(np.array(s["f0_pairs"]).T)[0, 1] for s in scores
                if len(s["f0_pairs"]) >= 8 and np.ptp(np.array(s["f0_pairs"]), axis=0).min() > 0]
    return {"words": len(scores),
            "log_f0_r_per_word_mean": float(np.mean(per_word)),
            "mcd_db": float(np.mean([s["mcd"] for s in scores])),
            "log_f0_r": float(np.corrcoef(pairs[:, 0], pairs[:, 1])[0, 1]),
            "duration_ratio_median": float(np.median([s["duration_ratio"] for s in scores])),
            "median_f0_hz": float(np.median(voice_f0)),
            "speaker_median_f0_hz": float(np.median(speaker_f0))}


def markdown(results, command):
    lines = ["# Voices against the speaker's held-out words", "",
             f"Command: `{command}`", "",
             "| voice | words | MCD-DTW (dB) | log-F0 r, pooled | log-F0 r, mean per word "
             "| duration ratio | median F0 (speaker) |",
             "|---|---|---|---|---|---|---|"]
    for name, r in results.items():
        lines.append(f"| {name} | {r['words']} | {r['mcd_db']:.2f} | {r['log_f0_r']:.2f} | "
                     f"{r['log_f0_r_per_word_mean']:.2f} | "
                     f"{r['duration_ratio_median']:.2f} | {r['median_f0_hz']:.0f} Hz "
                     f"({r['speaker_median_f0_hz']:.0f} Hz) |")
    return "\n".join(lines) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--conf", required=True)
    ap.add_argument("--heldout", required=True)
    ap.add_argument("--voice", action="append", required=True, metavar="NAME=MODEL_DIR")
    ap.add_argument("--report", default="tools/voice/report/recorded")
    ap.add_argument("--limit", type=int, default=0)
    args = ap.parse_args()
    voices = voice_folders(ap, args.voice)
    test = Corpus(args.heldout)
    count = len(test) if not args.limit else min(args.limit, len(test))
    texts = [str(test.text[k]) for k in range(count)]
    speaker = [test.audio_of(k) for k in range(count)]
    results = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name, folder in voices:
            _, audio = speak_all(args.tool, args.conf, folder, texts,
                                 os.path.join(tmp, name), tmp)
            scores = [word_scores.compare(audio[k], speaker[k]) for k in range(count)
                      if k in audio and len(audio[k]) > 0]
            f0 = np.concatenate([test.utt(k)["f0"] for k in range(count)])
            results[name] = summary(scores, f0[f0 > 0])
    os.makedirs(args.report, exist_ok=True)
    command = ("/usr/bin/python3 -m tools.voice.word_report "
               + " ".join(f"--voice {v}" for v in args.voice) + f" --heldout {args.heldout}")
    with open(os.path.join(args.report, "words.json"), "w", encoding="utf-8") as f:
        json.dump({"command": command, "voices": results}, f, indent=1)
    with open(os.path.join(args.report, "words.md"), "w", encoding="utf-8") as f:
        f.write(markdown(results, command))
    print(markdown(results, command))


if __name__ == "__main__":
    main()
