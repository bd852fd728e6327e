#!/usr/bin/python3
"""Fault injection: the built tolvaren_tts against hostile folders, files,
models, configurations and processes.

  fault_injection.py --tool TOOL --wav TOOL_WAV --models DIR --jieba-dict DIR
                     [--lines N] [CASE ...]

Each case starts the real executable on a fresh configuration folder (the
fixture front end below, the small test models) with the console log off, so
that what it checks is what a user without a log sees: the exit status, the
files in the output folder and standard error, which must name the file and
the reason of every failure. Cases are a table; a case is named on the
command line to run it alone.

As root the suite re-runs itself in a private mount namespace, so the tmpfs
mounts it makes vanish with it; without root (or where mounting is refused)
those cases print "SKIP: <case>: <reason>" and do not count as failures.
"""

import argparse
import dataclasses
import os
import random
import re
import resource
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import time
from typing import Callable, List, Optional, Sequence

# What WriteChunkFile names its temporary files: a hidden prefix and
# mkstemp's six letters or digits.
TEMPORARY = re.compile(r"\.tolvaren_tts\.[0-9A-Za-z]{6}\Z")
NOBODY = 65534
DAY = 86400

WORD2PHONE = ("你 n i3\n好 h ao3\n你好 n i3 h ao3\n世 sh iii4\n界 j ie4\n"
              "世界 sh iii4 j ie4\n再 z ai4\n见 j ian4\n再见 z ai4 j ian4\n")
PHONE2ID = ("n 1\ni2 2\ni3 3\nh 4\nao3 5\nsh 6\niii4 7\nj 8\nie4 9\nz 10\n"
            "ai4 11\nian4 12\nsp 13\n")
# Eight texts with eight different files.
TEXTS = ["你好", "世界", "再见", "你", "好", "世", "界", "见"]
# The longest name a text may have is 255 bytes: 84 characters are 252.
LONG_TEXT = "你好世界再见" * 14
REVERSED_LONG_TEXT = LONG_TEXT[::-1]
TOO_LONG_TEXT = "你" * 86  # 258 bytes

ARGS = None
REFERENCE = {}  # text -> the bytes of its file from an undisturbed run


class Skip(Exception):
    """A case whose setting this machine does not allow."""


@dataclasses.dataclass
class Result:
    code: int  # negative: killed by that signal; None: timed out
    stderr: str
    problems: List[str] = dataclasses.field(default_factory=list)

    def errors(self):
        # The front end echoes every key of its configuration (paths
        # included) on standard error; a needle must match the failure
        # lines, not that echo.
        return "\n".join(line for line in self.stderr.splitlines()
                         if not line.startswith("Key: "))


