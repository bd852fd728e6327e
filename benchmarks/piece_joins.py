"""How far streamed audio is from a whole run of the same text, and whether
the joins between its acoustic pieces click.

  /usr/bin/python3 -m benchmarks.piece_joins WHOLE.wav STREAMED.wav

(run from the repository root; both float WAVs of the same text, e.g.
`tolvaren_say --float -o` of two builds). Prints the max and RMS sample
difference, where the two first differ by more than 1e-3 (the first
piece's end moves the acoustic model's context there), the largest click
ratio (tools/voice/chunk_joins.py's measure: difference energy within 1 ms
over its mean within 10 ms) within 0.5 s of that point in each, and the
chunk-join summary of tools/voice/chunk_joins.py for each.
"""
import json
import sys
import warnings

import numpy as np
from scipy.io import wavfile

from tools.voice import chunk_joins


def read(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", wavfile.WavFileWarning)
        rate, x = wavfile.read(path)
    return rate, x.astype(np.float64)


def max_click(x, centre, rate):
    values = [chunk_joins.click_ratio(x, p, rate)
              for p in range(max(centre - rate // 2, 0),
                             min(centre + rate // 2, len(x)), rate // 1000)]
    values = [v for v in values if v is not None]
    return max(values) if values else None


def main():
    rate, whole = read(sys.argv[1])
    _, streamed = read(sys.argv[2])
    n = min(len(whole), len(streamed))
    diff = streamed[:n] - whole[:n]
    over = np.nonzero(np.abs(diff) > 1e-3)[0]
    first = int(over[0]) if len(over) else None
    report = {
        "samples": [len(whole), len(streamed)],
        "max_abs_diff": float(np.abs(diff).max()) if n else 0.0,
        "rms_diff": float(np.sqrt(np.mean(diff ** 2))) if n else 0.0,
        "rms_whole": float(np.sqrt(np.mean(whole ** 2))),
        "first_diff_over_1e-3_s": first / rate if first is not None else None,
    }
    if first is not None:
        report["max_click_ratio_near_it"] = {
            "whole": max_click(whole, first, rate),
            "streamed": max_click(streamed, first, rate)}
    report["chunk_joins"] = {
        "whole": chunk_joins.summarise([whole], rate),
        "streamed": chunk_joins.summarise([streamed], rate)}
    print(json.dumps(report, indent=1))


if __name__ == "__main__":
    main()
