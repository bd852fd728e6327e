#!/usr/bin/python3
"""Fault injection for tolvaren_say's outputs: one file reached by two
roles, system folders, permissions, timings files and their coverage,
names, pipes.

  say_output_faults.py --say SAY --models DIR --jieba-dict DIR [CASE ...]

Runs like say_faults.py (whose helpers it uses): each case starts the real
tolvaren_say on a fresh configuration folder and checks the exit status,
the files left and standard error. Cases are a table; name one to run it
alone.
"""

import argparse
import json
import os
import resource
import shutil
import signal
import stat
import subprocess
import sys
import time
import wave

import fault_injection as fi
import say_faults as sf

VICTIM = b"victim: not to be replaced"


def filled(s, args):
    return [a.format(**s.names()) for a in args]


def frames(path):
    with wave.open(path, "rb") as file:
        return file.getnframes()


def entries(path):
    with open(path, encoding="utf-8") as file:
        lines = [json.loads(line) for line in file]
    return lines[0], lines[1:]


# One file reached by two roles, or an output in a system folder: refused
# before the engine loads (status 2) or before anything is spoken
# (status 1), every existing file as it was.

def refused(args, want_code, needle, prepare=None, victims=(),
            absent=()):
    def run(s):
        s.write("in.txt", "你好\n")
        for name in victims:
            s.write(name, VICTIM)
        if prepare:
            prepare(s)
        code, err = sf.say(s, filled(s, args))
        problems = sf.expect([], code, err, want_code, [needle])
        if want_code == 2 and "Key: " in err:
            problems.append("the engine started")
        for name in victims:
            with open(s.path(name), "rb") as file:
                if file.read() != VICTIM:
                    problems.append(f"{name} was replaced")
        with open(s.path("in.txt"), "rb") as file:
            if file.read() != "你好\n".encode():
                problems.append("in.txt was replaced")
        for path in filled(s, absent):
            if os.path.lexists(path):
                problems.append(f"{path} was made")
                if path.startswith("/dev/"):  # not left in the system's
                    shutil.rmtree(path, ignore_errors=True)
        problems += [f"temporary left: {t}" for t in
                     sf.temporaries_in(s.root) + sf.temporaries_in(s.out)]
        return problems
    return run


def link(target, name):
    return lambda s: os.symlink(s.path(target), s.path(name))


def hard_link(target, name):
    return lambda s: os.link(s.path(target), s.path(name))


def output_dir_with(name):
    def prepare(s):
        os.mkdir(s.path("od"))
        with open(s.path("od/0001.wav"), "wb") as file:
            file.write(VICTIM)
        if name:
            os.link(s.path("od/0001.wav"), s.path(name))
    return prepare


def null_device(s):
    """/dev/null takes the audio and the timings as it is, both at once; it
    stays the device."""
    code, err = sf.say(s, ["你好", "-o", "/dev/null", "--timings", "/dev/null"])
    problems = sf.expect([], code, err, 0)
    if not stat.S_ISCHR(os.lstat("/dev/null").st_mode):
        problems.append("/dev/null is no longer the device")
    return problems + [f"temporary left: {t}" for t in sf.temporaries_in("/dev")]


def fifo(name):
    return lambda s: os.mkfifo(s.path(name))


def folder(name):
    return lambda s: os.mkdir(s.path(name))


def stdout_link_kept(s):
    """--timings /dev/stdout must leave the system's link a link."""
    before = os.lstat("/dev/stdout")
    problems = refused(["你好", "-o", "{out}/x.wav", "--timings",
                        "/dev/stdout"], 1, "/dev/stdout is in a system folder",
                       absent=["{out}/x.wav"])(s)
    after = os.lstat("/dev/stdout")
    if stat.S_IFMT(after.st_mode) != stat.S_IFMT(before.st_mode):
        problems.append("/dev/stdout changed its kind")
        if stat.S_ISLNK(before.st_mode):  # the system's link, put back
            os.unlink("/dev/stdout")
            os.symlink("/proc/self/fd/1", "/dev/stdout")
    return problems