class Setup:
    """A configuration folder: fixture front end, test models, output folder
    and text file, all readable by an unprivileged user."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="tolvaren_faults_")
        os.chmod(self.root, 0o755)
        self.out = self.path("out")
        os.mkdir(self.out)
        self.texts = self.path("texts.txt")
        self.conf = self.path("tool.conf")
        self.mounts = []
        self.write("word2phone.dict", WORD2PHONE)
        self.write("phone2id.dict", PHONE2ID)
        self.write("tone2id.dict", "")
        self.write("idf.utf8", "的 1.0\n")
        self.write("stop_words.utf8", "的\n")
        self.write("user.dict.utf8", "")
        front = {
            "jieba_dict_path": ARGS.jieba_dict + "/jieba.dict.utf8",
            "jieba_hmm_path": ARGS.jieba_dict + "/hmm_model.utf8",
            "jieba_user_dict_path": self.path("user.dict.utf8"),
            "jieba_idf_path": self.path("idf.utf8"),
            "jieba_stop_word_path": self.path("stop_words.utf8"),
            "seperate_tone": "false",
            "word2phone_path": self.path("word2phone.dict"),
            "phone2id_path": self.path("phone2id.dict"),
            "tone2id_path": self.path("tone2id.dict"),
        }
        self.write("front.conf", key_lines(front))
        self.keys = {
            "wav_path": self.out,
            "text_path": self.texts,
            "fastspeech2_model_path": ARGS.models + "/acoustic.onnx",
            "hifigan_model_path": ARGS.models + "/vocoder.onnx",
            "front_conf_path": self.path("front.conf"),
        }
        self.write_conf()

    def path(self, name):
        return os.path.join(self.root, name)

    def write(self, name, contents):
        data = contents.encode() if isinstance(contents, str) else contents
        with open(self.path(name), "wb") as file:
            file.write(data)
        return self.path(name)

    def write_conf(self, extra=""):
        self.write("tool.conf", key_lines(self.keys) + extra)

    def names(self):
        return {"out": self.out, "root": self.root, "texts": self.texts,
                "models": ARGS.models, "conf": self.conf}

    def out_entries(self):
        return sorted(os.listdir(self.out))

    def mount_tmpfs(self, where, options):
        if os.geteuid() != 0:
            raise Skip("mounting a tmpfs needs root")
        mounted = subprocess.run(
            ["mount", "-t", "tmpfs", "-o", options, "tmpfs", where],
            capture_output=True, text=True)
        if mounted.returncode != 0:
            raise Skip("mount refused: " + mounted.stderr.strip())
        self.mounts.append(where)

    def remount_read_only(self, where):
        subprocess.run(["mount", "-o", "remount,ro", where], check=True)

    def close(self):
        for where in reversed(self.mounts):
            subprocess.run(["umount", "-l", where], check=False)
        for folder, subfolders, _ in os.walk(self.root):
            for name in subfolders:  # a read-only folder's files too
                os.chmod(os.path.join(folder, name), 0o755)
        shutil.rmtree(self.root, ignore_errors=True)


def key_lines(keys):
    return "".join(f"--{key}={value}\n" for key, value in keys.items())


def environment(setup, conf=None):
    # The runtime keeps a database under $HOME/.cache that grows with every
    # start: a home that does not exist keeps the runs from writing there
    # (and that file out of the file-size limit of a case).
    return dict(os.environ, TOLVAREN_TTS_CONF=conf or setup.conf,
                SPDLOG_STDOUT="false", SPDLOG_SYSTEMD="false",
                SPDLOG_LEVEL="info", HOME=setup.path("no_home"),
                XDG_CACHE_HOME=setup.path("no_home"))


def run_tool(setup, args=None, conf=None, timeout=60, preexec=None):
    """Runs the tool: file mode when `args` is None."""
    try:
        done = subprocess.run([ARGS.tool] + list(args or []),
                              env=environment(setup, conf),
                              stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, timeout=timeout,
                              preexec_fn=preexec)
    except subprocess.TimeoutExpired as expired:
        return Result(None, (expired.stderr or b"").decode(errors="replace"))
    return Result(done.returncode, done.stderr.decode(errors="replace"))


def start_tool(setup, args=None, conf=None):
    return subprocess.Popen([ARGS.tool] + list(args or []),
                            env=environment(setup, conf),
                            stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)


def peak_kib(setup, args=None):
    """The tool's peak resident set in KiB, from getrusage(RUSAGE_CHILDREN)
    in a fresh parent that has waited for nothing else."""
    probe = ("import resource, subprocess, sys\n"
             "code = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL,"
             " stderr=subprocess.DEVNULL).returncode\n"
             "peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss\n"
             "print(code, peak)\n")
    done = subprocess.run([sys.executable, "-c", probe, ARGS.tool] +
                          list(args or []), env=environment(setup),
                          capture_output=True, text=True, check=True)
    code, peak = done.stdout.split()
    return int(code), int(peak)


def write_lines(setup, lines, ending="\n"):
    data = "".join(line + ending for line in lines)
    setup.write("texts.txt", data.encode("utf-8", "surrogateescape"))


# Whole files.

def chunk_file_problem(path):
    """Why `path` is not a whole chunk file (None when it is one)."""
    with open(path, "rb") as file:
        data = file.read()
    if len(data) < 8:
        return f"{path}: {len(data)} bytes, shorter than a chunk count"
    (count,) = struct.unpack_from("<Q", data)
    if 8 + 8 * count > len(data):
        return f"{path}: {count} chunks do not fit in {len(data)} bytes"
    samples = sum(struct.unpack_from(f"<{count}Q", data, 8))
    if 8 + 8 * count + 4 * samples != len(data):
        return (f"{path}: its counts need {8 + 8 * count + 4 * samples} "
                f"bytes, it has {len(data)}")
    return None


def soxi_problems(path, header_bytes, sample_bytes):
    """Why soxi does not read `path` silently at its real length."""
    samples = (os.path.getsize(path) - header_bytes) // sample_bytes
    done = subprocess.run(["soxi", "-s", path], capture_output=True,
                          text=True)
    if done.returncode != 0 or done.stderr or \
            done.stdout.strip() != str(samples):
        return [f"soxi {path}: {done.stdout.strip()} samples, expected "
                f"{samples}: {done.stderr.strip()}"]
    return []


def wav_problem(setup, path):
    """Why the WAV file that tolvaren_tts_wav makes of `path` is not whole:
    its RIFF length and its data chunk must match its size."""
    wav = os.path.join(setup.root, "check.wav")
    done = subprocess.run([ARGS.wav, path, wav], capture_output=True,
                          text=True)
    if done.returncode != 0:
        return (f"tolvaren_tts_wav {path}: exit {done.returncode}: "
                f"{done.stderr}")
    with open(wav, "rb") as file:
        data = file.read()
    soxi = soxi_problems(wav, 58, 4)
    os.unlink(wav)
    if soxi:
        return soxi[0]
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        return f"{path}: the WAV file has no RIFF/WAVE header"
    if struct.unpack_from("<I", data, 4)[0] != len(data) - 8:
        return f"{path}: the RIFF length does not match the WAV file's size"
    at = 12
    while at + 8 <= len(data):
        tag, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        if tag == b"data":
            if at + 8 + size != len(data):
                return f"{path}: the data chunk does not match the file size"
            return None
        at += 8 + size + (size & 1)
    return f"{path}: the WAV file has no data chunk"


def whole_problems(setup, texts, convert=False):
    """Each text's file exists, is a regular file and holds exactly what an
    undisturbed run writes for it (and, with `convert`, converts to a whole
    WAV file)."""
    problems = []
    for text in texts:
        path = os.path.join(setup.out, text)
        if not os.path.lexists(path):
            problems.append(f"{path} is missing")
            continue
        if not stat.S_ISREG(os.lstat(path).st_mode):
            problems.append(f"{path} is not a regular file")
            continue
        problem = chunk_file_problem(path)
        if problem is None and convert:
            problem = wav_problem(setup, path)
        if problem is None and text in REFERENCE:
            with open(path, "rb") as file:
                if file.read() != REFERENCE[text]:
                    problem = f"{path} differs from an undisturbed run's file"
        if problem:
            problems.append(problem)
    return problems


def temporaries(setup):
    return [name for name in setup.out_entries() if TEMPORARY.match(name)]


# Case settings (prepare): each changes a fresh Setup.

def text_lines(*lines, ending="\n"):
    return lambda s: write_lines(s, lines, ending)


def conf_keys(extra="", **keys):
    def prepare(s):
        s.keys.update({k: v.format(**s.names()) for k, v in keys.items()})
        s.write_conf(extra.format(**s.names()))
    return prepare


def in_turn(*prepares):
    def prepare(s):
        for step in prepares:
            step(s)
    return prepare


def full_tmpfs(s):
    s.mount_tmpfs(s.out, "size=256k")
    with open(s.path("out/filler"), "wb", buffering=0) as filler:
        try:
            while filler.write(b"\0" * 4096):
                pass
        except OSError:
            pass  # full
    write_lines(s, ["你好", "世界"])


def read_only_tmpfs(s):
    s.mount_tmpfs(s.out, "size=1m")
    s.write("out/你好", b"old")
    s.remount_read_only(s.out)


def read_only_folder(s):
    s.write("out/你好", b"old")
    os.chmod(s.out, 0o555)
    # As nobody, the tool must still reach what it reads.
    needed = [ARGS.tool, ARGS.models + "/acoustic.onnx",
              ARGS.models + "/vocoder.onnx",
              ARGS.jieba_dict + "/jieba.dict.utf8", s.conf]
    probe = ("import os, sys\n"
             "sys.exit(not all(os.access(p, os.R_OK) for p in sys.argv[1:]))")
    if subprocess.run([sys.executable, "-c", probe] + needed,
                      preexec_fn=as_unprivileged).returncode != 0:
        raise Skip("an unprivileged user cannot read the build from here")


def as_unprivileged():
    # Root writes into a read-only folder regardless: the tool runs as
    # nobody there, to meet the permission it checks.
    if os.geteuid() == 0:
        os.setgid(NOBODY)
        os.setuid(NOBODY)


def planted(kind):
    def prepare(s):
        target = s.path("out/你好")
        if kind == "link":
            s.write("victim", b"victim")
            os.symlink(s.path("victim"), target)
        elif kind == "fifo":
            os.mkfifo(target)
        else:
            os.mkdir(target)
    return prepare


def faulty_model(role, fault):
    """The `role` model ("acoustic" or "vocoder") replaced by a faulty file."""
    key = {"acoustic": "fastspeech2_model_path",
           "vocoder": "hifigan_model_path"}[role]

    def prepare(s):
        with open(s.keys[key], "rb") as file:
            valid = file.read()
        if fault == "empty":
            data = b""
        elif fault == "truncated":
            data = valid[:len(valid) // 2]
        elif fault == "random":
            data = random.Random(19).randbytes(4096)
        else:  # the other model: valid ONNX of the wrong types and shapes
            other = "vocoder" if role == "acoustic" else "acoustic"
            with open(f"{ARGS.models}/{other}.onnx", "rb") as file:
                data = file.read()
        s.keys[key] = s.write(f"{role}_{fault}.onnx", data)
        s.write_conf()
    return prepare


def built_model(role, name):
    key = {"acoustic": "fastspeech2_model_path",
           "vocoder": "hifigan_model_path"}[role]
    return conf_keys(**{key: "{models}/" + name})


def resource_file(name, contents):
    return lambda s: s.write(name, contents)


def segmenter_file(key, contents):
    """One segmenter file of the front configuration replaced by `contents`
    (the other files stay the shipped ones)."""
    def prepare(s):
        path = s.write(key + ".utf8", contents)
        front = s.path("front.conf")
        with open(front, encoding="utf-8") as file:
            lines = [f"--{key}={path}" if line.startswith(f"--{key}=")
                     else line for line in file.read().splitlines()]
        s.write("front.conf", "\n".join(lines) + "\n")
    return prepare


def conf_file(contents):
    """The tool's configuration replaced by `contents` (a folder for None)."""
    def prepare(s):
        os.unlink(s.conf)
        if contents is None:
            os.mkdir(s.conf)
        else:
            s.write("tool.conf", contents)
    return prepare


