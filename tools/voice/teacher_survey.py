"""What bounds a voice distilled from the formant teacher: the teacher's
own audio measured under other settings of it.

  python3 -m tools.voice.teacher_survey --front BUILD/src/tolvaren_tts_front
      --conf TOOL_CONF --phones-tsv resources/dict/phones.tsv
      --phone2id BUILD/resources/dict/phone2id.dict --prose PROSE.txt
      --work DIR [--case NAME=OPTIONS ...] [--report tools/voice/report]

Each case renders the 50 held-out sentences (build_corpus.py with the
case's options: OPTIONS is its command-line words, e.g. "--register 90,180";
the default cases are CASES) into a folder of WORK named by its options;
a case rendered before is measured again, not rendered. On the teacher's audio alone:

* tracker agreement: the correlation of F0 slopes per final, praat's
  track against the recipe's YIN (as pitch_route_eval.py's first row).
  Every slope correlation of a voice against its teacher is measured with
  one of these trackers on each side, so this is about the best any model
  of that teacher can show;
* HNR of voiced frames and F0 range per sentence (praat);
* fricative-band kurtosis (listener_measures) over every fricative and
  affricate initial, and apart over the fricatives and aspirated
  affricates (s sh x c ch q) and the unaspirated affricates (z zh j),
  whose stop burst makes a peaky band even in recorded speech;
* the spectral convergence the vocoder's zero-phase gain reaches at best,
  free per bin and smoothed over 9 bins (convergence_ceiling.py).

Writes teacher_survey.md and teacher_survey.json into the report folder.
"""
import argparse
import hashlib
import json
import os
import shlex
import subprocess
import sys
import time

import numpy as np

from . import convergence_ceiling as ceiling
from . import listener_measures as lm
from . import praat_track
from .build_corpus import add_front_arguments
from .dataset import Corpus
from .eval_measures import Slopes
from .vocoders import SourceFilterVocoder

F0_RANGE = (50.0, 250.0)
CLASSES = (("all", lm.FRICATIVE_INITIALS),) + lm.FRICATIVE_GROUPS
CASES = (
    ("as shipped", ""),
    ("the teacher's own prosody", "--prosody espeak"),
    ("register 90-180 Hz", "--register 90,180"),
    ("variant klatt", "--teacher-voice cmn-latn-pinyin+klatt"),
    ("variant klatt2", "--teacher-voice cmn-latn-pinyin+klatt2"),
    ("variant klatt4", "--teacher-voice cmn-latn-pinyin+klatt4"),
    ("variant m3", "--teacher-voice cmn-latn-pinyin+m3"),
    ("espeak-ng's own pitch range 0", "--espeak-pitch 50,0"),
    ("espeak-ng's base pitch 70, range 0", "--espeak-pitch 70,0"),
    ("pitch marks found in 60-200 Hz", "--pulse-range 60,200"),
    ("own fricatives kept", "--teacher-audio kept-initials"),
    ("made again from its envelope", "--teacher-audio source-filter"),
)


def render(args, options, out):
    if os.path.isfile(os.path.join(out, "test.npz")):
        return
    cmd = [sys.executable, "-m", "tools.voice.build_corpus", "--front", args.front,
           "--conf", args.conf, "--phones-tsv", args.phones_tsv, "--phone2id", args.phone2id,
           "--prose", args.prose, "--out", out, "--prose-count", "1", "--random-count", "0",
           "--test-count", "50", "--jobs", str(args.jobs), *shlex.split(options)]
    # A teacher that stalls fails the survey instead of holding it.
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, timeout=1800)


