"""Pitch and harmonicity per voice frame, tracked by Debian's praat
(praat/pitch_hnr.praat: autocorrelation pitch, cross-correlation
harmonicity), for many utterances in one praat run."""
import os
import subprocess
import tempfile

import numpy as np
from scipy.io import wavfile

from . import contract

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "praat", "pitch_hnr.praat")


def track(audio_by_name, f0_range, sr=contract.SAMPLE_RATE):
    """{name: (f0 Hz [T], hnr dB [T])} at the frames of `features` (frame t
    at sample HOP t, T = len // HOP); F0 0 where unvoiced, HNR -200 where
    praat finds silence."""
    out = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name, audio in audio_by_name.items():
            wavfile.write(os.path.join(tmp, f"{name}.wav"), sr,
                          np.asarray(audio, dtype=np.float32))
        subprocess.run(["praat", "--run", SCRIPT, tmp, str(contract.HOP / sr),
                        str(f0_range[0]), str(f0_range[1])], check=True,
                       stdout=subprocess.DEVNULL)
        for name, audio in audio_by_name.items():
            frames = len(audio) // contract.HOP
            values = np.loadtxt(os.path.join(tmp, f"{name}.pitch"), ndmin=2)
            values = values[:frames]
            if len(values) < frames:
                pad = np.tile([[0.0, -200.0]], (frames - len(values), 1))
                values = np.concatenate([values.reshape(-1, 2), pad])
            out[name] = (values[:, 0], values[:, 1])
    return out


def _f0_chunk(job):
    audios, f0_range = job
    tracks = track({str(k): a for k, a in enumerate(audios)}, f0_range)
    return [tracks[str(k)][0].astype(np.float32) for k in range(len(audios))]


def f0_tracks(audios, f0_range, jobs=1, chunk=200):
    """Praat's F0 (Hz, 0 unvoiced) at the contract's frames of every audio
    in `audios`, `chunk` of them to a praat run, `jobs` runs at a time."""
    batches = [(audios[k:k + chunk], f0_range) for k in range(0, len(audios), chunk)]
    if jobs > 1 and len(batches) > 1:
        import multiprocessing
        with multiprocessing.Pool(jobs) as pool:
            parts = pool.map(_f0_chunk, batches)
    else:
        parts = [_f0_chunk(b) for b in batches]
    return [f for part in parts for f in part]