# Custom drivers: several processes, kills and measurements.

def concurrent(processes, same):
    """`processes` tools at once in one folder, 20 lines each: all of them
    the same three texts, or each its own text."""
    def run(s):
        starts = []
        for i in range(processes):
            texts = TEXTS[:3] if same else [TEXTS[i]]
            lines = (texts * 20)[:20]
            s.write(f"texts{i}.txt", "".join(t + "\n" for t in lines))
            s.keys["text_path"] = s.path(f"texts{i}.txt")
            s.write(f"tool{i}.conf", key_lines(s.keys))
            starts.append(start_tool(s, conf=s.path(f"tool{i}.conf")))
        result = Result(0, "")
        for process in starts:
            _, stderr = process.communicate(timeout=120)
            result.stderr += stderr.decode(errors="replace")
            result.code = max(result.code, process.returncode,
                              key=lambda c: abs(c))
        written = TEXTS[:3] if same else TEXTS[:processes]
        result.problems = whole_problems(s, written, convert=True)
        extra = set(s.out_entries()) - set(written)
        if extra:
            result.problems.append(f"unexpected entries: {sorted(extra)}")
        return result
    return run


def limit_file_size(ignore_signal):
    """A file-size limit below the long text's file: with SIGXFSZ ignored the
    write fails (EFBIG); by default the kernel kills the tool in mid-write,
    which leaves its temporary file as a kill at that moment would."""
    def preexec():
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        resource.setrlimit(resource.RLIMIT_FSIZE, (65536, 65536))
        if ignore_signal:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    return lambda s: run_tool(s, [LONG_TEXT], preexec=preexec)


