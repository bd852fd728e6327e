"""Pitch plots and tone measures of the diphone teacher.

  python3 -m tools.voice.diphone_report --front BIN --conf TOOL_CONF
      --phones-tsv TSV [--prose TXT --count N] [--out DIR]

Renders the report's five sentences (report/sentences.txt) and, for the
measures, the first N sentences of a prose file (the recipe's prose.txt),
each with our intonation model and with flat tone templates
(intonation.py). The rendered audio's F0 is tracked at the voice contract's
frame rate and compared per syllable final with the intended contour:

* slope correlation: Pearson correlation, over all finals with >= 3 voiced
  frames, of the measured and the intended log F0 slope;
* tone 2 rising / tone 4 falling: share of tone-2 finals whose measured
  slope is positive, of tone-4 finals whose slope is negative;
* tracking error: RMS distance in semitones between the measured and the
  intended F0 over the voiced frames of finals.

Writes DIR/pitch_examples.png, DIR/flat_vs_model.png and DIR/measures.json.
"""
import argparse
import json
import os
import subprocess
import tempfile

import numpy as np
from scipy.signal import resample_poly

from . import contract, diphone_teacher, features
from .eval_measures import corr, share, syllable_slopes
from .phoneset import Inventory

HERE = os.path.dirname(os.path.abspath(__file__))