def measure(data):
    """The survey's figures on the teacher's audio in data/test.npz."""
    test = Corpus(os.path.join(data, "test.npz"))
    audio = {str(k): test.audio_of(k) for k in range(len(test))}
    tracks = praat_track.track(audio, F0_RANGE)
    voc = SourceFilterVocoder().eval()
    slopes, hnr, ranges, sc = Slopes(), [], [], {1: [], 9: []}
    kurt = {name: [] for name, _ in CLASSES}
    for k in range(len(test)):
        u = test.utt(k)
        f0, h = tracks[str(k)]
        slopes.add(u, f0, u["durs"])
        hnr += list(h[(f0 > 0) & (h > -200)])
        r = lm.f0_range(f0)
        if r is not None:
            ranges.append(r)
        phones = str(test.phones[k]).split()
        for name, initials in CLASSES:
            kurt[name] += lm.fricative_kurtosis(audio[str(k)], phones, u["durs"], initials=initials)
        got = ceiling.ceilings(voc, ceiling.teacher_f0_hz(voc, u["f0"]),
                               audio[str(k)].astype(np.float32), (1, 9), with_phase=False)
        for width in sc:
            sc[width].append(got[(width, False)])
    agreement = slopes.result()
    return {"sentences": len(test), "tracker_agreement": agreement["slope_corr"],
            "tracker_agreement_tone4": agreement["by_tone"][4],
            "finals": agreement["finals"], "hnr_db_median": lm.median_or_none(hnr),
            "f0_range_st_median": lm.median_or_none(ranges),
            "kurtosis_median": {name: lm.median_or_none(v) for name, v in kurt.items()},
            "sc_ceiling": {str(w): float(np.mean(v)) for w, v in sc.items()}}


def fmt(value, digits):
    return "n/a" if value is None else f"{value:.{digits}f}"


def write_markdown(path, command, seconds, rows):
    lines = [
        "# The formant teacher under other settings: what bounds its voice",
        "",
        f"Command: `{command}` ({seconds:.0f} s). Each row is the teacher's own audio of the "
        "default voice's 50 held-out sentences, made by `build_corpus.py` with the options "
        "shown (none: as the shipped corpus was made). Tracker agreement: F0 slope "
        "correlation per final, praat against the recipe's YIN on the same audio (the "
        "bound of a voice's slope correlation against this teacher; target of the voice "
        "0.95). Kurtosis: 2-11 kHz band over fricative and affricate initials, median "
        "(target of the voice 6). Convergence ceiling: the vocoder's zero-phase gain at "
        "best, free per bin and over 9 bins (target of the voice 0.30).",
        "",
        "| teacher | options | tracker agreement | tone 4 | HNR (dB) | F0 range (st) "
        "| kurtosis: all | s sh x c ch q | z zh j | SC ceiling, 1 bin | 9 bins |",
        "|---|---|---|---|---|---|---|---|---|---|---|",
    ]
    for name, options, r in rows:
        k = r["kurtosis_median"]
        lines.append(
            f"| {name} | `{options or '-'}` | {fmt(r['tracker_agreement'], 3)} "
            f"| {fmt(r['tracker_agreement_tone4'], 2)} | {fmt(r['hnr_db_median'], 1)} "
            f"| {fmt(r['f0_range_st_median'], 1)} | {fmt(k['all'], 2)} "
            f"| {fmt(k['s sh x c ch q'], 2)} | {fmt(k['z zh j'], 2)} "
            f"| {fmt(r['sc_ceiling']['1'], 3)} | {fmt(r['sc_ceiling']['9'], 3)} |")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def parse_case(text):
    name, sep, options = text.partition("=")
    if not sep or not name:
        raise argparse.ArgumentTypeError(f"case {text!r}: want NAME=OPTIONS")
    return name, options


def main():
    ap = argparse.ArgumentParser()
    add_front_arguments(ap, out=False)
    ap.add_argument("--prose", required=True)
    ap.add_argument("--work", required=True, help="where the cases' held-out sets are kept")
    ap.add_argument("--case", action="append", type=parse_case,
                    help="NAME=OPTIONS of build_corpus.py (repeat; default: CASES)")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--report", default="tools/voice/report")
    args = ap.parse_args()
    cases = args.case or list(CASES)
    began = time.time()
    rows = []
    for name, options in cases:
        out = os.path.join(args.work, hashlib.sha1(options.encode()).hexdigest()[:12])
        render(args, options, out)
        rows.append((name, options, measure(out)))
        print(f"{name}: {json.dumps(rows[-1][2])}", file=sys.stderr)
    os.makedirs(args.report, exist_ok=True)
    command = "python3 -m tools.voice.teacher_survey " + " ".join(
        shlex.quote(a) for a in sys.argv[1:])
    write_markdown(os.path.join(args.report, "teacher_survey.md"), command,
                   time.time() - began, rows)
    with open(os.path.join(args.report, "teacher_survey.json"), "w", encoding="utf-8") as f:
        json.dump([{"teacher": n, "options": o, **r} for n, o, r in rows], f, indent=1)


if __name__ == "__main__":
    main()