def killed_mid_write(s):
    """The kernel's kill in mid-write, then what later runs make of it."""
    result = limit_file_size(False)(s)
    problems = result.problems
    left = temporaries(s)
    if result.code != -signal.SIGXFSZ or len(left) != 1:
        problems.append(f"expected one temporary file after SIGXFSZ, found "
                        f"{s.out_entries()} (exit {result.code})")
        return result
    if os.path.lexists(os.path.join(s.out, LONG_TEXT)):
        problems.append("the final name exists after the kill")
    stale = os.path.join(s.out, left[0])
    # The converter refuses the partial file, naming it.
    converted = subprocess.run([ARGS.wav, stale, s.path("x.wav")],
                               capture_output=True, text=True)
    if converted.returncode != 1 or stale not in converted.stderr:
        problems.append(f"tolvaren_tts_wav on {stale}: exit "
                        f"{converted.returncode}: {converted.stderr}")
    # A later run writes the text whole and leaves a young temporary file
    # alone (it may belong to a run still writing).
    again = run_tool(s, [LONG_TEXT])
    problems += whole_problems(s, [LONG_TEXT])
    if again.code != 0 or not os.path.exists(stale):
        problems.append(f"second run: exit {again.code}, young temporary "
                        f"file {'kept' if os.path.exists(stale) else 'gone'}")
    # Older than a day: start-up removes it, and nothing else that is old.
    others = [".tolvaren_tts.abc", "tolvaren_tts.abcdef",
              ".tolvaren_tts.ab-def"]
    for name in others:
        s.write("out/" + name, b"x")
    for name in others + [left[0], LONG_TEXT]:
        old = time.time() - 2 * DAY
        os.utime(os.path.join(s.out, name), (old, old))
    started = run_tool(s, ["start", "up", "only"])
    expected = sorted(others + [LONG_TEXT])
    if started.code != 0 or s.out_entries() != expected:
        problems.append(f"start-up left {s.out_entries()} (exit "
                        f"{started.code}), expected {expected}")
    return result


