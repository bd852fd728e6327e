"""Trains the vocoder on teacher mels and audio of DATA/train.npz.

  python3 -m tools.voice.train_vocoder --data DIR --out DIR [--minutes M] [--steps S]
                                       [--threads 1] [--export-every MIN]

Random 48-frame segments; loss = multi-resolution STFT loss (spectral
convergence + log magnitude) + log-mel L1. Keeps DIR/vocoder.pt (resumed if
present) and exports DIR/hifigan.onnx periodically and at the end.
"""
import argparse
import os
import sys

import numpy as np
import torch

from . import export, features, training
from .contract import CLAMP, HOP, N_FFT, WIN
from .dataset import source_log_f0
from .vocoders import SourceFilterVocoder, Vocoder

RESOLUTIONS = [(512, 128, 512), (1024, 256, 1024), (2048, 512, 2048)]


class MelTransform(torch.nn.Module):
    """Torch version of features.log_mel (same window, filters and clamp)."""

    def __init__(self):
        super().__init__()
        self.register_buffer("window", torch.from_numpy(features.window()))
        self.register_buffer("fb", torch.from_numpy(features.mel_filterbank()))

    def forward(self, audio):
        spectrum = torch.stft(audio, N_FFT, HOP, window=self.window,
                          center=True, pad_mode="reflect", return_complex=True)
        mel = torch.matmul(self.fb, spectrum.abs())
        return torch.log10(torch.clamp(mel, min=CLAMP)).transpose(1, 2)


def stft_mag(x, n_fft, hop, win):
    w = torch.hann_window(win)
    s = torch.stft(x, n_fft, hop, win, window=w, center=True, return_complex=True)
    return torch.clamp(s.abs(), min=1e-7)


def spectral_convergence(pred, target):
    """||S_target - S_pred||_F / ||S_target||_F at the mel's own STFT."""
    m_p = stft_mag(pred, N_FFT, HOP, WIN)
    m_t = stft_mag(target, N_FFT, HOP, WIN)
    return torch.norm(m_t - m_p) / torch.norm(m_t)


def vocoder_loss(pred, target, mel_tf):
    sc = 0.0
    lm = 0.0
    for n_fft, hop, win in RESOLUTIONS:
        m_p = stft_mag(pred, n_fft, hop, win)
        m_t = stft_mag(target, n_fft, hop, win)
        sc = sc + torch.norm(m_t - m_p) / torch.norm(m_t)
        lm = lm + (torch.log(m_t) - torch.log(m_p)).abs().mean()
    mel_l1 = (mel_tf(pred) - mel_tf(target)).abs().mean()
    return sc / len(RESOLUTIONS), lm / len(RESOLUTIONS), mel_l1


def sample_batch(corpus, rng, batch, seg):
    """Random segments: (mel [B, seg, MEL_BINS], audio [B, HOP seg], log F0 [B, seg]
    with unvoiced frames interpolated, voiced mask [B, seg])."""
    mels, audios, f0s, voiced = [], [], [], []
    while len(mels) < batch:
        k = int(rng.integers(len(corpus)))
        m0, m1 = corpus.mel_off[k], corpus.mel_off[k + 1]
        if m1 - m0 < seg:
            continue
        s = int(rng.integers(m0, m1 - seg + 1))
        mels.append(corpus.mel[s:s + seg].astype(np.float32))
        audios.append(corpus.audio[s * HOP:(s + seg) * HOP].astype(np.float32) / 32768.0)
        # Interpolate over the whole utterance, then cut the segment.
        lf = source_log_f0(corpus.f0[m0:m1], 4.5)
        f0s.append(lf[s - m0:s - m0 + seg])
        voiced.append(corpus.f0[s:s + seg] > 0)
    return (torch.from_numpy(np.stack(mels)), torch.from_numpy(np.stack(audios)),
            torch.from_numpy(np.stack(f0s)), torch.from_numpy(np.stack(voiced)))


