"""Stage 2 of a recorded voice: phone durations for every take.

  python3 -m tools.voice.align_recorded --prepared DIR --out DIR
      [--iterations 8] [--sheets 30]

Trains hmm_align's model on the training takes of the prepare stage (the
held-out takes are aligned with it, never trained on), and writes
DIR/train.npz and DIR/test.npz with the durations it finds. A take is
reported in DIR/failures.tsv and left out when
  - its path fits far worse than the others (mean log-likelihood per frame
    more than FIT_MADS median absolute deviations below the median),
  - a final gets fewer than MIN_FINAL frames, or the pause fewer than
    MIN_PAUSE (the silence every take ends in),
  - it is one syllable whose F0 does not carry the tone its pinyin says
    (tone_check: a polyphone read in its other reading).
DIR/summary.json: the counts, the fit, how the boundary between a voiceless
initial and its final agrees with the voicing onset the F0 track finds
(an independent check), and CPU time. --sheets N draws the spectrograms of
N held-out takes with their boundaries (DIR/sheets/), to check by eye.
"""
import argparse
import json
import os
import sys
import time

import numpy as np

from . import build_corpus, contract, hmm_align, prepare_recorded, tone_check
from .dataset import Corpus

FIT_MADS = 5.0
MIN_FINAL = 3
MIN_PAUSE = 6
# The faded room tone prepare_recorded keeps before the word, in frames:
# the first phone holds it, and it fits that phone badly where the phone is
# a vowel, so the fit is judged without it.
LEAD_FRAMES = int(round(prepare_recorded.LEAD_S * 1000 / contract.FRAME_MS))
VOICELESS = {"p", "t", "k", "f", "h", "s", "sh", "x", "c", "ch", "q", "z", "zh", "j"}


def load(path):
    corpus = Corpus(path)
    return corpus, [corpus.phones[k].split() for k in range(len(corpus))]


def initials_of(phone_lists):
    """Initials are the phones without a tone digit, the pause aside."""
    return {p for ph in phone_lists for p in ph if p[-1] not in "12345" and p != "sp"}


def records(corpus, phones, durs_list, keep):
    out = []
    for k in range(len(corpus)):
        if k not in keep:
            continue
        m0, m1 = corpus.mel_off[k], corpus.mel_off[k + 1]
        out.append({"text": corpus.text[k], "phones": phones[k],
                    "ids": corpus.utt(k)["ids"].tolist(), "durs": durs_list[k],
                    "mel": corpus.mel[m0:m1], "f0": corpus.f0[m0:m1],
                    "audio": corpus.audio[m0 * contract.HOP:m1 * contract.HOP]})
    return out


def check(phones, durs, f0, median_hz):
    """Reason a take's alignment cannot be trained on, or None."""
    for p, d in zip(phones, durs):
        if p == "sp" and d < MIN_PAUSE:
            return "pause too short"
        if p[-1] in "12345" and d < MIN_FINAL:
            return "final too short"
    finals = [(k, p) for k, p in enumerate(phones) if p[-1] in "12345"]
    if len(finals) == 1:
        k, p = finals[0]
        start = sum(durs[:k])
        if tone_check.fits(f0[start:start + durs[k]], int(p[-1]), median_hz) is False:
            return f"tone {p[-1]} not heard"
    return None


