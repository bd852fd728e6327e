#!/usr/bin/python3
"""Fault injection for tolvaren_say: hostile inputs, outputs, streams and
signals.

  say_faults.py --say SAY --front FRONT --models DIR --jieba-dict DIR
                [CASE ...]

Each case starts the real tolvaren_say (or tolvaren_tts_front) on a fresh
configuration folder from fault_injection.py (the fixture front end, the
small test models) and checks what a user sees: the exit status, the files
left in the folders and standard error, which names the file and the reason
of each failure, once. Cases are a table; name one to run it alone.
"""

import argparse
import os
import resource
import shutil
import signal
import stat
import subprocess
import sys
import time

import fault_injection as fi

SAY = None
FRONT = None
OLD = time.time() - 2 * fi.DAY
PHONE_TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                           "../../resources/dict/phones.tsv")
TEMPORARY_NAME = ".tolvaren_tts.abc123"


def say(s, args, stdin=None, timeout=30, stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE, cwd=None, preexec=None):
    """Runs tolvaren_say on the setup's configuration; the exit status is
    None when it ran past `timeout`."""
    try:
        done = subprocess.run([SAY, "--conf", s.conf] + args,
                              env=fi.environment(s), input=stdin,
                              stdout=stdout, stderr=stderr, timeout=timeout,
                              cwd=cwd or s.root, preexec_fn=preexec)
    except subprocess.TimeoutExpired:
        return None, ""
    return done.returncode, (done.stderr or b"").decode(errors="replace")


def expect(problems, code, err, want_code, needles=(), once=None):
    if code != want_code:
        problems.append(f"exit {code}, expected {want_code}: {err[-300:]}")
    for needle in needles:
        if needle not in err:
            problems.append(f"standard error lacks {needle!r}: {err[-300:]}")
    if once is not None and err.count(once) != 1:
        problems.append(f"{once!r} printed {err.count(once)} times: {err}")
    return problems


def wav_bytes(s, text, name="ref.wav"):
    path = s.path(name)
    code, err = say(s, [text, "-o", path])
    if code != 0:
        raise AssertionError(f"reference run: exit {code}: {err}")
    with open(path, "rb") as file:
        return path, file.read()


def temporaries_in(folder):
    return [n for n in os.listdir(folder) if fi.TEMPORARY.match(n)]


def plant_old_temporary(folder):
    path = os.path.join(folder, TEMPORARY_NAME)
    with open(path, "wb") as file:
        file.write(b"stale")
    os.utime(path, (OLD, OLD))
    return path


# Bounded readers: a device, a FIFO or a huge file anywhere a file is read
# is refused at once, naming it.

def front_key(key, value):
    def prepare(s):
        front = s.path("front.conf")
        with open(front, encoding="utf-8") as file:
            lines = [f"--{key}={value}" if line.startswith(f"--{key}=")
                     else line for line in file.read().splitlines()]
        s.write("front.conf", "\n".join(lines) + "\n")
    return prepare


def refused_reader(args=("你好", "-o", "{out}/x.wav"), prepare=None,
                   needle="/dev/zero", program="say"):
    def run(s):
        if prepare:
            prepare(s)
        filled = [a.format(**s.names()) for a in args]
        if program == "front":
            try:
                done = subprocess.run([FRONT] + filled, env=fi.environment(s),
                                      capture_output=True, timeout=30)
                code, err = done.returncode, done.stderr.decode(
                    errors="replace")
            except subprocess.TimeoutExpired:
                code, err = None, ""
        else:
            code, err = say(s, filled)
        # Unbounded, the read would take gigabytes and run past the timeout.
        problems = expect([], code, err, 1, [needle])
        if os.path.exists(s.path("out/x.wav")):
            problems.append("an output was written")
        return problems
    return run


def fifo_text_file(s):
    os.mkfifo(s.path("fifo.txt"))
    return refused_reader(("-f", "{root}/fifo.txt", "-o", "{out}/x.wav"),
                          needle="fifo.txt is a FIFO")(s)


def huge_text_file(s):
    with open(s.path("huge.txt"), "wb") as file:
        file.truncate(100 << 20)
    return refused_reader(("-f", "{root}/huge.txt", "-o", "{out}/x.wav"),
                          needle="huge.txt is larger than")(s)