def main():
    ap = argparse.ArgumentParser()
    training.add_arguments(ap, lr=5e-4)
    ap.add_argument("--batch", type=int, default=8)
    ap.add_argument("--segment", type=int, default=48)
    ap.add_argument("--kind", choices=["source-filter", "istft"], default="source-filter",
                    help="source-filter: SourceFilterVocoder (F0 predicted from the "
                    "mel drives a pulse train, shaped in the STFT domain, plus a "
                    "residual); istft: Vocoder (predicted magnitude and phase only)")
    ap.add_argument("--teacher-f0", type=float, default=0.5,
                    help="share of steps that synthesise with the teacher's F0 "
                    "(source-filter kind); the others use the predicted F0")
    ap.add_argument("--f0-weight", type=float, default=10.0,
                    help="weight of the F0 head's L1 loss (log F0)")
    ap.add_argument("--noise", action="store_true",
                    help="source-filter kind with a voicing control and a noise "
                    "source (unvoiced frames are noise, not pulses)")
    ap.add_argument("--voicing-weight", type=float, default=1.0,
                    help="weight of the voicing's cross-entropy against the "
                    "teacher's voiced frames (--noise)")
    ap.add_argument("--unvoiced-noise-phase", action="store_true",
                    help="train with the residual taking the noise's phase in "
                    "unvoiced frames, as a voice that declares it is exported (--noise)")
    args = ap.parse_args()
    rng, train, test = training.start(args)
    model = SourceFilterVocoder(noise=args.noise) if args.kind == "source-filter" else Vocoder()
    if args.unvoiced_noise_phase:
        model.set_unvoiced_noise_phase(True)
    mel_tf = MelTransform()
    opt = torch.optim.AdamW(model.parameters(), lr=args.lr, betas=(0.8, 0.99))
    ckpt_path = os.path.join(args.out, "vocoder.pt")

    def same_kind(ck):
        if ck.get("kind", "istft") != args.kind:
            sys.exit(f"{ckpt_path} holds a {ck.get('kind', 'istft')} vocoder")
        if ck.get("noise", False) != args.noise:
            sys.exit(f"{ckpt_path} holds a vocoder {'with' if ck.get('noise') else 'without'} "
                     "a noise source: give --noise as its run did")

    ckpt = training.Checkpoint(ckpt_path, model, opt, {"kind": args.kind, "noise": args.noise},
                               check=same_kind, init=args.init)
    print(f"vocoder ({args.kind}): {sum(p.numel() for p in model.parameters())} parameters",
          flush=True)
    test_rng = np.random.default_rng(123)
    test_mel, test_audio, _, _ = sample_batch(test, test_rng, 16, args.segment)

    def batches():
        while True:
            yield sample_batch(train, rng, args.batch, args.segment)

    def step_losses(batch):
        mel, audio, log_f0, voiced = batch
        if args.kind == "source-filter":
            forced = torch.exp(log_f0) if rng.random() < args.teacher_f0 else None
            pred, pred_f0 = model(mel, forced)
            # Voiced frames count fully, interpolated (unvoiced) ones a fifth.
            weight = 0.2 + 0.8 * voiced.float()
            f0_l1 = ((pred_f0 - log_f0).abs() * weight).sum() / weight.sum()
        else:
            pred = model(mel)
            f0_l1 = torch.zeros(())
        sc, lm, ml = vocoder_loss(pred, audio, mel_tf)
        loss = sc + lm + ml + args.f0_weight * f0_l1
        if args.noise:
            v = torch.clamp(model.last_voicing, 1e-4, 1 - 1e-4)
            loss = loss + args.voicing_weight * torch.nn.functional.binary_cross_entropy(
                v, voiced.float())
        return loss, (sc, lm, ml, f0_l1)

    def report(lr, r):
        model.eval()
        with torch.no_grad():
            out = model(test_mel)
            out = out[0] if isinstance(out, tuple) else out
            test_sc = float(spectral_convergence(out, test_audio))
        model.train()
        return (f"train sc {r[0]:.3f} logmag {r[1]:.3f} mel {r[2]:.3f} logf0 {r[3]:.3f} | "
                f"test sc(2048) {test_sc:.3f}")

    training.train(
        args, ckpt, batches(), step_losses, warmup=lambda step: min((step + 1) / 200, 1.0),
        clip=5.0, report=report,
        export=lambda: export.export_vocoder(model, os.path.join(args.out, "hifigan.onnx")))


if __name__ == "__main__":
    main()
