"""Stage 1 of a recorded voice: takes in, training features out.

  python3 -m tools.voice.prepare_recorded --corpus ../shared/data/voice-cmn
      --front BIN --conf TOOL_CONF --phones-tsv TSV --phone2id DICT --out DIR
      [--jobs 2] [--heldout-every 32]

Reads the corpus's words.tsv (`file`, `text`: one word read alone per
file), and for every take:
  1. the front end gives its phones, pinyin and ids (a word the front end
     cannot read is dropped; pattern entries such as 一_也_ are dropped);
  2. sox decodes it at the contract's rate; a high-pass takes the rumble
     out; take_quality.assess drops cut, noisy and implausible takes and
     finds the word, which is kept with 30 ms before it and 60 ms after,
     faded, then TAIL_S of silence that the pause phone appended to its
     phones stands for (as the front end ends a sentence);
  3. it is levelled (speech at -20 dBFS RMS) and its log-mel and F0 are
     computed (F0 by praat, whose path search keeps her octave where a
     frame-by-frame tracker jumps).
The held-out words (every take whose text hashes to 0 modulo
--heldout-every, about 1 in 32) are never trained on.

Writes DIR/train.npz and DIR/test.npz in the corpus format
(build_corpus.save); their phone durations are a placeholder (the frames
spread evenly over the phones) until the alignment stage replaces them.
DIR/dropped.tsv lists every take left out and why; DIR/summary.json the
counts, hours and CPU time. A finished stage is not run again.
"""
import argparse
import csv
import hashlib
import json
import multiprocessing
import os
import resource
import subprocess
import sys
import time

import numpy as np

from . import build_corpus, contract, features, praat_track, take_quality
from .phoneset import Inventory

LEAD_S = 0.03
TRAIL_S = 0.06
FADE_S = 0.01
TAIL_S = 0.15
F0_RANGE = (80.0, 500.0)


