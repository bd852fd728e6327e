"""Trains the acoustic model on DATA/train.npz for a time budget.

  python3 -m tools.voice.train_acoustic --data DIR --out DIR [--minutes M] [--steps S]
                                        [--threads 1] [--export-every MIN]

Keeps DIR/acoustic.pt (latest checkpoint, resumed if present) and, every
--export-every minutes and at the end, DIR/fastspeech2.onnx.
"""
import argparse
import os
import time

import numpy as np
import torch

from . import export
from .contract import MEL_BINS
from .dataset import Corpus, batches_by_frames, pitch_target
from .models import FastSpeech2
from .schedule import decay


def make_batch(corpus, idx, stats):
    utts = [corpus.utt(k) for k in idx]
    n = max(len(u["ids"]) for u in utts)
    t = max(len(u["mel"]) for u in utts)
    ids = torch.zeros(len(utts), n, dtype=torch.long)
    durs = torch.zeros(len(utts), n, dtype=torch.long)
    mel = torch.zeros(len(utts), t, MEL_BINS)
    pitch = torch.zeros(len(utts), t)
    for b, u in enumerate(utts):
        ids[b, :len(u["ids"])] = torch.from_numpy(u["ids"])
        durs[b, :len(u["durs"])] = torch.from_numpy(u["durs"])
        mel[b, :len(u["mel"])] = torch.from_numpy(u["mel"])
        pitch[b, :len(u["f0"])] = torch.from_numpy(pitch_target(u["f0"], stats))
    return ids, durs, mel, pitch


def losses(model, batch):
    ids, durs, mel, pitch = batch
    pred, log_dur, pitch_pred, frame_mask = model(ids, durs, pitch)
    keep = (~frame_mask).float()
    frames = keep.sum()
    mel_l1 = ((pred - mel).abs().mean(-1) * keep).sum() / frames
    pitch_l2 = (((pitch_pred - pitch) ** 2) * keep).sum() / frames
    phone_keep = (ids != 0).float()
    dur_l2 = (((log_dur - torch.log(durs.float() + 1)) ** 2) * phone_keep).sum() \
        / phone_keep.sum()
    return mel_l1, dur_l2, pitch_l2


def evaluate(model, corpus, stats, limit=50):
    model.eval()
    total = [0.0, 0.0, 0.0]
    count = 0
    with torch.no_grad():
        for k in range(0, min(limit, len(corpus)), 10):
            batch = make_batch(corpus, range(k, min(k + 10, len(corpus), limit)), stats)
            for i, v in enumerate(losses(model, batch)):
                total[i] += float(v)
            count += 1
    model.train()
    return [v / max(count, 1) for v in total]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--data", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--minutes", type=float, default=60)
    ap.add_argument("--steps", type=int, default=0)
    ap.add_argument("--threads", type=int, default=1)
    ap.add_argument("--max-frames", type=int, default=6000)
    ap.add_argument("--lr", type=float, default=1e-3)
    ap.add_argument("--warmup", type=int, default=150)
    ap.add_argument("--export-every", type=float, default=10)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--final-lr", type=float, default=0.1,
                    help="the learning rate falls linearly over this run's "
                    "budget (minutes or steps) to this fraction")
    args = ap.parse_args()
    torch.set_num_threads(args.threads)
    torch.manual_seed(args.seed)
    rng = np.random.default_rng(args.seed)
    os.makedirs(args.out, exist_ok=True)
    train = Corpus(os.path.join(args.data, "train.npz"))
    test = Corpus(os.path.join(args.data, "test.npz"))
    stats = train.pitch_stats()
    ckpt_path = os.path.join(args.out, "acoustic.pt")
    model = FastSpeech2(pitch_mean=stats[0], pitch_std=stats[1])
    opt = torch.optim.AdamW(model.parameters(), lr=args.lr, betas=(0.9, 0.98),
                            weight_decay=1e-6)
    step = 0
    spent = 0.0
    if os.path.exists(ckpt_path):
        ck = torch.load(ckpt_path)
        model.load_state_dict(ck["model"])
        opt.load_state_dict(ck["opt"])
        step, spent = ck["step"], ck.get("seconds", 0.0)
        print(f"resumed at step {step}", flush=True)
    params = sum(p.numel() for p in model.parameters())
    print(f"acoustic model: {params} parameters, {len(train)} utterances, "
          f"pitch stats {stats}", flush=True)
    lengths = [int(train.mel_off[k + 1] - train.mel_off[k]) for k in range(len(train))]
    first_step = step
    start = time.time()
    last_export = start
    last_log = start
    done = False
    run_loss = np.zeros(3)
    n_loss = 0

    def save_and_export():
        ck = {"model": model.state_dict(), "opt": opt.state_dict(), "step": step,
              "seconds": spent + time.time() - start, "stats": stats}
        torch.save(ck, ckpt_path + ".tmp")
        os.replace(ckpt_path + ".tmp", ckpt_path)
        export.export_acoustic(model, os.path.join(args.out, "fastspeech2.onnx"))
        model.train()

    while not done:
        for idx in batches_by_frames(lengths, args.max_frames, rng):
            lr = args.lr * min((step + 1) / args.warmup, (4000 / (step + 1)) ** 0.5, 1.0)
            lr *= decay(args, step - first_step, time.time() - start)
            for g in opt.param_groups:
                g["lr"] = lr
            mel_l1, dur_l2, pitch_l2 = losses(model, make_batch(train, idx, stats))
            loss = mel_l1 + dur_l2 + 0.5 * pitch_l2
            opt.zero_grad()
            loss.backward()
            torch.nn.utils.clip_grad_norm_(model.parameters(), 1.0)
            opt.step()
            step += 1
            run_loss += [float(mel_l1), float(dur_l2), float(pitch_l2)]
            n_loss += 1
            now = time.time()
            if now - last_log > 60:
                ev = evaluate(model, test, stats)
                tr = run_loss / n_loss
                print(f"step {step} min {(spent + now - start) / 60:.1f} lr {lr:.2e} "
                      f"train mel {tr[0]:.3f} dur {tr[1]:.3f} pitch {tr[2]:.3f} | "
                      f"test mel {ev[0]:.3f} dur {ev[1]:.3f} pitch {ev[2]:.3f}",
                      flush=True)
                run_loss[:] = 0
                n_loss = 0
                last_log = now
            if now - last_export > args.export_every * 60:
                save_and_export()
                last_export = time.time()
            if (args.steps and step >= args.steps) or \
                    (not args.steps and now - start > args.minutes * 60):
                done = True
                break
    save_and_export()
    print(f"finished at step {step}, {(spent + time.time() - start) / 60:.1f} min",
          flush=True)


if __name__ == "__main__":
    main()