def killed_during_run(s):
    """SIGKILL at several moments of a file-mode run that rewrites two long
    texts over and over: whatever the moment, a file under a final name is
    whole, and nothing else but temporary files is left."""
    texts = [LONG_TEXT, REVERSED_LONG_TEXT]
    write_lines(s, texts * 20)
    result = Result(-signal.SIGKILL, "")
    for delay in (0.0, 0.002, 0.005, 0.01, 0.02):
        for text in texts:  # each round waits for its own first file
            if os.path.exists(os.path.join(s.out, text)):
                os.unlink(os.path.join(s.out, text))
        process = start_tool(s)
        deadline = time.time() + 60
        while not os.path.exists(os.path.join(s.out, texts[0])):
            if process.poll() is not None or time.time() > deadline:
                break
            time.sleep(0.0005)
        time.sleep(delay)
        process.kill()
        process.communicate()
        if process.returncode != -signal.SIGKILL:
            result.problems.append(f"exit {process.returncode} before the "
                                   "kill: the run was too short to kill")
        present = [t for t in texts if os.path.exists(os.path.join(s.out, t))]
        result.problems += whole_problems(s, present)
        rest = set(s.out_entries()) - set(texts) - set(temporaries(s))
        if rest:
            result.problems.append(f"unexpected entries: {sorted(rest)}")
    return result


