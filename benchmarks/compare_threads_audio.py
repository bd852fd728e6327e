#!/usr/bin/env python3
"""How far the audio moves when the model sessions' thread count changes.

    benchmarks/compare_threads_audio.py [BUILD] [REFERENCE [COUNT...]]

BUILD is a build folder (default build-release). Each text of
compare_texts.txt is spoken by the build's tolvaren_say (its tool.conf)
with --threads REFERENCE (default 4, the count the voices' reference audio
was made with) and with each COUNT (default: the cores this process may
run on, what intra_op_num_threads=0 resolves to), as raw float samples.
Printed for each count and text: the samples compared, how many differ,
the largest absolute difference (full scale is 1) and the difference's RMS.
Thread counts change the order in which the models sum their products, so
small differences are expected; a length change would be a real fault.
"""

import array
import math
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def speak(say, conf, threads, text, path):
    subprocess.run([say, "--conf", conf, "--threads", str(threads), "--float",
                    "--raw", "-o", path, "--", text], check=True,
                   stderr=subprocess.DEVNULL)
    samples = array.array("f")
    with open(path, "rb") as f:
        samples.frombytes(f.read())
    return samples


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                            os.path.join(ROOT, "build-release"))
    reference = int(sys.argv[2]) if len(sys.argv) > 2 else 4
    counts = [int(c) for c in sys.argv[3:]] or [len(os.sched_getaffinity(0))]
    say = os.path.join(build, "src", "tolvaren_say")
    conf = os.path.join(build, "resources", "conf", "tool.conf")
    with open(os.path.join(ROOT, "benchmarks", "compare_texts.txt"),
              encoding="utf-8") as f:
        texts = [line.rstrip("\n") for line in f if line.strip()]
    print(f"{'threads':>10} {'chars':>6} {'samples':>9} {'differ':>9} "
          f"{'max abs':>10} {'rms':>10}")
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "out.f32")
        for text in texts:
            base = speak(say, conf, reference, text, path)
            for count in counts:
                other = speak(say, conf, count, text, path)
                if len(other) != len(base):
                    sys.exit(f"{count} threads: {len(other)} samples against "
                             f"{len(base)} for the {len(text)}-character text")
                differ, largest, squares = 0, 0.0, 0.0
                for a, b in zip(base, other):
                    if a != b:
                        d = abs(a - b)
                        differ += 1
                        largest = max(largest, d)
                        squares += d * d
                rms = math.sqrt(squares / max(len(base), 1))
                print(f"{reference:>4} vs {count:<3} {len(text):6} "
                      f"{len(base):9} {differ:9} {largest:10.3e} {rms:10.3e}")


if __name__ == "__main__":
    main()
