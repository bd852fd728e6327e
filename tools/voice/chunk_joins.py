"""How continuous the tool's audio is where its vocoder chunks meet.

  python3 -m tools.voice.chunk_joins --tool BUILD/src --conf TOOL_CONF
      --prose TXT [--count 40] [--out FILE.json] [--f0-min 50 --f0-max 250]
      [--streamed]

tolvaren_tts vocodes 36-frame blocks separately (with 14 frames of context
on each side) and writes the blocks one after the other, so a join lies
every 36 x HOP samples. --streamed measures tolvaren_say instead, whose
library streams a first block of 36 frames and then blocks of 100 (the
same context), so the joins lie at frames 36, 136, 236, ... Each segment
(the speech between two of the tool's silences, which are exact zeros)
is vocoded as a stream of its own, so the layout starts again where a
silence ends. A vocoder that starts its source afresh in every
window restarts the phase of the voice's harmonics there. Two measures, at
every join inside voiced speech and, as the reference, at the middle of
every block (the same audio, no join):

* phase jump: the fundamental's phase just after the point against its
  phase just before, both read with the point as time origin over two
  periods of the local F0 (least squares fit of one sinusoid); a steady
  voice gives about 0, a restarted source anything in (-pi, pi];
* click ratio: energy of the sample-to-sample difference within 1 ms of
  the point over its mean within 10 ms (a step in the waveform raises it).

Reports the mean |phase jump| in radians, the share of points with
|jump| > pi/4 and the median click ratio, joins beside block middles.
"""
import argparse
import json
import os
import subprocess
import tempfile
import warnings

import numpy as np
from scipy.io import wavfile

from . import contract, features

BLOCK = 36


def phase_jump(x, p, f0_hz, sr):
    """Phase of the fundamental after sample p minus the phase before it,
    wrapped to (-pi, pi]; None when there are not two periods either side."""
    period = sr / f0_hz
    n = int(round(2 * period))
    if p - n < 0 or p + n > len(x):
        return None
    w = 2 * np.pi * f0_hz / sr

    def phase(seg, t):
        basis = np.stack([np.cos(w * t), np.sin(w * t), np.ones_like(t)], axis=1)
        a, b, _ = np.linalg.lstsq(basis, seg, rcond=None)[0]
        return np.arctan2(-b, a)  # a cos + b sin = r cos(w t + phi)

    before = phase(x[p - n:p], np.arange(-n, 0, dtype=np.float64))
    after = phase(x[p:p + n], np.arange(0, n, dtype=np.float64))
    return float(np.angle(np.exp(1j * (after - before))))


def click_ratio(x, p, sr):
    d = np.diff(x) ** 2
    near, wide = int(sr * 0.001), int(sr * 0.010)
    if p - wide < 0 or p + wide > len(d):
        return None
    base = d[p - wide:p + wide].mean()
    if base <= 0:
        return None
    return float(d[p - near:p + near].mean() / base)


# The streamed layout: the first block's frames, then every later one's.
STREAMED_BLOCKS = (BLOCK, 100)


def block_starts(frames, blocks=(BLOCK, BLOCK)):
    """(start, frames) of each block of a mel of `frames` frames."""
    first, block = blocks
    start, size = 0, first
    while start < frames:
        yield start, size
        start, size = start + size, block


