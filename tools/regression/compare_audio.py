#!/usr/bin/python3
"""Compares two folders of tolvaren_tts chunk files sample by sample.

    /usr/bin/python3 tools/regression/compare_audio.py BASE NEW [--tolerance T]

A chunk file is a uint64 chunk count C, C uint64 sample counts, then the
samples as float32, all little-endian. Every file of BASE must be in NEW
with the same chunk sizes. Prints the largest absolute difference over all
samples and the number of files compared; exits 1 when a file is missing or
unreadable, its chunks differ in length, or a sample differs by more than
the tolerance (default 1e-4).
"""

import argparse
import os
import sys

import numpy as np


def read_chunks(path):
    data = open(path, "rb").read()
    if len(data) < 8:
        raise ValueError("shorter than its chunk count")
    count = int(np.frombuffer(data, "<u8", 1)[0])
    header = 8 * (1 + count)
    if len(data) < header:
        raise ValueError("shorter than its chunk sizes")
    sizes = np.frombuffer(data, "<u8", count, 8).astype(np.int64)
    samples = np.frombuffer(data, "<f4", offset=header)
    if samples.size != int(sizes.sum()):
        raise ValueError(
            f"{samples.size} samples, the sizes say {int(sizes.sum())}")
    return sizes, samples


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("base")
    parser.add_argument("new")
    parser.add_argument("--tolerance", type=float, default=1e-4)
    args = parser.parse_args()

    problems = []
    max_diff = 0.0
    worst = ""
    compared = 0
    for name in sorted(os.listdir(args.base)):
        base_path = os.path.join(args.base, name)
        new_path = os.path.join(args.new, name)
        if not os.path.isfile(base_path):
            continue
        if not os.path.isfile(new_path):
            problems.append(f"{name}: missing")
            continue
        try:
            base_sizes, base = read_chunks(base_path)
            new_sizes, new = read_chunks(new_path)
        except (OSError, ValueError) as error:
            problems.append(f"{name}: {error}")
            continue
        compared += 1
        if not np.array_equal(base_sizes, new_sizes):
            problems.append(f"{name}: chunk sizes {base_sizes.tolist()} "
                            f"became {new_sizes.tolist()}")
            continue
        if base.size == 0:
            continue
        diff = float(np.max(np.abs(base.astype(np.float64) - new)))
        if diff > max_diff:
            max_diff, worst = diff, name
        if not diff <= args.tolerance:  # NaN counts as a failure too
            problems.append(f"{name}: max abs difference {diff:.3g}")

    print(f"files compared: {compared}")
    print(f"max abs difference: {max_diff:.3g}" +
          (f" ({worst})" if worst else ""))
    for problem in problems:
        print(problem)
    return 1 if problems or compared == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