def front_phones(front, conf, texts):
    """[(text, phones, pinyin)] of the texts the front end handles."""
    def run(mode):
        with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt") as f:
            f.write("".join(t + "\n" for t in texts))
            f.flush()
            out = subprocess.run([front, mode, "--file", f.name],
                                 env=dict(os.environ, TOLVAREN_TTS_CONF=conf),
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return out.stdout.decode("utf-8").split("\n")
    phones, pinyin = run("--phones"), run("--pinyin")
    return [(t, phones[k].split(), pinyin[k]) for k, t in enumerate(texts)
            if k < min(len(phones), len(pinyin)) and phones[k].strip()
            and not phones[k].startswith("ERROR")]


def render(teacher, inv, text, phones):
    """Rendered utterance with its frames: f0 (tracked), intended f0 per
    frame, durations, tones per phone."""
    marks = diphone_teacher.pause_marks(text, phones.count("sp"))
    units = diphone_teacher.utterance_units(phones, inv.initials, inv.erhua, marks)
    out = teacher.render(units)
    if out["warnings"]:
        raise RuntimeError(out["warnings"])
    y = resample_poly(out["audio"], contract.SAMPLE_RATE // 150,
                      diphone_teacher.SAMPLE_RATE // 150)
    n = len(y) // contract.HOP
    durs = diphone_teacher.durations_in_frames(out["phones"], out["total_ms"], n,
                                               contract.FRAME_MS)
    f0 = features.f0(y[:n * contract.HOP], fmin=120.0, fmax=450.0)
    times = np.arange(n) * contract.FRAME_MS
    track = np.array(out["track"])
    intended = np.interp(times, track[:, 0], track[:, 1])
    tones = [int(p[-1]) if p[-1].isdigit() else 0 for p in phones]
    return {"f0": f0, "intended": intended, "durs": durs, "tones": tones,
            "phones": out["phones"], "audio": out["audio"]}


def measures(results):
    pairs, rising, falling, err = [], [], [], []
    for r in results:
        voiced = r["f0"] > 0
        in_final = np.zeros(len(r["f0"]), bool)
        start = 0
        for d, tone in zip(r["durs"], r["tones"]):
            if tone > 0:
                in_final[start:start + d] = True
            start += d
        mask = voiced & in_final
        err.extend(12 * np.log2(r["f0"][mask] / r["intended"][mask]))
        measured = syllable_slopes(r["f0"], r["durs"], r["tones"])
        intended = syllable_slopes(np.where(voiced, r["intended"], 0.0),
                                   r["durs"], r["tones"])
        for (tone, m), (_, i) in zip(measured, intended):
            if m is None or i is None:
                continue
            pairs.append((m, i))
            if tone == 2:
                rising.append(m > 0)
            elif tone == 4:
                falling.append(m < 0)
    pairs = np.array(pairs)
    return {"finals": len(pairs),
            "slope_correlation": corr(pairs[:, 0], pairs[:, 1]) if len(pairs) else None,
            "tone2_rising": share(rising), "tone2_finals": len(rising),
            "tone4_falling": share(falling), "tone4_finals": len(falling),
            "tracking_rms_semitones": float(np.sqrt(np.mean(np.square(err)))) if err else None}


def _short(pinyin, syllables=18):
    words = pinyin.split()
    return " ".join(words[:syllables]) + (" ..." if len(words) > syllables else "")


def _plot_one(ax, r, title):
    t = np.arange(len(r["f0"])) * contract.FRAME_MS / 1000.0
    voiced = r["f0"] > 0
    ax.plot(t, np.where(voiced, r["f0"], np.nan), ".", ms=3, label="rendered (tracked F0)")
    start = 0
    for d, tone in zip(r["durs"], r["tones"]):
        if tone > 0:
            seg = slice(start, start + d)
            ax.plot(t[seg], r["intended"][seg], "-", color="C1", lw=1.5)
            ax.text(t[start], 330, str(tone), fontsize=7)
        start += d
    ax.plot([], [], "-", color="C1", label="intended contour (finals)")
    ax.set_ylim(140, 345)
    ax.set_ylabel("Hz")
    ax.set_title(title, fontsize=9)


def plots(out_dir, examples):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, axes = plt.subplots(len(examples), 1, figsize=(11, 2.6 * len(examples)))
    for ax, (text, model_r, _) in zip(np.atleast_1d(axes), examples):
        _plot_one(ax, model_r, f"{text}   (tone digits above the finals)")
    np.atleast_1d(axes)[0].legend(fontsize=7, loc="lower left")
    np.atleast_1d(axes)[-1].set_xlabel("s")
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, "pitch_examples.png"), dpi=90)
    plt.close(fig)

    text, model_r, flat_r = examples[0]
    fig, axes = plt.subplots(2, 1, figsize=(11, 5.2))
    _plot_one(axes[0], model_r, f"intonation model: {text}")
    _plot_one(axes[1], flat_r, "flat tone templates, same text")
    axes[0].legend(fontsize=7, loc="lower left")
    axes[1].set_xlabel("s")
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, "flat_vs_model.png"), dpi=90)
    plt.close(fig)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--front", required=True)
    ap.add_argument("--conf", required=True)
    ap.add_argument("--phones-tsv", required=True)
    ap.add_argument("--sentences", default=os.path.join(HERE, "report", "sentences.txt"))
    ap.add_argument("--prose")
    ap.add_argument("--count", type=int, default=200)
    ap.add_argument("--out", default=os.path.join(HERE, "report", "diphone"))
    args = ap.parse_args()
    if not diphone_teacher.available():
        raise SystemExit("mbrola or the cn1 voice is missing: run "
                         "tools/voice/setup_diphone_teacher.sh (as root)")
    os.makedirs(args.out, exist_ok=True)
    inv = Inventory(args.phones_tsv, {})
    model, flat = diphone_teacher.Teacher(), diphone_teacher.Teacher(flat=True)

    with open(args.sentences, encoding="utf-8") as f:
        texts = [line.rstrip("\n").split("\t")[-1] for line in f if line.strip()]
    # Plot titles show the pinyin: the plots need no CJK font.
    examples = [(_short(py), render(model, inv, t, p), render(flat, inv, t, p))
                for t, p, py in front_phones(args.front, args.conf, texts)]
    plots(args.out, examples[:3])

    texts = texts if not args.prose else \
        [s.strip() for s in open(args.prose, encoding="utf-8") if s.strip()][:args.count]
    results = {"model": [], "flat": []}
    failed = 0
    for t, p, _ in front_phones(args.front, args.conf, texts):
        try:
            pair = render(model, inv, t, p), render(flat, inv, t, p)
        except (ValueError, KeyError, RuntimeError):
            failed += 1
            continue
        results["model"].append(pair[0])
        results["flat"].append(pair[1])
    report = {name: measures(r) for name, r in results.items()}
    report["utterances"] = len(results["model"])
    report["failed"] = failed
    with open(os.path.join(args.out, "measures.json"), "w") as f:
        json.dump(report, f, indent=1)
    print(json.dumps(report, indent=1))


if __name__ == "__main__":
    main()