# Permissions: a replaced file gives only its rwx bits, and only when it is
# this user's.

def replaced_mode(role, owner):
    def run(s):
        path = s.path("old")
        with open(path, "wb") as file:
            file.write(VICTIM)
        if owner == "another user":
            if os.geteuid() != 0:
                return []  # only root can give a file away
            os.chown(path, fi.NOBODY, fi.NOBODY)
        os.chmod(path, 0o6777 if owner == "another user" else 0o4750)
        args = (["你好", "-o", path] if role == "-o" else
                ["你好", "-o", s.path("x.wav"), "--timings", path])
        code, err = sf.say(s, args, preexec=lambda: os.umask(0o022))
        problems = sf.expect([], code, err, 0)
        mode = stat.S_IMODE(os.stat(path).st_mode)
        want = 0o644 if owner == "another user" else 0o750
        if mode != want:
            problems.append(f"mode {mode:04o}, expected {want:04o}")
        return problems
    return run


# Signals remove every temporary, the timings' too.

def terminated_with_timings(s):
    text = "今天天气很好，我们一起去公园散步吧。" * 1500
    process = subprocess.Popen(
        [sf.SAY, "--conf", s.conf, text, "-o", s.path("out/x.wav"),
         "--timings", s.path("out/t.jsonl")], env=fi.environment(s),
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, cwd=s.root)
    deadline = time.time() + 30
    while len(sf.temporaries_in(s.out)) < 2:
        if time.time() > deadline or process.poll() is not None:
            process.kill()
            process.wait()
            return [f"no two temporaries appeared ({os.listdir(s.out)})"]
        time.sleep(0.01)
    process.send_signal(signal.SIGTERM)
    process.communicate(timeout=30)
    problems = []
    if process.returncode != 128 + signal.SIGTERM:
        problems.append(f"exit {process.returncode}")
    if os.listdir(s.out):
        problems.append(f"left in the folder: {os.listdir(s.out)}")
    return problems


# Timings cover every sample, silence included.

SILENT_BREAKS = '<speak><break time="1s"/><break time="2s"/></speak>'


def silence_timed(args, stdin=None, pause=None):
    """`pause`: the (start, end) a pause entry must have, in seconds or as
    a function of the setup; None: the entries must tile the whole file."""
    def run(s):
        wav, timings = s.path("x.wav"), s.path("t.jsonl")
        code, err = sf.say(s, args + ["-o", wav, "--timings", timings],
                           stdin=stdin)
        problems = sf.expect([], code, err, 0)
        if problems:
            return problems
        header, lines = entries(timings)
        spans = [(e["start"], e["end"]) for e in lines]
        if pause is not None:
            want = pause(s)
            if not any(e.get("pause") and (e["start"], e["end"]) == want
                       for e in lines):
                problems.append(f"no pause {want}: {spans}")
            return problems
        total = frames(wav)
        ends = [0] + [end for _, end in spans]
        if (not spans or [start for start, _ in spans] != ends[:-1]
                or ends[-1] != total):
            problems.append(f"{spans} do not cover 0 to {total}")
        return problems
    return run


def after_one_text(s):
    start = frames(sf.wav_bytes(s, "你好", "one.wav")[0])
    return (start, start + 48000)


def break_is_the_pause(s):
    """A markup break is the pause at its place: 1500 ms adds 36,000
    samples to the words about it (a voice that gives durations)."""
    s.keys["fastspeech2_model_path"] = fi.ARGS.models + "/timed_acoustic.onnx"
    s.write_conf()
    problems, frames = [], []
    for args in (["你好世界"],
                 ["--ssml", '<speak>你好<break time="1500ms"/>世界</speak>']):
        code, err = sf.say(s, args + ["-o", s.path("x.wav")])
        sf.expect(problems, code, err, 0)
        if code == 0:
            with wave.open(s.path("x.wav")) as wav:
                frames.append(wav.getnframes())
    if len(frames) == 2 and frames[1] - frames[0] != 36000:
        problems.append(f"the break added {frames[1] - frames[0]} samples")
    return problems


