#!/usr/bin/python3
"""Time and peak memory of two builds, side by side, on the texts whose cost
once grew out of proportion to their length.

  bounds_benchmark.py --old BUILD --new BUILD [--megabytes 3.6]

BUILD is a build folder (its src/tolvaren_tts_front, src/tolvaren_say and
resources/conf/tool.conf, the shipped voice). Each row runs once per build:

  letters      the front end (--ids) on one line of 80,000 Latin letters
  long line    the front end (--ids) on one line of the demo sentences
               repeated to --megabytes
  first audio  tolvaren_say on that line: seconds and peak until the first
               100 kB of audio
  phonemes     the same with --phonemes (the words of the whole line are
               kept for the pinyin printed before the audio)
  breaks       tolvaren_say --ssml on <speak>你, 1,000 breaks of 10 s, 好:
               the whole run (2.8 hours of audio, written to /dev/null)

Peaks are getrusage(RUSAGE_CHILDREN) of a fresh parent per run, in MiB.
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Runs argv[1:]; with a byte count first, reads that much of its standard
# output and stops it. Prints the seconds and the peak in KiB.
PROBE = """
import resource, subprocess, sys, time
limit = int(sys.argv[1])
started = time.monotonic()
process = subprocess.Popen(sys.argv[2:], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL)
if limit:
    process.stdout.read(limit)
    took = time.monotonic() - started
    process.kill()
else:
    while process.stdout.read(1 << 20):
        pass
process.wait()
if not limit:
    took = time.monotonic() - started
print(took, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
"""


def measure(command, read_bytes=0):
    done = subprocess.run([sys.executable, "-c", PROBE, str(read_bytes)] +
                          command, capture_output=True, text=True, check=True)
    seconds, peak = done.stdout.split()
    return float(seconds), int(peak) // 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--old", required=True)
    parser.add_argument("--new", required=True)
    parser.add_argument("--megabytes", type=float, default=3.6)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="bounds_benchmark_")
    random.seed(1)
    letters = os.path.join(work, "letters.txt")
    with open(letters, "w") as file:
        file.write("".join(random.choice("abcdefghijklmnopqrstuvwxyz")
                           for _ in range(80000)) + "\n")
    with open(os.path.join(ROOT, "resources/text/demo.txt")) as file:
        demo = file.read().replace("\n", "").encode()
    size = int(args.megabytes * 1e6)
    line = os.path.join(work, "line.txt")
    with open(line, "wb") as file:
        text = (demo * (size // len(demo) + 1))[:size]
        file.write(text.decode(errors="ignore").encode() + b"\n")
    breaks = os.path.join(work, "breaks.xml")
    with open(breaks, "w") as file:
        file.write("<speak>你" + '<break time="10s"/>' * 1000 + "好</speak>")

    rows = []
    for name, build in (("old", args.old), ("new", args.new)):
        build = os.path.abspath(build)
        front = os.path.join(build, "src/tolvaren_tts_front")
        say = os.path.join(build, "src/tolvaren_say")
        conf = os.path.join(build, "resources/conf/tool.conf")
        row = [name]
        for path in (letters, line):
            row.append(measure([front, "--conf", conf, "--ids", "--file",
                                path]))
        row.append(measure([say, "--conf", conf, "-f", line, "-o", "-"],
                           read_bytes=100000))
        row.append(measure([say, "--conf", conf, "--phonemes", "-f", line,
                            "-o", "-"], read_bytes=100000))
        row.append(measure([say, "--conf", conf, "--ssml", "-f", breaks,
                            "--raw", "-o", "-"]))
        rows.append(row)
        print(f"{name}: {build}", flush=True)
    heads = ["letters", f"{args.megabytes} MB line", "first audio",
             "phonemes", "breaks"]
    print("build  " + "".join(f"{h:>22}" for h in heads))
    for row in rows:
        print(f"{row[0]:<7}" + "".join(f"{s:>12.2f} s{p:>6} MiB"
                                       for s, p in row[1:]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
