"""What a listener hears in a voice's audio, measured: how noise-like its
fricatives are and how harmonic its voiced sounds.

* fricative-band kurtosis: the audio band-passed to 2-11 kHz, the
  (Pearson) kurtosis of its samples over each fricative or affricate
  initial (s sh x c ch q z zh j), the median over those initials. Noise
  gives about 3; a pulse source that never switches off gives a click
  train there, far above.
* HNR: harmonics-to-noise ratio of the voiced frames (praat's
  cross-correlation harmonicity, 10 ms frames), the mean per utterance.
"""
import os
import subprocess
import tempfile

import numpy as np
from scipy.io import wavfile
from scipy.signal import butter, sosfiltfilt
from scipy.stats import kurtosis

from . import contract

FRICATIVE_INITIALS = frozenset("s sh x c ch q z zh j".split())
BAND_HZ = (2000.0, 11000.0)
# Shorter segments give too few samples for a fourth moment.
MIN_SEGMENT_SAMPLES = 240

_PRAAT_SCRIPT = """form HNR
  sentence list_file
  real min_pitch 75
endform
list = Read Strings from raw text file: list_file$
n = Get number of strings
for i to n
  selectObject: list
  path$ = Get string: i
  sound = Read from file: path$
  harmonicity = To Harmonicity (cc): 0.01, min_pitch, 0.1, 1.0
  mean = Get mean: 0, 0
  appendInfoLine: fixed$(mean, 4)
  removeObject: sound, harmonicity
endfor
"""


def fricative_kurtosis(audio, phones, durs, sr=contract.SAMPLE_RATE):
    """Kurtosis of the 2-11 kHz band over each fricative initial of one
    utterance: phones and their durations in frames; initials with fewer
    than MIN_SEGMENT_SAMPLES samples in the audio are left out."""
    sos = butter(4, BAND_HZ, btype="bandpass", fs=sr, output="sos")
    band = sosfiltfilt(sos, np.asarray(audio, dtype=np.float64))
    out = []
    start = 0
    for phone, d in zip(phones, durs):
        a, b = start * contract.HOP, min((start + int(d)) * contract.HOP, len(band))
        start += int(d)
        if phone in FRICATIVE_INITIALS and b - a >= MIN_SEGMENT_SAMPLES:
            seg = band[a:b]
            if seg.std() > 0:
                out.append(float(kurtosis(seg, fisher=True) + 3.0))
    return out


def hnr_db(audio_list, sr=contract.SAMPLE_RATE, min_pitch=75.0):
    """praat's mean HNR (dB) of the voiced frames of each float audio."""
    with tempfile.TemporaryDirectory() as tmp:
        paths = []
        for k, y in enumerate(audio_list):
            path = os.path.join(tmp, f"{k}.wav")
            wavfile.write(path, sr, np.asarray(y, dtype=np.float32))
            paths.append(path)
        listing = os.path.join(tmp, "list.txt")
        with open(listing, "w") as f:
            f.write("".join(p + "\n" for p in paths))
        script = os.path.join(tmp, "hnr.praat")
        with open(script, "w") as f:
            f.write(_PRAAT_SCRIPT)
        out = subprocess.run(["praat", "--run", script, listing, str(min_pitch)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True)
    values = [float(v) for v in out.stdout.decode().split()]
    if len(values) != len(paths):
        raise RuntimeError("praat measured %d of %d files: %s"
                           % (len(values), len(paths), out.stderr.decode()[-300:]))
    return values
