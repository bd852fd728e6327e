"""What voices cost to run, side by side in one run: real-time factor with
and without start-up, start-up alone, peak resident memory.

  python3 -m tools.voice.voice_costs --tool BUILD/src --conf TOOL_CONF
      --texts TEXTS.txt --voice NAME=MODEL_DIR [--voice ...] [--rounds 3]
      [--report DIR]

In every round each voice (in turn, so that a machine under changing load
weighs on all alike) starts the C++ tool once with nothing to say (start-up
only: configuration, front end, both models) and once speaking every line
of TEXTS in file mode. Per voice: the fastest round's RTF (wall time over
audio time), its RTF with the median start-up taken off, the median
start-up and the largest peak resident memory of the speaking runs.
Writes REPORT/costs.json and REPORT/costs.md when --report is given.
"""
import argparse
import json
import os
import re
import subprocess
import tempfile
import time

import numpy as np

from . import compare_voices
from .eval_tool import voice_folders, write_conf


def timed(cmd, env):
    """(wall seconds, peak resident KiB) of one run under /usr/bin/time."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as record:
        began = time.time()
        subprocess.run(["/usr/bin/time", "-v", "-o", record.name, *cmd], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.time() - began
        peak = re.search(r"Maximum resident set size \(kbytes\): (\d+)", record.read())
    return wall, int(peak.group(1)) if peak else 0


def run_round(tool, base_conf, folder, texts_path, work):
    out_dir = os.path.join(work, "out")
    os.makedirs(out_dir, exist_ok=True)
    conf = os.path.join(work, "tool.conf")
    write_conf(base_conf, folder, out_dir, texts_path, conf)
    env = dict(os.environ, TOLVAREN_TTS_CONF=conf, SPDLOG_STDOUT="false")
    binary = os.path.join(tool, "tolvaren_tts")
    start, _ = timed([binary, "a", "b", "c"], env)
    wall, peak = timed([binary], env)
    audio_s = 0.0
    for name in os.listdir(out_dir):
        audio_s += len(compare_voices.read_chunk_file(os.path.join(out_dir, name))) / 24000.0
        os.remove(os.path.join(out_dir, name))
    return start, wall, peak, audio_s


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--conf", required=True)
    ap.add_argument("--texts", required=True)
    ap.add_argument("--voice", action="append", required=True, metavar="NAME=MODEL_DIR")
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--report")
    args = ap.parse_args()
    voices = voice_folders(ap, args.voice)
    if args.rounds < 1:
        ap.error("--rounds must be at least 1")
    runs = {name: [] for name, _ in voices}
    with tempfile.TemporaryDirectory() as work:
        for _ in range(args.rounds):
            for name, folder in voices:
                runs[name].append(run_round(args.tool, args.conf, folder, args.texts,
                                            os.path.join(work, name)))
    results = {}
    for name, rs in runs.items():
        start = float(np.median([r[0] for r in rs]))
        best = min(rs, key=lambda r: r[1])
        results[name] = {"rtf": best[1] / best[3], "rtf_without_start_up":
                         (best[1] - start) / best[3], "start_up_s": start,
                         "peak_rss_mb": max(r[2] for r in rs) / 1024, "audio_s": best[3],
                         "rounds": len(rs), "cores": os.cpu_count()}
    lines = ["| voice | RTF | RTF, start-up excluded | start-up (s) | peak memory (MB) |",
             "|---|---|---|---|---|"]
    for name, r in results.items():
        lines.append(f"| {name} | {r['rtf']:.4f} | {r['rtf_without_start_up']:.4f} | "
                     f"{r['start_up_s']:.2f} | {r['peak_rss_mb']:.0f} |")
    table = "\n".join(lines) + "\n"
    print(table)
    if args.report:
        os.makedirs(args.report, exist_ok=True)
        with open(os.path.join(args.report, "costs.json"), "w", encoding="utf-8") as f:
            json.dump(results, f, indent=1)
        with open(os.path.join(args.report, "costs.md"), "w", encoding="utf-8") as f:
            f.write("# What the voices cost to run\n\nCommand: `/usr/bin/python3 -m "
                    "tools.voice.voice_costs " + " ".join(
                        f"--voice {v}" for v in args.voice) + f" --texts {args.texts}`\n\n"
                    + table)


if __name__ == "__main__":
    main()