def endless_input_line(s):
    # 3 MB without a newline, then one good line: the long one is skipped
    # and reported, the good one spoken.
    data = b"\xe4\xbd\xa0" * (1 << 20) + b"\n\xe4\xbd\xa0\xe5\xa5\xbd\n"
    code, err = say(s, ["--output-dir", s.out], stdin=data, timeout=60)
    problems = expect([], code, err, 1, ["line 1: the line is longer than"])
    if sorted(os.listdir(s.out)) != ["0002.wav"]:
        problems.append(f"output folder holds {os.listdir(s.out)}")
    return problems


# Outputs: an existing file is replaced only by a whole new one.

def failed_text_keeps_output(model_fault=None):
    def run(s):
        path, good = wav_bytes(s, "你好世界", "good.wav")
        text = "你好"
        if model_fault:
            key, model = model_fault
            s.keys[key] = fi.ARGS.models + "/" + model
            s.write_conf()
        else:
            text = "\udcff\udcfe"  # the bytes ff fe: not UTF-8
        code, err = say(s, [text, "-o", path])
        problems = expect([], code, err, 1, ["good.wav is left as it was"])
        with open(path, "rb") as file:
            if file.read() != good:
                problems.append("good.wav changed")
        if temporaries_in(s.root):
            problems.append(f"temporaries left: {temporaries_in(s.root)}")
        return problems
    return run


def planted_at_output(kind):
    """Something planted at DIR/0001.wav; lines 2 and 3 must be written
    whatever happens to line 1."""
    def run(s):
        first = os.path.join(s.out, "0001.wav")
        s.write("victim", b"victim")
        if kind == "fifo":
            os.mkfifo(first)
        elif kind == "link to /dev/full":
            os.symlink("/dev/full", first)
        elif kind == "link to a FIFO":
            os.mkfifo(s.path("fifo"))
            os.symlink(s.path("fifo"), first)
        elif kind == "link to a file":
            os.symlink(s.path("victim"), first)
        elif kind == "dangling link":
            os.symlink(s.path("nowhere"), first)
        code, err = say(s, ["--output-dir", s.out],
                        stdin="你好\n世界\n再见\n".encode(), timeout=30)
        problems = []
        if kind == "fifo":
            expect(problems, code, err, 1, ["0001.wav is a FIFO"])
            if not stat.S_ISFIFO(os.lstat(first).st_mode):
                problems.append("the FIFO was replaced")
        else:
            expect(problems, code, err, 0)
            if not stat.S_ISREG(os.lstat(first).st_mode):
                problems.append("0001.wav is not a regular file")
        with open(s.path("victim"), "rb") as file:
            if file.read() != b"victim":
                problems.append("the link's target was written")
        for name in ("0002.wav", "0003.wav"):
            if not os.path.isfile(os.path.join(s.out, name)):
                problems.append(f"{name} missing: the run stopped")
        if temporaries_in(s.out):
            problems.append(f"temporaries left: {temporaries_in(s.out)}")
        return problems
    return run


def failed_write_in_output_dir(s):
    """A write that fails in mid-file (a file-size limit, SIGXFSZ ignored)
    loses that line's file only: no part of it appears, the next line is
    written, and the run exits 1."""
    def preexec():
        resource.setrlimit(resource.RLIMIT_FSIZE, (65536, 65536))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    code, err = say(s, ["--output-dir", s.out], preexec=preexec,
                    stdin=f"你好\n{fi.LONG_TEXT}\n世界\n".encode())
    problems = expect([], code, err, 1, ["0002.wav"])
    if sorted(os.listdir(s.out)) != ["0001.wav", "0003.wav"]:
        problems.append(f"output folder holds {sorted(os.listdir(s.out))}")
    return problems


def device_at_output(s):
    code, err = say(s, ["你好", "-o", "/dev/full"])
    return expect([], code, err, 1, ["/dev/full is in a system folder"])


def long_output_name(s):
    name = "a" * 250 + ".wav"  # 254 bytes
    code, err = say(s, ["你好", "-o", os.path.join(s.out, name)])
    problems = expect([], code, err, 0)
    if not os.path.isfile(os.path.join(s.out, name)):
        problems.append("the 254-byte name was not written")
    return problems


# Signals: the temporary goes, the status is 128 + N.

