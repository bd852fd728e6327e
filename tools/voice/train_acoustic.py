"""Trains the acoustic model on DATA/train.npz for a time budget.

  python3 -m tools.voice.train_acoustic --data DIR --out DIR [--minutes M] [--steps S]
                                        [--threads 1] [--export-every MIN]
                                        [--pitch-layers N] [--only-pitch]

Keeps DIR/acoustic.pt (latest checkpoint, resumed if present) and, every
--export-every minutes and at the end, DIR/fastspeech2.onnx.
"""
import argparse
import os

import torch

from . import export, training
from .acoustic_model import FastSpeech2
from .contract import MEL_BINS
from .dataset import batches_by_frames, pitch_target


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


def pitch_loss(model, batch):
    """The pitch term alone, the rest of the model fixed and in its
    inference mode (no dropout in the features the predictor reads)."""
    ids, durs, _, pitch = batch
    model.eval()
    with torch.no_grad():
        _, _, e, frame_mask = model.expand(ids, durs)
    model.pitch.train()
    pitch_pred = model.pitch(e, frame_mask)
    keep = (~frame_mask).float()
    return (((pitch_pred - pitch) ** 2) * keep).sum() / keep.sum()


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
    training.add_arguments(ap, lr=1e-3)
    ap.add_argument("--max-frames", type=int, default=6000)
    ap.add_argument("--warmup", type=int, default=150)
    ap.add_argument("--pitch-layers", type=int, default=2,
                    help="convolutions in the pitch predictor")
    ap.add_argument("--only-pitch", action="store_true",
                    help="train the pitch predictor alone, the rest as loaded")
    args = ap.parse_args()
    rng, train, test = training.start(args)
    stats = train.pitch_stats()
    model = FastSpeech2(pitch_mean=stats[0], pitch_std=stats[1],
                        pitch_layers=args.pitch_layers)
    trained = model.pitch if args.only_pitch else model
    opt = torch.optim.AdamW(trained.parameters(), lr=args.lr, betas=(0.9, 0.98),
                            weight_decay=1e-6)

    def same_shape(ck):
        if ck.get("pitch_layers", 2) != args.pitch_layers:
            raise SystemExit(f"train_acoustic: the checkpoint's pitch predictor has "
                             f"{ck.get('pitch_layers', 2)} layers, not {args.pitch_layers}")

    ckpt = training.Checkpoint(os.path.join(args.out, "acoustic.pt"), model, opt,
                               {"stats": stats, "pitch_layers": args.pitch_layers},
                               check=same_shape, init=args.init)
    # A resumed or initialised model keeps the pitch scale it learnt: its
    # targets are normalised as before even where the corpus has changed.
    stats = tuple(float(v) for v in model.pitch_stats)
    ckpt.extra["stats"] = stats
    params = sum(p.numel() for p in model.parameters())
    print(f"acoustic model: {params} parameters, {len(train)} utterances, "
          f"pitch stats {stats}", flush=True)
    lengths = [int(train.mel_off[k + 1] - train.mel_off[k]) for k in range(len(train))]

    def batches():
        while True:
            for idx in batches_by_frames(lengths, args.max_frames, rng):
                yield make_batch(train, idx, stats)

    def step_losses(batch):
        if args.only_pitch:
            pitch_l2 = pitch_loss(model, batch)
            return pitch_l2, (0.0, 0.0, pitch_l2)
        mel_l1, dur_l2, pitch_l2 = losses(model, batch)
        return mel_l1 + dur_l2 + 0.5 * pitch_l2, (mel_l1, dur_l2, pitch_l2)

    def report(lr, tr):
        ev = evaluate(model, test, stats)
        return (f"lr {lr:.2e} train mel {tr[0]:.3f} dur {tr[1]:.3f} pitch {tr[2]:.3f} | "
                f"test mel {ev[0]:.3f} dur {ev[1]:.3f} pitch {ev[2]:.3f}")

    training.train(
        args, ckpt, batches(), step_losses,
        warmup=lambda step: min((step + 1) / args.warmup, (4000 / (step + 1)) ** 0.5, 1.0),
        clip=1.0, report=report,
        export=lambda: export.export_acoustic(model, os.path.join(args.out, "fastspeech2.onnx")))


if __name__ == "__main__":
    main()