def timings_per_file(s):
    """With --output-dir every entry names its WAV, counted in that WAV."""
    code, err = sf.say(s, ["--ssml", "--output-dir", s.path("od"),
                           "--timings", s.path("t.jsonl")],
                       stdin=(SILENT_BREAKS + "\n\n" + SILENT_BREAKS.replace(
                           "2s", "3s") + "\n").encode())
    problems = sf.expect([], code, err, 0)
    if problems:
        return problems
    _, lines = entries(s.path("t.jsonl"))
    got = [(e.get("file"), e["start"], e["end"]) for e in lines]
    want = [("0001.wav", 0, frames(s.path("od/0001.wav"))),
            ("0003.wav", 0, frames(s.path("od/0003.wav")))]
    if got != want:
        problems.append(f"entries {got}, expected {want}")
    return problems


# A timings destination that cannot be written is found before anything
# is spoken, and -o stays as it was.

def bad_destination(prepare, destination, needle):
    def run(s):
        s.write("x.wav", VICTIM)
        prepare(s)
        return refused(["你好", "-o", "{root}/x.wav", "--timings",
                        destination], 1, needle, victims=["x.wav"])(s)
    return run


def full_timings_disk(s):
    """A write that fails names the file (a file-size limit stands in for a
    full disk)."""
    def preexec():
        resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    code, err = sf.say(s, ["--ssml", "-o", "-", "--timings",
                           s.path("t.jsonl")], preexec=preexec,
                       stdin=((SILENT_BREAKS + "\n") * 40).encode())
    problems = sf.expect([], code, err, 1, [s.path("t.jsonl") + ": "])
    if os.path.exists(s.path("t.jsonl")):
        problems.append("a part of t.jsonl was put in place")
    return problems


def sortable_names(s):
    """A file of 10,000 lines, by -f or as standard input: every name has
    five digits."""
    lines = s.path("lines.txt")
    s.write("lines.txt", "\n\n你好\n" + "\n" * 9996 + "世界\n")

    def from_file():
        os.dup2(os.open(lines, os.O_RDONLY), 0)

    problems = []
    for args, preexec in ((["-f", lines], None), ([], from_file)):
        shutil.rmtree(s.path("od"), ignore_errors=True)
        code, err = sf.say(s, args + ["--output-dir", s.path("od")],
                           preexec=preexec)
        sf.expect(problems, code, err, 0)
        names = sorted(os.listdir(s.path("od")))
        if names != ["00003.wav", "10000.wav"]:
            problems.append(f"{args or 'standard input'}: names {names}")
    return problems


def relative_home(s):
    """A relative HOME is no cache folder under the current one."""
    s.keys["model_cache_path"] = "auto"
    s.write_conf()
    env = dict(fi.environment(s), HOME="home")
    env.pop("XDG_CACHE_HOME")
    done = subprocess.run([sf.SAY, "--conf", s.conf, "你好", "-o",
                           s.path("x.wav")], env=env, cwd=s.out,
                          capture_output=True, timeout=30)
    problems = sf.expect([], done.returncode, done.stderr.decode(), 0)
    if os.path.exists(s.path("out/home")):
        problems.append("a cache was made under the current folder")
    return problems


def reader_gone(s):
    """`-o - | head -c 1000`: the run ends quietly, as a filter's does."""
    text = "今天天气很好，我们一起去公园散步吧。" * 200
    process = subprocess.Popen(
        [sf.SAY, "--conf", s.conf, text, "-o", "-"], env=fi.environment(s),
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=s.root)
    process.stdout.read(1000)
    process.stdout.close()
    err = process.stderr.read().decode(errors="replace")
    process.wait(timeout=60)
    return sf.expect([], process.returncode, err, 128 + signal.SIGPIPE) + (
        [f"standard error: {err}"] if err else [])