def interrupted(signal_number, output_dir=False):
    def run(s):
        text = "今天天气很好，我们一起去公园散步吧。" * 1500
        args = (["--output-dir", s.out] if output_dir
                else [text, "-o", os.path.join(s.out, "out.wav")])
        process = subprocess.Popen(
            [SAY, "--conf", s.conf] + args, env=fi.environment(s),
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
            stderr=subprocess.PIPE, cwd=s.root)
        if output_dir:
            process.stdin.write(("你好\n" + text + "\n").encode())
            process.stdin.flush()
        deadline = time.time() + 30
        while not temporaries_in(s.out) or (
                output_dir and not os.path.exists(s.path("out/0001.wav"))):
            if time.time() > deadline or process.poll() is not None:
                process.kill()
                process.wait()
                return [f"no temporary appeared ({os.listdir(s.out)})"]
            time.sleep(0.01)
        process.send_signal(signal_number)
        process.communicate(timeout=30)
        problems = []
        if process.returncode != 128 + signal_number:
            problems.append(f"exit {process.returncode}, expected "
                            f"{128 + signal_number}")
        if temporaries_in(s.out):
            problems.append(f"temporaries left: {temporaries_in(s.out)}")
        return problems
    return run


def stale_temporaries(s):
    """Start-up removes an old temporary of its own pattern only from the
    folder it writes to: not from the configuration's wav_path, not from
    the current folder, and never in --phonemes mode."""
    problems = []
    s.keys["wav_path"] = s.root
    s.write_conf()
    # --phonemes spells with the phone table beside word2phone.
    shutil.copy(PHONE_TABLE, s.path("phones.tsv"))
    in_wav_path = plant_old_temporary(s.root)
    in_out = plant_old_temporary(s.out)
    other = s.path("other")
    os.mkdir(other)
    in_other = plant_old_temporary(other)
    code, err = say(s, ["--phonemes", "你好"], stdout=subprocess.DEVNULL,
                    cwd=other)
    expect(problems, code, err, 0)
    code, err = say(s, ["你好", "-o", os.path.join(s.out, "x.wav")],
                    cwd=other)
    expect(problems, code, err, 0)
    for path, kept in ((in_wav_path, True), (in_other, True),
                       (in_out, False)):
        if os.path.exists(path) != kept:
            problems.append(f"{path} {'removed' if kept else 'kept'}")
    return problems


# Standard streams: a lost write is a failure.

def lost_phonemes(how):
    def run(s):
        args = ["--phonemes", "你好"]
        stdout, stderr = subprocess.DEVNULL, subprocess.PIPE
        if how == "full":
            stdout = open("/dev/full", "wb")
        elif how == "to standard error, full":
            args += ["-o", "-"]
            stderr = open("/dev/full", "wb")
        try:
            if how == "closed":
                done = subprocess.run(
                    ["sh", "-c", 'exec "$0" "$@" >&-', SAY, "--conf",
                     s.conf] + args, env=fi.environment(s),
                    stderr=subprocess.PIPE, timeout=30)
                code, err = done.returncode, done.stderr.decode()
            else:
                code, err = say(s, args, stdout=stdout, stderr=stderr)
        finally:
            for stream in (stdout, stderr):
                if hasattr(stream, "close"):
                    stream.close()
        return expect([], code, err, 1)
    return run


# Usage errors exit 2 before the engine loads; messages are escaped and
# printed once.

def usage_error(args, needle):
    def run(s):
        started = time.time()
        code, err = say(s, args)
        problems = expect([], code, err, 2, [needle])
        if "Key: " in err:
            problems.append("the engine started")
        if time.time() - started > 5:
            problems.append(f"took {time.time() - started:.1f} s")
        return problems
    return run


def escaped_voice(s):
    code, err = say(s, ["--voice", "a\x1b[31mb\nc", "你好", "-o",
                        os.path.join(s.out, "x.wav")])
    problems = expect([], code, err, 1, ["a\\x1b[31mb\\nc"])
    if "\x1b" in err:
        problems.append("an ESC byte reached standard error")
    return problems


def printed_once(s):
    code, err = say(s, ["\udcff", "-o", os.path.join(s.out, "x.wav")])
    return expect([], code, err, 1, once="invalid UTF-8 at byte offset 0")


def pause_run(s):
    """1,000 commas between two words are one pause, not minutes."""
    _, one = wav_bytes(s, "你好，世界", "one.wav")
    _, many = wav_bytes(s, "你好" + "，" * 1000 + "世界", "many.wav")
    if len(many) != len(one):
        return [f"1,000 commas give {len(many)} bytes, one gives {len(one)}"]
    return []