def flat_memory(s):
    """Peak memory of a long text file against a 20-line one: no more than
    the largest single text's working set on top, with headroom."""
    lines = ARGS.lines
    if lines == 0:
        raise Skip("not measured in this build (--lines 0)")
    try:
        # Creating and renaming 100,000 files costs the disk three times the
        # synthesis; the comparison holds on either.
        s.mount_tmpfs(s.out, "size=64m")
    except Skip:
        pass
    write_lines(s, (TEXTS[:3] * (lines // 3 + 1))[:lines])
    code, peak_many = peak_kib(s)
    write_lines(s, (TEXTS[:3] * 7)[:20])
    _, peak_twenty = peak_kib(s)
    _, peak_start = peak_kib(s, ["start", "up", "only"])
    _, peak_long = peak_kib(s, [LONG_TEXT])
    working_set = max(0, peak_long - peak_start)
    headroom = 8 * 1024 + peak_twenty // 20
    bound = peak_twenty + working_set + headroom
    result = Result(code, f"peak {peak_many} KiB over {lines} lines; "
                          f"20 lines {peak_twenty} KiB, the long text's "
                          f"working set {working_set} KiB, bound {bound} KiB")
    if peak_many > bound:
        result.problems.append(result.stderr)
    result.problems += whole_problems(s, TEXTS[:3])
    return result


@dataclasses.dataclass
class Case:
    name: str
    prepare: Optional[Callable] = None  # (Setup) -> None; may raise Skip
    args: Optional[Sequence[str]] = None  # None: file mode
    code: int = 0
    # On standard error (formatted with Setup.names()): the file and the
    # reason of a failure.
    stderr: Sequence[str] = ()
    whole: Sequence[str] = ()  # texts whose files equal an undisturbed run's
    absent: Sequence[str] = ()  # texts that have no file afterwards
    check: Optional[Callable] = None  # (Setup) -> problems
    run: Optional[Callable] = None  # (Setup) -> Result, instead of one run
    timeout: int = 60
    preexec: Optional[Callable] = None


def kept_old(s):
    with open(os.path.join(s.out, "你好"), "rb") as file:
        return [] if file.read() == b"old" else ["the old file was changed"]


def victim_untouched(s):
    problems = []
    with open(s.path("victim"), "rb") as file:
        if file.read() != b"victim":
            problems.append("the link's target was written through")
    return problems


def still_a(kind):
    test = {"fifo": stat.S_ISFIFO, "folder": stat.S_ISDIR}[kind]
    return lambda s: ([] if test(os.lstat(s.path("out/你好")).st_mode)
                      else ["the planted entry was replaced"])


def only_files(*names):
    def check(s):
        entries = s.out_entries()
        return ([] if entries == sorted(names)
                else [f"output folder: {entries}"])
    return check


OUT_FILE = "{out}/你好"
NOT_REGULAR = "is not a regular file"
SHORT = ["你好"]  # the text of most cases

CASES = [
    # Output folders.
    Case("full tmpfs, file mode", full_tmpfs, code=2,
         # The error named is the second line's: it was still tried.
         stderr=["{out}/世界", "No space left on device"],
         absent=["你好", "世界"]),
    Case("read-only tmpfs", read_only_tmpfs, SHORT, code=2,
         stderr=[OUT_FILE, "Read-only file system"], check=kept_old),
    Case("read-only folder", read_only_folder, SHORT, code=2,
         stderr=[OUT_FILE, "Permission denied"], check=kept_old,
         preexec=as_unprivileged),
    Case("output folder missing", conf_keys(wav_path="{root}/missing"),
         SHORT, code=2,
         stderr=["{root}/missing/你好", "No such file or directory"]),
    Case("file size limit, SIGXFSZ ignored", run=limit_file_size(True),
         code=2, stderr=["{out}/" + LONG_TEXT, "File too large"],
         absent=[LONG_TEXT]),
    # Kills.
    Case("killed in mid-write, then start-ups", run=killed_mid_write,
         code=-signal.SIGXFSZ),
    Case("SIGKILL during a file-mode run", run=killed_during_run,
         code=-signal.SIGKILL),
    # Several writers in one folder.
    Case("2 processes, same texts", run=concurrent(2, True)),
    Case("2 processes, different texts", run=concurrent(2, False)),
    Case("8 processes, same texts", run=concurrent(8, True)),
    Case("8 processes, different texts", run=concurrent(8, False)),
    # Entries planted at the output name.
    Case("symbolic link", planted("link"), SHORT, whole=SHORT,
         check=victim_untouched),
    Case("FIFO", planted("fifo"), SHORT, code=2, timeout=20,
         stderr=[OUT_FILE, NOT_REGULAR], check=still_a("fifo")),
    Case("folder", planted("folder"), SHORT, code=2,
         stderr=[OUT_FILE, NOT_REGULAR], check=still_a("folder")),
    # Text file lines.
    Case("NUL in a line", text_lines("你好", "你好\0世界", "世界"),
         code=2,
         stderr=["line 2 of {texts} holds a NUL byte"],
         whole=["你好", "世界"], check=only_files("你好", "世界")),
    Case("CR LF and a BOM",
         text_lines("\ufeff你好", "世界", ending="\r\n"),
         whole=["你好", "世界"], check=only_files("你好", "世界")),
    # With an acoustic model that makes no frames, a text that reached
    # synthesis would fail for that reason instead.
    Case("text over 255 bytes",
         built_model("acoustic", "no_frames_acoustic.onnx"), [TOO_LONG_TEXT],
         code=2, absent=[TOO_LONG_TEXT],
         stderr=["{out}/" + TOO_LONG_TEXT, "the file name is 258 bytes long"]),
    # Models that do not load: start-up fails, naming the file.
    *[Case(f"{role} model {fault}", faulty_model(role, fault), SHORT,
           code=1, absent=SHORT,
           stderr=["Load model from {root}/" + f"{role}_{fault}.onnx failed"])
      for role in ("acoustic", "vocoder")
      for fault in ("empty", "truncated", "random")],
    # Valid models of the wrong input types and shapes load; the runtime
    # refuses the first text given to them, and that text fails.
    *[Case(f"{role} model of the wrong shapes", faulty_model(role, "swapped"),
           SHORT, code=2, absent=SHORT,
           stderr=["model {root}/" + f"{role}_swapped.onnx: ",
                   "Unexpected input data type"])
      for role in ("acoustic", "vocoder")],
    # Models whose outputs are unusable: that text fails.
    *[Case(name, built_model(role, model), SHORT, code=2, absent=SHORT,
           stderr=["{models}/" + model, reason])
      for name, role, model, reason in (
          ("acoustic model without frames", "acoustic",
           "no_frames_acoustic.onnx", "gave no frames"),
          ("vocoder without samples", "vocoder", "no_samples_vocoder.onnx",
           "gave no samples"),
          ("vocoder with NaN", "vocoder", "nan_vocoder.onnx", "NaN"))],
    # Resource tables: start-up fails, naming the file.
    Case("empty phone2id", resource_file("phone2id.dict", ""), SHORT,
         code=1, stderr=["{root}/phone2id.dict holds no phone ids"]),
    Case("empty word2phone", resource_file("word2phone.dict", ""), SHORT,
         code=1, stderr=["{root}/word2phone.dict holds no pronunciations"]),
    Case("phone2id without sp",
         resource_file("phone2id.dict", PHONE2ID.replace("sp 13\n", "")),
         SHORT, code=1,
         stderr=["{root}/phone2id.dict gives no non-zero id to 1 phones: "
                 '"sp"']),
    # Segmenter files: cppjieba would end the process on each of these;
    # start-up fails instead, naming the file and the line.
    *[Case(f"segmenter {name}", segmenter_file(key, contents), SHORT,
           code=1, absent=SHORT,
           stderr=["Bad jieba file: {root}/" + key + ".utf8", where])
      for name, key, contents, where in (
          ("dictionary with one bad line", "jieba_dict_path",
           "你好 30 l\n世界 20\n", "line 2"),
          ("dictionary empty", "jieba_dict_path", "", "has no words"),
          ("HMM model empty", "jieba_hmm_path", "", "start row"),
          ("HMM model random", "jieba_hmm_path",
           random.Random(3).randbytes(4096), "line "),
          ("HMM model truncated", "jieba_hmm_path",
           "-0.2 -3e+100 -3e+100 -1.4\n-3e+100 -0.5 -0.9 -3e+100\n",
           "transition rows"),
          ("user dictionary with a bad line", "jieba_user_dict_path",
           "你好 1 n extra\n", "line 1"))],
    # Configuration files. One without keys leaves every path empty, the
    # front end's too, and start-up fails on that empty path.
    Case("empty configuration", conf_file(""), SHORT, code=1,
         stderr=["cannot create the text front end from : "]),
    Case("binary configuration", conf_file(random.Random(7).randbytes(8192)),
         SHORT, code=1, stderr=["cannot create the text front end from : "]),
    Case("configuration is a folder", conf_file(None), SHORT, code=1,
         stderr=["cannot read the configuration file {conf}"]),
    Case("2 MB line in the configuration",
         conf_keys(extra="#" + "x" * (2 << 20) + "\n"), SHORT, whole=SHORT),
    Case("duplicate keys: the last wins",
         in_turn(conf_keys(wav_path="{root}/missing"),
                 conf_keys(extra="--wav_path={out}\n")), SHORT, whole=SHORT),
    Case("intra_op_num_threads 0: one per core",
         conf_keys(intra_op_num_threads="0"), SHORT, whole=SHORT),
    *[Case(f"{key} {value}", conf_keys(**{key: value}), SHORT, code=1,
           stderr=["{conf}: " + f"{key} is {value}, a whole number from"])
      for key, value in (("inter_op_num_threads", "0"),
                         ("intra_op_num_threads", "-1"),
                         ("inter_op_num_threads", "99999999999"),
                         ("intra_op_num_threads", "two"))],
    # Memory over a long text file.
    Case("long text file: flat memory", run=flat_memory),
]

def run_case(case):
    setup = Setup()
    try:
        if case.prepare:
            case.prepare(setup)
        if case.run:
            result = case.run(setup)
        else:
            result = run_tool(setup, case.args, timeout=case.timeout,
                              preexec=case.preexec)
        problems = list(result.problems)
        if result.code != case.code:
            problems.append(f"exit {result.code}, expected {case.code}")
        errors = result.errors()
        for needle in case.stderr:
            needle = needle.format(**setup.names())
            if needle not in errors:
                problems.append(f"standard error lacks {needle!r}")
        problems += whole_problems(setup, case.whole)
        for text in case.absent:
            if os.path.lexists(os.path.join(setup.out, text)):
                problems.append(f"{text} was written")
        if not case.run:
            if temporaries(setup):
                problems.append(f"temporary files left: {temporaries(setup)}")
        if case.check:
            problems += case.check(setup)
        return result, problems
    finally:
        setup.close()


def run_cases(chosen, prepare=None):
    """Runs each (name, case) of `chosen` in a Setup of its own (after
    prepare(setup), where given): case(setup) returns its problems; a case
    that raises Skip is skipped and one that raises anything else fails.
    Prints a line a case and the count; returns the exit status."""
    failed = 0
    for name, case in chosen:
        setup = Setup()
        started = time.time()
        try:
            if prepare is not None:
                prepare(setup)
            problems = case(setup)
        except Skip as skip:
            print(f"SKIP: {name}: {skip}", flush=True)
            continue
        except Exception as error:  # a broken case is a failure, not a crash
            problems = [f"{type(error).__name__}: {error}"]
        finally:
            setup.close()
        print(f"{'FAIL' if problems else 'PASS'}: {name} "
              f"({time.time() - started:.1f} s)", flush=True)
        for problem in problems:
            print("    " + problem)
        failed += bool(problems)
    print(f"{len(chosen) - failed} of {len(chosen)} cases passed or skipped")
    return 1 if failed else 0


def excerpt(result):
    lines = [line for line in result.errors().splitlines() if line.strip()]
    text = lines[-1] if lines else ""
    return text if len(text) <= 160 else text[:157] + "..."


def make_references():
    setup = Setup()
    try:
        texts = TEXTS + [LONG_TEXT, REVERSED_LONG_TEXT]
        write_lines(setup, texts)
        done = run_tool(setup, timeout=120)
        problems = ([] if done.code == 0
                    else [f"exit {done.code}: {done.stderr}"])
        problems += whole_problems(setup, texts, convert=True)
        if problems:
            return problems
        for text in texts:
            with open(os.path.join(setup.out, text), "rb") as file:
                REFERENCE[text] = file.read()
        return problems
    finally:
        setup.close()


def in_private_mount_namespace():
    """Re-runs the suite in its own mount namespace when that is allowed, so
    that no mount of a case outlives the run."""
    if os.geteuid() != 0 or os.environ.get("TOLVAREN_FAULTS_NAMESPACE"):
        return
    unshare = shutil.which("unshare")
    if unshare is None or subprocess.run(
            [unshare, "--mount", "--propagation", "private", "true"],
            capture_output=True).returncode != 0:
        return
    os.environ["TOLVAREN_FAULTS_NAMESPACE"] = "1"
    os.execv(unshare, [unshare, "--mount", "--propagation", "private",
                       sys.executable] + sys.argv)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tool", required=True)
    parser.add_argument("--wav", required=True)
    parser.add_argument("--models", required=True)
    parser.add_argument("--jieba-dict", required=True)
    parser.add_argument("--lines", type=int, default=100000)
    parser.add_argument("cases", nargs="*")
    ARGS = parser.parse_args()
    in_private_mount_namespace()

    problems = make_references()
    if problems:
        print("FAIL: undisturbed run:", *problems, sep="\n  ")
        return 1
    chosen = [c for c in CASES if not ARGS.cases or c.name in ARGS.cases]
    failed = 0
    for case in chosen:
        started = time.time()
        try:
            result, problems = run_case(case)
        except Skip as skip:
            print(f"SKIP: {case.name}: {skip}", flush=True)
            continue
        seconds = time.time() - started
        verdict = "FAIL" if problems else "PASS"
        print(f"{verdict}: {case.name} ({seconds:.1f} s): exit {result.code}"
              f" | {excerpt(result)}", flush=True)
        for problem in problems:
            print("    " + problem)
        failed += bool(problems)
    print(f"{len(chosen) - failed} of {len(chosen)} cases passed or skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