def voicing_agreement(phones, durs, f0):
    """[(aligned boundary - voicing onset) in frames] for every voiceless
    initial whose final starts voicing within 10 frames."""
    out = []
    start = 0
    for k, (p, d) in enumerate(zip(phones, durs)):
        if p in VOICELESS and k + 1 < len(phones):
            boundary = start + d
            lo, hi = max(0, boundary - 10), min(len(f0), boundary + 10)
            voiced = np.nonzero(f0[lo:hi] > 0)[0]
            if len(voiced) and f0[lo] == 0:
                out.append(boundary - (lo + voiced[0]))
        start += d
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--prepared", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--iterations", type=int, default=8)
    ap.add_argument("--sheets", type=int, default=0)
    args = ap.parse_args()
    summary_path = os.path.join(args.out, "summary.json")
    if os.path.exists(summary_path):
        print(f"aligned already: {args.out}", file=sys.stderr)
        return
    os.makedirs(args.out, exist_ok=True)
    started = time.process_time()
    train, train_phones = load(os.path.join(args.prepared, "train.npz"))
    test, test_phones = load(os.path.join(args.prepared, "test.npz"))
    table = hmm_align.StateTable(initials_of(train_phones + test_phones))
    mean = train.mel.astype(np.float32).mean(0)
    std = train.mel.astype(np.float32).std(0) + 1e-3

    def utts(corpus, phone_lists):
        out = []
        for k, phones in enumerate(phone_lists):
            ids, per_phone = table.states(phones)
            mel = (corpus.utt(k)["mel"] - mean) / std
            out.append(((mel, ids), per_phone))
        return out

    train_u, test_u = utts(train, train_phones), utts(test, test_phones)
    # The fit is judged on the word's frames: the silence every take ends
    # in fits any take alike, the room tone before it none.
    speech = np.ones(table.count, bool)
    speech[table.first["sp"]] = False
    means, log_vars, paths, scores = hmm_align.train(
        [u for u, _ in train_u], table.count, args.iterations, scored=speech,
        skip=LEAD_FRAMES,
        report=lambda it, s: print(f"iteration {it}: {s:.2f} per frame", flush=True))
    test_paths, test_scores = [], []
    for (frames, ids), _ in test_u:
        ll = hmm_align.log_likelihood(frames, means[ids], log_vars[ids])
        path = hmm_align.best_path(ll)
        test_paths.append(path)
        test_scores.append(hmm_align.path_score(ll, path, speech[ids], LEAD_FRAMES))
    median = float(np.median(scores))
    mad = float(np.median(np.abs(scores - median)))
    median_hz = float(np.exp(np.median(np.log(train.f0[train.f0 > 0]))))
    failures, summary = [], {"iterations": args.iterations, "fit_median": median,
                             "speaker_median_f0_hz": round(median_hz, 1)}
    offsets = []
    for part, corpus, phone_lists, u, ps, sc in (
            ("train", train, train_phones, train_u, paths, scores),
            ("test", test, test_phones, test_u, test_paths, test_scores)):
        durs_list, keep = [], set()
        for k, (phones, ((_, _), per_phone), path) in enumerate(zip(phone_lists, u, ps)):
            durs = hmm_align.phone_durations(path, per_phone)
            durs_list.append(durs)
            f0 = corpus.f0[corpus.mel_off[k]:corpus.mel_off[k + 1]]
            reason = ("poor fit" if sc[k] < median - FIT_MADS * mad
                      else check(phones, durs, f0, median_hz))
            if reason:
                failures.append((part, corpus.text[k], " ".join(phones), reason))
            else:
                keep.add(k)
                offsets += voicing_agreement(phones, durs, f0)
        build_corpus.save(os.path.join(args.out, f"{part}.npz"),
                          records(corpus, phone_lists, durs_list, keep))
        summary[part] = len(keep)
        if part == "test" and args.sheets:
            from .align_sheets import draw
            draw(os.path.join(args.out, "sheets"), corpus, phone_lists, durs_list,
                 sorted(keep)[:args.sheets])
    with open(os.path.join(args.out, "failures.tsv"), "w", encoding="utf-8") as f:
        f.write("part\ttext\tphones\treason\n")
        f.writelines("\t".join(x) + "\n" for x in failures)
    reasons = {}
    for x in failures:
        reasons[x[3]] = reasons.get(x[3], 0) + 1
    off_ms = np.abs(np.array(offsets)) * contract.FRAME_MS
    summary.update({
        "failures": reasons,
        "voicing_onset_boundaries": len(offsets),
        "voicing_onset_median_abs_ms": float(np.median(off_ms)) if len(off_ms) else None,
        "voicing_onset_within_25ms": float((off_ms <= 25).mean()) if len(off_ms) else None,
        "cpu_s": round(time.process_time() - started, 1)})
    with open(summary_path, "w", encoding="utf-8") as f:
        json.dump(summary, f, indent=1, ensure_ascii=False)
    print(json.dumps(summary, ensure_ascii=False), file=sys.stderr)


if __name__ == "__main__":
    main()
