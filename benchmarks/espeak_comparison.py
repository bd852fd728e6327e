#!/usr/bin/env python3
"""Real-time factor and start-up of tolvaren_say beside espeak-ng.

    benchmarks/espeak_comparison.py [BUILD] [ROUNDS] [BASELINE]

BUILD is a build folder (default build-release), ROUNDS the number of
rounds (default 5). BASELINE, another build folder (of an earlier commit,
say), has its own programs run the same way in every round, as the rows
named "baseline", so that before and after are measured side by side. Each round runs, in turn, for each text of
compare_texts.txt (10, 65 and 611 characters): `tolvaren_say -o OUT.wav
TEXT` with the build's tool.conf and `espeak-ng -v cmn -w OUT.wav TEXT`; then
the start-ups: `tolvaren_tts a b c` (configuration, front end and both
models loaded, nothing spoken; as startup_benchmark.sh measures it) and
both programs with an empty text (everything loaded, a WAV header
written). Interleaving keeps a machine under changing load weighing on
both alike.

Printed, the median over the rounds: wall and CPU (user + system) seconds
of the whole process, the audio's length from the WAV header, the real-time
factor with start-up included (wall / audio) and excluded ((wall - the
program's start-up wall, its empty-text run) / audio),
and CPU seconds per second of audio. Without espeak-ng on the PATH its
columns are skipped with a message.
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import wave

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(command, env):
    """Wall and CPU seconds of one finished process; it must succeed."""
    start = time.monotonic()
    child = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.monotonic() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{command[0]} exited with {child.returncode}")
    return wall, usage.ru_utime + usage.ru_stime


def audio_seconds(path):
    with wave.open(path) as w:
        return w.getnframes() / w.getframerate()


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                            os.path.join(ROOT, "build-release"))
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    builds = {"tolvaren_say": build}
    if len(sys.argv) > 3:
        builds["baseline"] = os.path.abspath(sys.argv[3])
    # name -> (tolvaren_say, tolvaren_tts, environment)
    tools = {}
    for name, folder in builds.items():
        say = os.path.join(folder, "src", "tolvaren_say")
        tts = os.path.join(folder, "src", "tolvaren_tts")
        conf = os.path.join(folder, "resources", "conf", "tool.conf")
        for path in (say, tts, conf):
            if not os.path.exists(path):
                sys.exit(f"missing {path} (build the tools first)")
        tools[name] = (say, tts, dict(os.environ, TOLVAREN_TTS_CONF=conf,
                                      SPDLOG_STDOUT="false",
                                      SPDLOG_SYSTEMD="false"))
    espeak = shutil.which("espeak-ng")
    if espeak is None:
        print("espeak-ng is not on the PATH: its columns are skipped")
    with open(os.path.join(ROOT, "benchmarks", "compare_texts.txt"),
              encoding="utf-8") as f:
        texts = [line.rstrip("\n") for line in f if line.strip()]

    work = tempfile.mkdtemp()
    out = os.path.join(work, "out.wav")
    # name -> list of (wall, cpu, audio seconds)
    runs = {}

    def measure(name, command, env=os.environ):
        if os.path.exists(out):
            os.remove(out)
        wall, cpu = run(command, env)
        audio = audio_seconds(out) if os.path.exists(out) else 0.0
        runs.setdefault(name, []).append((wall, cpu, audio))

    try:
        for _ in range(rounds):
            for text in texts:
                for name, (say, _, env) in tools.items():
                    measure((name, len(text)), [say, "-o", out, text], env)
                if espeak:
                    measure(("espeak-ng", len(text)),
                            [espeak, "-v", "cmn", "-w", out, text])
            for name, (say, tts, env) in tools.items():
                measure((name, "tolvaren_tts a b c"), [tts, "a", "b", "c"], env)
                measure((name, "start-up"), [say, "-o", out, ""], env)
            if espeak:
                measure(("espeak-ng", "start-up"),
                        [espeak, "-v", "cmn", "-w", out, ""])
    finally:
        shutil.rmtree(work)

    def median(name, field):
        return statistics.median(r[field] for r in runs[name])

    print(f"median of {rounds} rounds, {len(os.sched_getaffinity(0))} cores; "
          "rtf- excludes the program's start-up")
    print(f"{'program':12} {'text':>20} {'wall s':>8} {'cpu s':>8} "
          f"{'audio s':>8} {'rtf':>8} {'rtf-':>8} {'cpu/aud':>8}")
    for program in list(tools) + (["espeak-ng"] if espeak else []):
        startup = median((program, "start-up"), 0)
        for key in [len(t) for t in texts] + ["start-up", "tolvaren_tts a b c"]:
            name = (program, key)
            if name not in runs:
                continue
            wall, cpu, audio = (median(name, i) for i in range(3))
            label = f"{key} chars" if isinstance(key, int) else key
            if isinstance(key, int):
                print(f"{program:12} {label:>20} {wall:8.3f} {cpu:8.3f} "
                      f"{audio:8.2f} {wall / audio:8.4f} "
                      f"{(wall - startup) / audio:8.4f} {cpu / audio:8.4f}")
            else:
                print(f"{program:12} {label:>20} {wall:8.3f} {cpu:8.3f}")


if __name__ == "__main__":
    main()