def decode(path):
    """Mono float samples of an audio file at the contract's rate."""
    out = subprocess.run(["sox", path, "-t", "raw", "-e", "floating-point", "-b", "32",
                          "-c", "1", "-r", str(contract.SAMPLE_RATE), "-"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if out.returncode != 0:
        raise RuntimeError(out.stderr.decode("utf-8", "replace").strip())
    return np.frombuffer(out.stdout, dtype=np.float32)


def heldout(text, every):
    return int(hashlib.sha1(text.encode("utf-8")).hexdigest(), 16) % every == 0


def cut(audio, span, rate=contract.SAMPLE_RATE):
    """The word with its margins, faded at both ends, then TAIL_S of
    silence; a whole number of frames."""
    a = max(0, span[0] - int(LEAD_S * rate))
    b = min(len(audio), span[1] + int(TRAIL_S * rate))
    y = np.array(audio[a:b], dtype=np.float32)
    fade = min(int(FADE_S * rate), len(y) // 2)
    ramp = 0.5 - 0.5 * np.cos(np.pi * np.arange(fade) / max(fade, 1))
    y[:fade] *= ramp
    y[len(y) - fade:] *= ramp[::-1]
    y = np.concatenate([y, np.zeros(int(TAIL_S * rate), dtype=np.float32)])
    frames = len(y) // contract.HOP
    return y[:frames * contract.HOP]


def even_durations(n_phones, frames, tail_frames):
    """Placeholder: the pause phone gets the silence, the rest share the
    word's frames evenly."""
    word = frames - tail_frames
    bounds = np.round(np.linspace(0, word, n_phones)).astype(np.int64)
    return np.diff(bounds).tolist() + [tail_frames]


def process(job):
    """(record, None) or (None, reason) for one take."""
    path, item = job
    try:
        raw = decode(path)
    except RuntimeError as err:
        return None, f"undecodable: {err}"
    audio = take_quality.remove_rumble(raw, contract.SAMPLE_RATE)
    syllables = len(item["pinyin"])
    reason, span = take_quality.assess(audio, contract.SAMPLE_RATE, syllables)
    if reason:
        return None, reason
    y = take_quality.level(cut(audio, span), contract.SAMPLE_RATE)
    frames = len(y) // contract.HOP
    tail = int(round(TAIL_S * contract.SAMPLE_RATE / contract.HOP))
    durs = even_durations(len(item["ids"]), frames, tail)
    if min(durs) < 1:
        return None, "too short"
    return dict(item, durs=durs, mel=features.log_mel(y), f0=None,
                audio=np.clip(np.round(y * 32767), -32768, 32767).astype(np.int16),
                file=os.path.basename(path)), None


def read_list(corpus):
    with open(os.path.join(corpus, "words.tsv"), encoding="utf-8") as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    return [(os.path.join(corpus, r["file"]), r["text"]) for r in rows]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--corpus", required=True)
    build_corpus.add_front_arguments(ap)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--heldout-every", type=int, default=32)
    args = ap.parse_args()
    summary_path = os.path.join(args.out, "summary.json")
    if os.path.exists(summary_path):
        print(f"prepared already: {args.out}", file=sys.stderr)
        return
    if args.heldout_every < 2:
        sys.exit("--heldout-every must be at least 2")
    os.makedirs(args.out, exist_ok=True)
    started = time.process_time()
    inv = Inventory(args.phones_tsv, args.phone2id)
    pause = inv.ids(["sp"])[0]
    takes = read_list(args.corpus)
    dropped = [(p, t, "pattern entry") for p, t in takes if "_" in t]
    takes = [(p, t) for p, t in takes if "_" not in t]
    items = {it["text"]: it for it in
             build_corpus.front_items(args, [t for _, t in takes], args.out)}
    jobs = []
    for path, text in takes:
        item = items.get(text)
        if item is None:
            dropped.append((path, text, "front end"))
            continue
        jobs.append((path, dict(item, phones=item["phones"] + ["sp"],
                                ids=item["ids"] + [pause])))
    kept = {"train": [], "test": []}
    pool = multiprocessing.Pool(args.jobs)
    for (path, item), (record, reason) in zip(jobs, pool.imap(process, jobs, 16)):
        if record is None:
            dropped.append((path, item["text"], reason))
        else:
            kept["test" if heldout(item["text"], args.heldout_every)
                 else "train"].append(record)
    pool.close()
    pool.join()
    if not kept["train"] or not kept["test"]:
        sys.exit(f"{len(kept['train'])} training and {len(kept['test'])} held-out takes: "
                 "a voice needs both (a smaller --heldout-every gives more held-out ones)")
    for records in kept.values():
        tracks = praat_track.f0_tracks([r["audio"].astype(np.float32) / 32768.0
                                        for r in records], F0_RANGE, args.jobs)
        for r, f0 in zip(records, tracks):
            r["f0"] = f0
    for part, records in kept.items():
        build_corpus.save(os.path.join(args.out, f"{part}.npz"), records)
        with open(os.path.join(args.out, f"{part}_files.txt"), "w", encoding="utf-8") as f:
            f.writelines(r["file"] + "\n" for r in records)
    with open(os.path.join(args.out, "dropped.tsv"), "w", encoding="utf-8") as f:
        f.write("file\ttext\treason\n")
        f.writelines(f"{os.path.basename(p)}\t{t}\t{r}\n" for p, t, r in dropped)
    reasons = {}
    for _, _, r in dropped:
        reasons[r.split(":")[0]] = reasons.get(r.split(":")[0], 0) + 1
    summary = {"takes": len(takes) + sum(1 for d in dropped if d[2] == "pattern entry"),
               "train": len(kept["train"]), "heldout": len(kept["test"]),
               "dropped": reasons,
               "hours": sum(len(r["audio"]) for rs in kept.values() for r in rs)
               / contract.SAMPLE_RATE / 3600,
               "cpu_s": round(time.process_time() - started
                              + resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime, 1)}
    with open(summary_path, "w", encoding="utf-8") as f:
        json.dump(summary, f, indent=1, ensure_ascii=False)
    print(json.dumps(summary, ensure_ascii=False), file=sys.stderr)


if __name__ == "__main__":
    main()
