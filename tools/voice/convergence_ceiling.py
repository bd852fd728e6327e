"""How low the source-filter vocoder's spectral convergence can go at best.

  python3 -m tools.voice.convergence_ceiling --data DIR [--count 50] [--widths 1,5,9,11]

The vocoder shapes a pulse train that follows F0 with a gain per STFT bin.
Here the gain is not predicted but computed from the teacher's own audio,
the best a gain of its kind can do: for each frame and bin, the least-squares
gain over `width` neighbouring bins (the vocoder's own moving average),
  real (zero phase, as the vocoder's):  sqrt(sum |T|^2 / sum |S|^2)
  complex (with a phase per bin):       sum T conj(S) / sum |S|^2
(S: the source's STFT with the teacher's F0 as tracked, T: the teacher's),
resynthesised with the vocoder's inverse STFT and scored like evaluate.py
(magnitude STFT, n_fft 2048, window 1200, hop 300). Width 1 is a gain free
bin by bin; wider ones are as smooth as the gain the vocoder may use at
synthesis without moving the pitch heard.
"""
import argparse
import os

import numpy as np
import torch
import torch.nn.functional as F

from .contract import HOP
from .dataset import Corpus, source_log_f0
from .features import spectral_convergence
from .vocoders import SourceFilterVocoder


def analyse(voc, padded):
    """Complex STFT [frames, bins] of a [1, 1, L + n_fft] signal."""
    spectrum = F.conv1d(padded, voc.analysis(), stride=HOP)[0].T.numpy()
    return spectrum[:, :voc.bins] + 1j * spectrum[:, voc.bins:]


def resynthesise(voc, spectrum, frames):
    """Audio of 300 frames samples from a complex STFT [frames, bins]."""
    stacked = np.concatenate([spectrum.real, spectrum.imag], axis=1).astype(np.float32)
    audio = F.conv_transpose1d(torch.from_numpy(stacked).T.unsqueeze(0), voc.basis, stride=HOP)
    start = voc.n_fft // 2
    return audio[0, 0, start:start + HOP * frames].numpy()


def smooth_bins(x, width):
    """Sum over `width` neighbouring bins, frame by frame."""
    if width <= 1:
        return x
    kernel = np.ones(width)
    return np.apply_along_axis(lambda row: np.convolve(row, kernel, mode="same"), 1, x)


def best_gain(source, teacher, width, with_phase):
    """Least-squares gain per frame and bin (see the module comment)."""
    power = smooth_bins(np.abs(source) ** 2, width) + 1e-12
    if with_phase:
        cross = teacher * np.conj(source)
        return (smooth_bins(cross.real, width) + 1j * smooth_bins(cross.imag, width)) / power
    return np.sqrt(smooth_bins(np.abs(teacher) ** 2, width) / power)


def teacher_f0_hz(voc, f0):
    """The teacher's F0 (Hz) as it drives the source (`source_log_f0`)."""
    return np.exp(source_log_f0(f0, voc.log_f0_centre))


def source_stft(voc, f0_hz, frames):
    """STFT of the vocoder's pulse train for per-frame F0 (Hz)."""
    with torch.no_grad():
        src, _ = voc.source(torch.from_numpy(f0_hz.astype(np.float32)).unsqueeze(0))
    return analyse(voc, src)[:frames]


def teacher_stft(voc, audio, frames):
    half = voc.n_fft // 2
    padded = np.pad(audio[:HOP * frames].astype(np.float32), (half, half))
    return analyse(voc, torch.from_numpy(padded)[None, None])[:frames]


def ceilings(voc, f0_hz, audio, widths, with_phase=None):
    """{(width, with_phase): spectral convergence} for one utterance, for
    both kinds of gain unless with_phase is given."""
    frames = len(f0_hz)
    source = source_stft(voc, f0_hz, frames)
    teacher = teacher_stft(voc, audio, frames)
    out = {}
    for width in widths:
        for phase in ((False, True) if with_phase is None else (with_phase,)):
            gain = best_gain(source, teacher, width, phase)
            out[(width, phase)] = spectral_convergence(
                resynthesise(voc, gain * source, frames), audio)
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--data", required=True)
    ap.add_argument("--count", type=int, default=50)
    ap.add_argument("--widths", default="1,5,9,11")
    args = ap.parse_args()
    torch.set_num_threads(1)
    widths = [int(w) for w in args.widths.split(",")]
    test = Corpus(os.path.join(args.data, "test.npz"))
    voc = SourceFilterVocoder().eval()
    scores = {}
    for k in range(min(args.count, len(test))):
        u = test.utt(k)
        audio = test.audio_of(k).astype(np.float32)
        for key, value in ceilings(voc, teacher_f0_hz(voc, u["f0"]), audio, widths).items():
            scores.setdefault(key, []).append(value)
    print("| gain smoothness (bins) | zero-phase gain | gain with phase |")
    print("|---|---|---|")
    for width in widths:
        print(f"| {width} | {np.mean(scores[(width, False)]):.3f} "
              f"| {np.mean(scores[(width, True)]):.3f} |")


if __name__ == "__main__":
    main()