def standard_wavs(s):
    """Each WAV tolvaren_say writes, to -o FILE or to a standard output that
    is a regular file, 16-bit or float: soxi reads it without a warning and
    counts the samples it holds."""
    problems = []
    for extra, header_bytes, sample_bytes in (([], 44, 2),
                                              (["--float"], 58, 4)):
        for output in ("file", "standard output"):
            path = s.path(f"std{len(extra)}{len(output)}.wav")
            if output == "file":
                code, err = say(s, ["你好", "-o", path] + extra)
            else:
                with open(path, "wb") as out:
                    code, err = say(s, ["你好", "-o", "-"] + extra,
                                    stdout=out)
            expect(problems, code, err, 0)
            problems += fi.soxi_problems(path, header_bytes, sample_bytes)
    return problems


CASES = [
    ("--conf /dev/zero", refused_reader(("--conf", "/dev/zero", "你好", "-o",
                                         "{out}/x.wav"))),
    ("-f /dev/zero", refused_reader(("-f", "/dev/zero", "-o",
                                     "{out}/x.wav"))),
    ("-f a FIFO without a writer", fifo_text_file),
    ("-f a 100 MB file", huge_text_file),
] + [
    (f"{key} at /dev/zero", refused_reader(prepare=front_key(key,
                                                              "/dev/zero")))
    for key in ("jieba_dict_path", "jieba_hmm_path", "jieba_user_dict_path",
                "jieba_idf_path", "jieba_stop_word_path", "word2phone_path",
                "phone2id_path")
] + [
    ("front --phone-table /dev/zero",
     refused_reader(("--conf", "{conf}", "--phone-table", "/dev/zero", "你好"),
                    program="front")),
    ("a 3 MB standard input line", endless_input_line),
    ("a failed text keeps -o", failed_text_keeps_output()),
    ("no frames keep -o", failed_text_keeps_output(
        ("fastspeech2_model_path", "no_frames_acoustic.onnx"))),
    ("no samples keep -o", failed_text_keeps_output(
        ("hifigan_model_path", "no_samples_vocoder.onnx"))),
    ("NaN samples keep -o", failed_text_keeps_output(
        ("hifigan_model_path", "nan_vocoder.onnx"))),
] + [
    (f"{kind} at DIR/0001.wav", planted_at_output(kind))
    for kind in ("fifo", "link to /dev/full", "link to a FIFO",
                 "link to a file", "dangling link")
] + [
    ("a failed write in --output-dir", failed_write_in_output_dir),
    ("-o /dev/full", device_at_output),
    ("a 254-byte -o name", long_output_name),
] + [
    (f"SIG{name} during {where}", interrupted(number, where == "DIR"))
    for name, number in (("INT", signal.SIGINT), ("TERM", signal.SIGTERM),
                         ("HUP", signal.SIGHUP))
    for where in ("-o", "DIR")
] + [
    ("stale temporaries only where written", stale_temporaries),
    ("--phonemes >/dev/full", lost_phonemes("full")),
    ("--phonemes >&-", lost_phonemes("closed")),
    ("--phonemes -o - 2>/dev/full", lost_phonemes("to standard error, full")),
    ("--speed 1e308", usage_error(["--speed", "1e308", "-o", "x.wav", "你"],
                                  "--speed needs a number from 0.25 to 4")),
    ("--speed 0x1p1", usage_error(["--speed", "0x1p1", "-o", "x.wav", "你"],
                                  "--speed needs")),
    ('-o ""', usage_error(["-o", "", "你"], "the name given to -o is empty")),
    ("--voice with ESC and newline", escaped_voice),
    ("a failure printed once", printed_once),
    ("1,000 commas", pause_run),
    ("standard WAV headers", standard_wavs),
]


def main():
    global SAY, FRONT
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--say", required=True)
    parser.add_argument("--front", required=True)
    parser.add_argument("--models", required=True)
    parser.add_argument("--jieba-dict", required=True)
    parser.add_argument("cases", nargs="*")
    fi.ARGS = parser.parse_args()
    SAY, FRONT = os.path.abspath(fi.ARGS.say), os.path.abspath(fi.ARGS.front)
    fi.ARGS.models = os.path.abspath(fi.ARGS.models)
    fi.ARGS.jieba_dict = os.path.abspath(fi.ARGS.jieba_dict)
    chosen = [c for c in CASES if not fi.ARGS.cases or c[0] in fi.ARGS.cases]
    return fi.run_cases(chosen)


if __name__ == "__main__":
    sys.exit(main())