def difference_from_whole(chunked, whole, hop=contract.HOP, blocks=(BLOCK, BLOCK),
                          sr=contract.SAMPLE_RATE, half_ms=5.0, floor_db=-40.0):
    """What the chunks change: the energy of `chunked` - `whole` (one
    mel vocoded in chunks and in one window) within half_ms of every join,
    and of every block middle as the reference, in dB re the energy of
    `whole` there. Points where `whole` lies below floor_db re its peak
    (silence) are left out. -> {"joins": [dB], "middles": [dB]}."""
    n = min(len(chunked), len(whole))
    chunked, whole = np.asarray(chunked[:n], np.float64), np.asarray(whole[:n], np.float64)
    reach = int(round(half_ms * sr / 1000.0))
    floor = np.max(np.abs(whole)) ** 2 * 10 ** (floor_db / 10) if n else 0.0
    out = {"joins": [], "middles": []}
    for start, size in block_starts(n // hop, blocks):
        for offset, name in ((start, "joins"), (start + size // 2, "middles")):
            p = offset * hop
            if offset == 0 or p - reach < 0 or p + reach > n:
                continue
            ref = np.mean(whole[p - reach:p + reach] ** 2)
            if ref <= floor:
                continue
            diff = np.mean((chunked[p - reach:p + reach] - whole[p - reach:p + reach]) ** 2)
            out[name].append(float(10 * np.log10(diff / ref + 1e-12)))
    return out


# A run of exact zeros this long (samples) lies between two segments: the
# tool's silence between them. The vocoder never gives so many.
SEGMENT_GAP = 60


def segment_starts(audio, gap=SEGMENT_GAP):
    """Where each segment's audio begins: 0, and every sample that ends a run
    of at least `gap` exact zeros. The vocoder starts a new stream there, so
    the block layout starts again. Audio resampled to another rate keeps
    no exact zeros: take the starts from the same speech at the voice's
    rate."""
    x = np.asarray(audio)
    zero = np.concatenate([[False], x == 0, [False]])
    edges = np.flatnonzero(np.diff(zero.astype(np.int8)))
    runs = edges.reshape(-1, 2)  # [first zero, first sample after]
    return [0] + [int(b) for a, b in runs if b - a >= gap and a > 0 and b < len(x)]


def points(audio, f0, hop=contract.HOP, blocks=(BLOCK, BLOCK), starts=(0,)):
    """(joins, middles): sample positions with their F0, voiced on both
    sides (the frames before and after are voiced). `starts`: the sample
    where each segment begins (its blocks laid out from there)."""
    frames = len(f0)
    joins, middles = [], []
    bounds = list(starts) + [frames * hop]
    for begin, end in zip(bounds, bounds[1:]):
        span = -(-(end - begin) // hop)
        for start, size in block_starts(span, blocks):
            for offset, where in ((start, joins), (start + size // 2, middles)):
                if offset == 0 or offset + 1 >= span:
                    continue
                at = begin + offset * hop
                frame = int(round(at / hop))
                if frame == 0 or frame + 1 >= frames:
                    continue
                if f0[frame - 1] > 0 and f0[frame] > 0 and f0[frame + 1] > 0:
                    where.append((at, float(f0[frame])))
    return joins, middles


def summarise(audio_list, sr=contract.SAMPLE_RATE, f0_range=(50.0, 250.0),
              blocks=(BLOCK, BLOCK), starts_list=None):
    """The measures over every utterance; f0_range (Hz) is the pitch
    tracker's, the voice's range (the default voice's by default); blocks:
    the first block's frames and every later one's; starts_list: each
    utterance's segment starts, found in its own silences when not given."""
    out = {}
    jumps = {"joins": [], "middles": []}
    clicks = {"joins": [], "middles": []}
    for k, x in enumerate(audio_list):
        f0 = features.f0(x, fmin=f0_range[0], fmax=f0_range[1])
        starts = segment_starts(x) if starts_list is None else starts_list[k]
        for name, pts in zip(("joins", "middles"),
                             points(x, f0, blocks=blocks, starts=starts)):
            for p, hz in pts:
                j = phase_jump(x, p, hz, sr)
                c = click_ratio(x, p, sr)
                if j is not None and c is not None:
                    jumps[name].append(abs(j))
                    clicks[name].append(c)
    for name in jumps:
        a = np.array(jumps[name])
        out[name] = {"points": len(a),
                     "mean_abs_phase_jump_rad": float(a.mean()) if len(a) else None,
                     "share_over_quarter_pi": float((a > np.pi / 4).mean()) if len(a) else None,
                     "median_click_ratio": float(np.median(clicks[name])) if len(a) else None}
    return out


def render_with_say(tool_dir, conf, texts, work):
    """Runs tolvaren_say on each text (float WAV); returns their audio."""
    audio = []
    env = dict(os.environ, SPDLOG_STDOUT="false")
    for i, t in enumerate(texts):
        wav = os.path.join(work, f"{i}.wav")
        subprocess.run([os.path.join(tool_dir, "tolvaren_say"), "--conf", conf, "--float",
                        "-o", wav, t], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        audio.append(wavfile.read(wav)[1].astype(np.float64))
    return audio


def render_with_tool(tool_dir, conf, texts, work):
    """Runs tolvaren_tts in file mode on texts; returns the float audio of
    each text that produced a file."""
    lines = os.path.join(work, "lines.txt")
    with open(lines, "w", encoding="utf-8") as f:
        f.write("".join(t + "\n" for t in texts))
    out_dir = os.path.join(work, "out")
    os.makedirs(out_dir, exist_ok=True)
    conf_copy = os.path.join(work, "tool.conf")
    with open(conf, encoding="utf-8") as src, open(conf_copy, "w", encoding="utf-8") as dst:
        for line in src:
            if line.startswith("--wav_path="):
                line = f"--wav_path={out_dir}\n"
            elif line.startswith("--text_path="):
                line = f"--text_path={lines}\n"
            dst.write(line)
    env = dict(os.environ, TOLVAREN_TTS_CONF=conf_copy, SPDLOG_STDOUT="false")
    subprocess.run([os.path.join(tool_dir, "tolvaren_tts")], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    audio = []
    for t in texts:
        path = os.path.join(out_dir, t)
        if not os.path.exists(path):
            continue
        wav = os.path.join(work, "x.wav")
        subprocess.run([os.path.join(tool_dir, "tolvaren_tts_wav"), path, wav], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with warnings.catch_warnings():
            # The converter writes a fact chunk, which scipy skips.
            warnings.simplefilter("ignore", wavfile.WavFileWarning)
            audio.append(wavfile.read(wav)[1].astype(np.float64))
    return audio


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True, help="folder of tolvaren_tts and tolvaren_tts_wav")
    ap.add_argument("--conf", required=True)
    ap.add_argument("--prose", required=True)
    ap.add_argument("--count", type=int, default=40)
    ap.add_argument("--out")
    ap.add_argument("--f0-min", type=float, default=50.0,
                    help="pitch tracker range (Hz): 50-250 for the default voice, "
                         "120-450 for the diphone voice")
    ap.add_argument("--f0-max", type=float, default=250.0)
    ap.add_argument("--streamed", action="store_true",
                    help="measure tolvaren_say (the library's streamed chunks)")
    args = ap.parse_args()
    with open(args.prose, encoding="utf-8") as f:
        texts = [s.strip() for s in f
                 if s.strip() and not any(c in s for c in "/\\<>.")][:args.count]
    with tempfile.TemporaryDirectory() as work:
        render = render_with_say if args.streamed else render_with_tool
        audio = render(args.tool, args.conf, texts, work)
    report = summarise(audio, f0_range=(args.f0_min, args.f0_max),
                       blocks=STREAMED_BLOCKS if args.streamed else (BLOCK, BLOCK))
    report["utterances"] = len(audio)
    text = json.dumps(report, indent=1)
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text + "\n")


if __name__ == "__main__":
    main()