CASES = [
    ("-o and --timings one file",
     refused(["你好", "-o", "{root}/same.wav", "--timings", "{root}/same.wav"],
             2, "are the same file", victims=["same.wav"])),
    ("--timings the -f file",
     refused(["-f", "{root}/in.txt", "-o", "{out}/x.wav", "--timings",
              "{root}/in.txt"], 2, "are the same file",
             absent=["{out}/x.wav"])),
    ("-o the -f file", refused(["-f", "{root}/in.txt", "-o", "{root}/in.txt"],
                               2, "are the same file")),
    ("--timings a link to -o",
     refused(["你好", "-o", "{root}/x.wav", "--timings", "{root}/t.jsonl"], 2,
             "are the same file", link("x.wav", "t.jsonl"), ["x.wav"])),
    ("-o a hard link of -f",
     refused(["-f", "{root}/in.txt", "-o", "{root}/x.wav"], 2,
             "are the same file", hard_link("in.txt", "x.wav"))),
    ("--timings DIR/0001.wav",
     refused(["-f", "{root}/in.txt", "--output-dir", "{root}/od",
              "--timings", "{root}/od/0001.wav"], 2, "--output-dir",
             output_dir_with(None))),
    ("-f a hard link of DIR/0001.wav",
     refused(["-f", "{root}/t.txt", "--output-dir", "{root}/od"], 2,
             "--output-dir", output_dir_with("t.txt"))),
    ("--timings /dev/stdout", stdout_link_kept),
    ("--output-dir in /dev",
     refused(["你好", "--output-dir", "/dev/tolvaren_say_fault"], 1,
             "is in a system folder", absent=["/dev/tolvaren_say_fault"])),
] + [
    (f"{role} replacing {owner}'s setuid file", replaced_mode(role, owner))
    for role in ("-o", "--timings") for owner in ("this user", "another user")
] + [
    ("SIGTERM with --timings", terminated_with_timings),
    ("breaks alone", silence_timed(["--ssml", SILENT_BREAKS])),
    ("--silence 1 and no word", silence_timed(["--silence", "1", "😀"])),
    ("a break-only line between two",
     silence_timed(["--ssml"], ("<speak>你好</speak>\n" + SILENT_BREAKS.replace(
         '<break time="1s"/>', "") + "\n<speak>你好</speak>\n").encode(),
         after_one_text)),
    ("--output-dir timings name their file", timings_per_file),
    ("a break is the pause there", break_is_the_pause),
] + [
    (f"--timings {what}", bad_destination(prepare, destination, needle))
    for what, prepare, destination, needle in (
        ("a FIFO", fifo("t"), "{root}/t", "is a FIFO"),
        ("a folder", folder("t"), "{root}/t", "is a folder"),
        ("/dev/full", lambda s: None, "/dev/full", "in a system folder"),
        ("in a missing folder", lambda s: None, "{root}/no/t.jsonl",
         "no/t.jsonl: No such file"))
] + [
    ("a full disk names the timings", full_timings_disk),
    ("-o and --timings to /dev/null", null_device),
    ("10,000 lines, one width", sortable_names),
    ("a relative HOME", relative_home),
    ("-o - into head", reader_gone),
] + [
    (name, sf.usage_error(args, needle)) for name, args, needle in (
        ("--device and -o", ["--device", "x", "-o", "x.wav", "你好"],
         "give --device or -o/--output-dir, not both"),
        ('--timings ""', ["--timings", "", "-o", "x.wav", "你好"],
         "the name given to --timings is empty"),
        ("an empty text", ["-o", "x.wav", ""], "the text given is empty"))
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--say", required=True)
    parser.add_argument("--models", required=True)
    parser.add_argument("--jieba-dict", required=True)
    parser.add_argument("cases", nargs="*")
    fi.ARGS = parser.parse_args()
    sf.SAY = os.path.abspath(fi.ARGS.say)
    fi.ARGS.models = os.path.abspath(fi.ARGS.models)
    fi.ARGS.jieba_dict = os.path.abspath(fi.ARGS.jieba_dict)
    chosen = [c for c in CASES if not fi.ARGS.cases or c[0] in fi.ARGS.cases]
    def prepare(setup):
        # Timings spell the pinyin with the table beside word2phone.
        shutil.copy(sf.PHONE_TABLE, setup.path("phones.tsv"))

    return fi.run_cases(chosen, prepare)


if __name__ == "__main__":
    sys.exit(main())
