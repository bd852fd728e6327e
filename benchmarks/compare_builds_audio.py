#!/usr/bin/python3
"""How far the audio of one build is from another's, text by text.

    /usr/bin/python3 benchmarks/compare_builds_audio.py BEFORE [AFTER] [THREADS]

BEFORE and AFTER are build folders (AFTER defaults to build-release); the
script needs Debian's numpy, hence /usr/bin/python3. Each text of
compare_texts.txt is spoken by each build's tolvaren_say (streamed, as the
library speaks) with that build's own tool.conf, and by its tolvaren_tts
(the tool's own chunks) where the text can name the output file, as float
samples; with --threads THREADS in tolvaren_say when it is given
(otherwise each configuration's own count). Printed for each program and
text: the samples of each, how many differ, the largest absolute
difference (full scale is 1), the signal to difference ratio in dB, and
how far the spectral envelope moved: the level difference of 40 mel bands
(50 Hz to 11 kHz, 1200-sample frames every 300 samples) over the frames
within 50 dB of the loudest, mean, median and 95th percentile in dB.
"""

import os
import subprocess
import sys
import tempfile

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NAME_BYTES = 255


def conf_of(build):
    return os.path.join(build, "resources", "conf", "tool.conf")


def say(build, threads, text, work):
    path = os.path.join(work, "say.f32")
    command = [os.path.join(build, "src", "tolvaren_say"), "--conf",
               conf_of(build), "--float", "--raw", "-o", path]
    if threads:
        command += ["--threads", threads]
    subprocess.run(command + ["--", text], check=True,
                   stderr=subprocess.DEVNULL)
    return np.fromfile(path, dtype=np.float32)


def tool(build, text, work):
    """tolvaren_tts writes the samples to a file named by the text."""
    folder = os.path.join(work, "tts")
    os.makedirs(folder, exist_ok=True)
    conf = os.path.join(work, "tts.conf")
    with open(conf_of(build), encoding="utf-8") as f, \
            open(conf, "w", encoding="utf-8") as out:
        for line in f:
            if not line.startswith("--wav_path="):
                out.write(line)
        out.write(f"--wav_path={folder}\n")
    env = dict(os.environ, TOLVAREN_TTS_CONF=conf, SPDLOG_STDOUT="false",
               SPDLOG_SYSTEMD="false")
    subprocess.run([os.path.join(build, "src", "tolvaren_tts"), text],
                   check=True, env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    path = os.path.join(folder, text)
    samples = np.fromfile(path, dtype=np.float32)
    os.remove(path)
    return samples


def mel_levels(x, rate):
    n, hop = 1200, 300
    if len(x) < n:
        return np.zeros((0, 40))
    frames = np.lib.stride_tricks.sliding_window_view(x, n)[::hop]
    power = np.abs(np.fft.rfft(frames * np.hanning(n), axis=1)) ** 2
    freqs = np.fft.rfftfreq(n, 1.0 / rate)
    mel = lambda hz: 2595 * np.log10(1 + hz / 700)
    hz = lambda m: 700 * (10 ** (m / 2595) - 1)
    edges = hz(np.linspace(mel(50), mel(11000), 42))
    bank = np.zeros((40, len(freqs)))
    for i in range(40):
        lo, mid, hi = edges[i], edges[i + 1], edges[i + 2]
        bank[i] = np.clip(np.minimum((freqs - lo) / (mid - lo),
                                     (hi - freqs) / (hi - mid)), 0, None)
    return 10 * np.log10(power @ bank.T + 1e-10)


def compare(program, chars, old, new, rate):
    common = min(len(old), len(new))
    a, b = old[:common].astype(np.float64), new[:common].astype(np.float64)
    d = a - b
    squares = float(np.sum(d * d))
    snr = (10 * np.log10(float(np.sum(a * a)) / squares) if squares > 0
           else float("inf"))
    ma, mb = mel_levels(a, rate), mel_levels(b, rate)
    moved = np.zeros(1)
    if len(ma):
        loud = ma.max(axis=1) > ma.max() - 50
        moved = np.abs(ma - mb)[loud]
    print(f"{program:12} {chars:6} {len(old):9} {len(new):9} "
          f"{int(np.count_nonzero(d)):9} {np.abs(d).max():10.3e} {snr:8.1f} "
          f"{moved.mean():6.2f} {np.median(moved):6.2f} "
          f"{np.percentile(moved, 95):6.2f}")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    before = os.path.abspath(sys.argv[1])
    after = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else
                            os.path.join(ROOT, "build-release"))
    threads = sys.argv[3] if len(sys.argv) > 3 else ""
    rate = 24000
    with open(os.path.join(ROOT, "benchmarks", "compare_texts.txt"),
              encoding="utf-8") as f:
        texts = [line.rstrip("\n") for line in f if line.strip()]
    print(f"{'program':12} {'chars':>6} {'before':>9} {'after':>9} "
          f"{'differ':>9} {'max abs':>10} {'snr dB':>8} "
          f"{'mel dB: mean':>12} {'median':>6} {'p95':>6}")
    with tempfile.TemporaryDirectory() as work:
        for text in texts:
            compare("tolvaren_say", len(text), say(before, threads, text, work),
                    say(after, threads, text, work), rate)
            if len(text.encode()) <= NAME_BYTES:
                compare("tolvaren_tts", len(text), tool(before, text, work),
                        tool(after, text, work), rate)


if __name__ == "__main__":
    main()
