#!/usr/bin/python3
"""Time and memory that must not grow out of bounds with hostile texts.

  bounds_faults.py --say SAY --front FRONT --front-conf CONF --models DIR
                   --jieba-dict DIR [CASE ...]

Each case runs the real tolvaren_tts_front or tolvaren_say on a fresh
configuration folder from fault_injection.py (the small test models; the
front end's cases read with the shipped front end CONF, whose dictionary
reads letters, the rest with the fixture's) with a text whose cost was once out of proportion to
its length: long runs of letters, digits or marks that the front end read
in time growing with the square of the run, a long line read whole before
its first audio, and breaks whose silence was held whole in memory. The limits are generous (several times what a sound
build takes): they catch a step that turns quadratic or a silence held
whole, not a slow machine. --instrumented (a sanitizer build, or one run
under an emulator) gives every run five times the time and leaves out the
memory cases, whose peaks then measure the instrumentation.
Cases are a table; name one to run it alone.
"""

import argparse
import os
import subprocess
import sys
import time

import fault_injection as fi

SAY = None
FRONT = None
MIB = 1024  # ru_maxrss counts KiB
PHONE_TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                           "../../resources/dict/phones.tsv")


def bounded_run(s, command, timeout):
    """Runs `command`; (exit status or None past `timeout`, standard output,
    seconds)."""
    started = time.monotonic()
    try:
        done = subprocess.run(command, env=fi.environment(s),
                              stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, cwd=s.root,
                              timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, b"", timeout
    return done.returncode, done.stdout, time.monotonic() - started


def front_run(text, timeout=120):
    """The front end reads one long line of `text` within `timeout`."""
    def run(s):
        limit = timeout * (5 if fi.ARGS.instrumented else 1)
        s.keys["front_conf_path"] = fi.ARGS.front_conf
        s.write_conf()
        path = s.write("long.txt", text + "\n")
        code, out, took = bounded_run(
            s, [FRONT, "--conf", s.conf, "--phone-table", PHONE_TABLE, "--ids",
             "--file", path], limit)
        if code is None:
            return [f"{len(text)} characters: still running after "
                    f"{limit} s"]
        lines = out.count(b"\n")
        if code != 0 or lines != 1:
            return [f"exit {code}, {lines} lines of output"]
        print(f"    {len(text)} characters in {took:.1f} s")
        return []
    return run


# Runs argv[1:] in a fresh parent (RUSAGE_CHILDREN keeps the largest child)
# and reads its standard output: all of it, or with a byte count first that
# much, then stops it. Prints the bytes read, the exit status (None when it
# was stopped) and the peak in KiB.
PROBE = """
import resource, subprocess, sys
limit = int(sys.argv[1])
p = subprocess.Popen(sys.argv[2:], stdout=subprocess.PIPE,
                     stderr=subprocess.DEVNULL)
got = 0
while True:
    block = p.stdout.read(min(65536, limit - got) if limit else 65536)
    got += len(block)
    if not block or (limit and got >= limit):
        break
if limit:
    p.kill()
code = p.wait()
print(got, code if not limit else None,
      resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
"""


def say_peak_problems(s, args, limit_mib, first_bytes, timeout):
    """What is wrong with tolvaren_say's peak for `args` (see PROBE)."""
    if fi.ARGS.instrumented:
        raise fi.Skip("peaks measure the instrumentation here")
    try:
        done = subprocess.run(
            [sys.executable, "-c", PROBE, str(first_bytes), SAY, "--conf",
             s.conf] + args,
            env=fi.environment(s), capture_output=True, text=True,
            timeout=timeout, cwd=s.root)
    except subprocess.TimeoutExpired:
        return [f"still running after {timeout} s"]
    got, code, peak = done.stdout.split()
    peak = int(peak)
    print(f"    peak {peak // MIB} MiB")
    if code not in ("0", "None"):
        return [f"exit {code}"]
    if int(got) < first_bytes:
        return [f"only {got} bytes of output"]
    if peak > limit_mib * MIB:
        return [f"peak {peak // MIB} MiB, more than {limit_mib} MiB"]
    return []


def say_peak(document, limit_mib, timeout=300):
    """tolvaren_say speaks `document` with its peak resident set within
    `limit_mib`, whatever the silence it asks for."""
    def run(s):
        path = s.write("doc.xml", document)
        return say_peak_problems(s, ["--ssml", "-f", path, "--raw", "-o", "-"],
                                 limit_mib, 0, timeout)
    return run


def first_output_peak(text, args, limit_mib, timeout=300):
    """tolvaren_say with `args` writes its first 100 kB on one long line of
    `text` with its peak resident set within `limit_mib`: the front end
    reads the line as it goes, not whole before the first output."""
    def run(s):
        s.keys["front_conf_path"] = fi.ARGS.front_conf
        s.write_conf()
        path = s.write("long.txt", text + "\n")
        return say_peak_problems(s, ["-f", path] + args, limit_mib, 100000,
                                 timeout)
    return run


# 10 s breaks, each the longest one reads: 1,000 of them are 2.4e8 samples,
# a gigabyte as floats.
BREAKS = '<break time="10s"/>' * 1000
# 1.8 MB on one line.
LONG_LINE = "今天天气很好，我们去公园散步。" * 40000

CASES = [
    ("latin_letters", front_run("abcdefghijklmnopqrstuvwxyz" * 16000)),
    ("full_width_letters", front_run("ＡＢＣＤＥＦＧＨＩＪ" * 30000)),
    ("digits", front_run("1234567890" * 40000)),
    ("marks", front_run("，。！？、" * 40000)),
    ("one_repeated_word", front_run("你好" * 200000)),
    ("breaks_between_words",
     say_peak("<speak>你" + BREAKS + "好</speak>", limit_mib=512)),
    ("breaks_before_words", say_peak("<speak>" + BREAKS + "你好</speak>",
                                     limit_mib=512)),
    ("long_line_phonemes", first_output_peak(LONG_LINE, ["--phonemes"],
                                             limit_mib=200)),
]


def main():
    global SAY, FRONT
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--say", required=True)
    parser.add_argument("--front", required=True)
    parser.add_argument("--front-conf", required=True)
    parser.add_argument("--models", required=True)
    parser.add_argument("--jieba-dict", required=True)
    parser.add_argument("--instrumented", action="store_true")
    parser.add_argument("cases", nargs="*")
    fi.ARGS = parser.parse_args()
    SAY, FRONT = os.path.abspath(fi.ARGS.say), os.path.abspath(fi.ARGS.front)
    fi.ARGS.models = os.path.abspath(fi.ARGS.models)
    fi.ARGS.front_conf = os.path.abspath(fi.ARGS.front_conf)
    fi.ARGS.jieba_dict = os.path.abspath(fi.ARGS.jieba_dict)
    chosen = [c for c in CASES if not fi.ARGS.cases or c[0] in fi.ARGS.cases]
    return fi.run_cases(chosen)


if __name__ == "__main__":
    sys.exit(main())
