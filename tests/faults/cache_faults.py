#!/usr/bin/python3
"""Fault injection on the model cache: the built tolvaren_say against cache
folders and entries that other users, other models, a full disk or a
process changing files under a running engine leave behind.

  cache_faults.py --say SAY --models DIR --jieba-dict DIR [CASE ...]

Each case runs the real executable with its whole log (-v) on a fresh
configuration folder (the fixture front end and small test models of
fault_injection.py) and the cache in a folder of its own. Whatever the cache
holds, the audio must be what an uncached run speaks. Cases that need root
(another user's folder, a full tmpfs) print "SKIP: <case>: <reason>"
without it.
"""

import argparse
import os
import shutil
import stat
import struct
import subprocess
import sys
import time

import fault_injection as faults
from fault_injection import DAY, NOBODY, Setup, Skip

SAY = None
TEXT = "你好"
REFERENCE = None  # the WAV of TEXT from an uncached run


def say(s, *args, timeout=60, preexec=None):
    """One run of tolvaren_say on the setup's configuration."""
    try:
        done = subprocess.run([SAY, "-v", "--conf", s.conf] + list(args),
                              env=faults.environment(s),
                              stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, timeout=timeout,
                              preexec_fn=preexec)
    except subprocess.TimeoutExpired:
        return None, "timed out"
    return done.returncode, done.stderr.decode(errors="replace")


def spoken(s, *args, **options):
    """Problems of a run that must speak TEXT as the uncached run does."""
    out = s.path("said.wav")
    code, log = say(s, TEXT, "-o", out, *args, **options)
    if code != 0:
        return [f"exit {code}: {log[-400:]}"], log
    with open(out, "rb") as file:
        if file.read() != REFERENCE:
            return ["the audio differs from an uncached run's"], log
    return [], log


def use_cache(s, folder):
    s.keys["model_cache_path"] = folder
    s.write_conf()
    return folder


def entries(folder):
    """Role ("acoustic", "vocoder") -> the path of its entry."""
    found = {}
    for name in os.listdir(folder):
        if name.endswith(".ort"):
            found[name.split("-")[0]] = os.path.join(folder, name)
    return found


def cached(s):
    """A private cache folder filled by one run."""
    folder = use_cache(s, s.path("cache"))
    problems, _ = spoken(s)
    if problems or len(entries(folder)) != 2:
        raise AssertionError(f"the first cached run: {problems}, "
                             f"{os.listdir(folder)}")
    return folder


def read(path):
    with open(path, "rb") as file:
        return file.read()


def write(path, data):
    with open(path, "wb") as file:
        file.write(data)


def expect(log, needle, count=None):
    found = log.count(needle)
    if found == 0 or (count is not None and found != count):
        return [f"the log has {found} times {needle!r}"
                f"{'' if count is None else f', expected {count}'}"]
    return []


def checksum(data):
    """The tool's ContentChecksum, to re-seal an entry as a planter would."""
    mask, mul = 2 ** 64 - 1, 0x9E3779B97F4A7C15
    lanes = [0x243F6A8885A308D3, 0x13198A2E03707344, 0xA4093822299F31D0,
             0x082EFA98EC4E6C89]
    at = 0
    while at + 32 <= len(data):
        for i in range(4):
            word = int.from_bytes(data[at + 8 * i:at + 8 * i + 8], "little")
            lane = ((lanes[i] ^ word) * mul) & mask
            lanes[i] = lane ^ (lane >> 29)
        at += 32
    value = (len(data) * mul) & mask
    for lane in lanes:
        value = ((value ^ lane) * mul) & mask
    for byte in data[at:]:
        value = ((value ^ byte) * mul) & mask
    return value ^ (value >> 31)


# The cases: each returns its problems.

def created_private(s):
    folder = use_cache(s, s.path("home/.cache/tolvaren_tts"))
    problems, _ = spoken(s)
    for path in (s.path("home"), s.path("home/.cache"), folder):
        mode = stat.S_IMODE(os.stat(path).st_mode)
        if mode != 0o700:
            problems.append(f"{path} has mode {mode:04o}")
    if sorted(entries(folder)) != ["acoustic", "vocoder"]:
        problems.append(f"entries: {os.listdir(folder)}")
    again, log = spoken(s)
    return problems + again + expect(log, "runs from its pre-optimised copy",
                                     2)


def writable_by_others(s):
    folder = use_cache(s, s.path("cache"))
    os.mkdir(folder)
    os.chmod(folder, 0o777)
    problems, log = spoken(s)
    problems += expect(log, "is not used: others may write to it", 1)
    return problems + ([f"written: {os.listdir(folder)}"]
                       if os.listdir(folder) else [])


def symbolic_link_folder(s):
    os.mkdir(s.path("real"), 0o700)
    os.symlink(s.path("real"), s.path("cache"))
    use_cache(s, s.path("cache"))
    problems, log = spoken(s)
    problems += expect(log, "is not used: it is a symbolic link", 1)
    return problems + ([f"written: {os.listdir(s.path('real'))}"]
                       if os.listdir(s.path("real")) else [])


def nan_vocoders_entry(s, folder):
    """The entry of the vocoder that speaks NaN, made in `folder`: served
    in place of the plain vocoder's, the text fails."""
    s.keys["hifigan_model_path"] = faults.ARGS.models + "/nan_vocoder.onnx"
    s.write_conf()
    say(s, TEXT, "-o", s.path("nan.wav"))
    s.keys["hifigan_model_path"] = faults.ARGS.models + "/vocoder.onnx"
    s.write_conf()
    return entries(folder)["nan_vocoder"]


def another_users_folder(s):
    """Another user's folder holding an entry swapped for another model's."""
    if os.geteuid() != 0:
        raise Skip("another user's folder needs root")
    private = cached(s)
    shutil.copy(nan_vocoders_entry(s, private), s.path("planted.ort"))
    os.chmod(s.path("planted.ort"), 0o644)
    name = os.path.basename(entries(private)["vocoder"])
    shared = s.path("shared/.cache/tolvaren_tts")
    os.makedirs(s.path("shared"))
    os.chown(s.path("shared"), NOBODY, NOBODY)
    plant = ("import os, shutil, sys\n"
             "os.makedirs(sys.argv[1], 0o700)\n"
             "shutil.copyfile(sys.argv[2], sys.argv[1] + '/' + sys.argv[3])\n")
    subprocess.run([sys.executable, "-c", plant, shared, s.path("planted.ort"),
                    name], check=True, preexec_fn=faults.as_unprivileged)
    use_cache(s, shared)
    problems, log = spoken(s)
    problems += expect(log, f"belongs to user {NOBODY}, not to this user", 1)
    mine = [n for n in os.listdir(shared)
            if os.lstat(os.path.join(shared, n)).st_uid != NOBODY]
    return problems + ([f"written there: {mine}"] if mine else [])


def another_models_entry(s):
    folder = cached(s)
    shutil.copyfile(nan_vocoders_entry(s, folder), entries(folder)["vocoder"])
    problems, log = spoken(s)
    return problems + expect(log, "it was made from another model", 1)


def altered_entry(reseal):
    """The acoustic entry's table rows of the text's phones zeroed."""
    def case(s):
        path = entries(cached(s))["acoustic"]
        data = bytearray(read(path))
        body = data[:-(16 if data.endswith(b"TVRNORT1") else 64)]
        row_one = body.find(struct.pack("<3f", 1.0, 1.001, 1.002))
        if row_one < 0:
            return ["the acoustic entry holds no table row 1"]
        body[row_one:row_one + 64 * 320] = bytes(64 * 320)
        if reseal:  # the seal of the bytes alone, as entries once had
            data = body + struct.pack("<Q", checksum(bytes(body))) + b"TVRNORT1"
        else:
            data[:len(body)] = body
        write(path, bytes(data))
        problems, log = spoken(s)
        return problems + expect(log, "its seal does not match its bytes", 1)
    return case


def planted_at_entry(kind):
    def case(s):
        path = entries(cached(s))["acoustic"]
        kept = read(path)
        os.unlink(path)
        if kind == "link":
            write(s.path("elsewhere.ort"), kept)
            os.symlink(s.path("elsewhere.ort"), path)
        else:
            os.mkfifo(path)
        problems, log = spoken(s, timeout=20)
        problems += expect(log, "it is a symbolic link" if kind == "link"
                           else "is not a regular file", 1)
        if not stat.S_ISREG(os.lstat(path).st_mode):
            problems.append("the entry was not saved again in its place")
        if kind == "link" and read(s.path("elsewhere.ort")) != kept:
            problems.append("the link's target was written")
        return problems
    return case


def model_is_a_fifo(s):
    use_cache(s, s.path("cache"))
    os.mkfifo(s.path("model.onnx"))
    s.keys["hifigan_model_path"] = s.path("model.onnx")
    s.write_conf()
    code, log = say(s, TEXT, "-o", s.path("said.wav"), timeout=20)
    problems = [] if code == 1 else [f"exit {code}"]
    return problems + expect(log, s.path("model.onnx") + " is not a regular file")


def model_over_the_bound(s):
    with open(s.path("huge.onnx"), "wb") as file:
        file.truncate(3 << 30)  # sparse: no disk, and must never be read
    s.keys["fastspeech2_model_path"] = s.path("huge.onnx")
    s.write_conf()
    started = time.time()
    code, log = say(s, TEXT, "-o", s.path("said.wav"))
    problems = [] if code == 1 else [f"exit {code}"]
    if time.time() - started > 10:
        problems.append(f"refused after {time.time() - started:.0f} s")
    return problems + expect(log, "is 3221225472 bytes long, more than the")


def changed_under_a_running_engine(s):
    """Entries and models truncated and zeroed between the lines of one
    long-running engine: every line still speaks the same audio."""
    for role, key in (("acoustic", "fastspeech2_model_path"),
                      ("vocoder", "hifigan_model_path")):
        s.keys[key] = shutil.copy(s.keys[key], s.path(role + ".onnx"))
    found = entries(cached(s))
    out = s.path("lines")
    os.mkdir(out)
    engine = subprocess.Popen([SAY, "--conf", s.conf, "--output-dir", out],
                              env=faults.environment(s), stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
    # After line 1 every file is cut short; after line 2 zeroed in place.
    changes = [lambda path: os.truncate(path, 1000),
               lambda path: write(path, bytes(os.path.getsize(path)))]
    problems = []
    for line in range(1, 4):
        engine.stdin.write((TEXT + "\n").encode())
        engine.stdin.flush()
        wav = os.path.join(out, f"{line:04d}.wav")
        deadline = time.time() + 60
        while not os.path.exists(wav) and engine.poll() is None:
            if time.time() > deadline:
                break
            time.sleep(0.05)
        if not os.path.exists(wav):
            problems.append(f"line {line} was not spoken")
            break
        if line <= len(changes):
            for path in list(found.values()) + [s.path("acoustic.onnx"),
                                                s.path("vocoder.onnx")]:
                changes[line - 1](path)
    engine.stdin.close()
    try:
        code = engine.wait(timeout=60)
    except subprocess.TimeoutExpired:
        engine.kill()
        code = None
    log = engine.stderr.read().decode(errors="replace")
    if code != 0:
        problems.append(f"exit {code}: {log[-400:]}")
    names = sorted(os.listdir(out))
    if names != ["0001.wav", "0002.wav", "0003.wav"]:
        problems.append(f"the output folder holds {names}")
    elif any(read(os.path.join(out, n)) != REFERENCE for n in names):
        problems.append("a line's audio differs from an uncached run's")
    return problems


def failed_save(s):
    """A full disk: the first start says why, later ones skip the save."""
    folder = use_cache(s, s.path("cache"))
    os.mkdir(folder, 0o700)
    s.mount_tmpfs(folder, "size=64k,mode=0700")
    with open(os.path.join(folder, "filler"), "wb", buffering=0) as filler:
        try:
            while filler.write(bytes(4096)):
                pass
        except OSError:
            pass  # full

    problems, log = spoken(s)
    problems += expect(log, "cannot save the pre-optimised copy", 1)
    again, log = spoken(s)
    problems += again
    if "cannot save" in log:
        problems.append("the second start warned again")
    return problems + expect(log, "is not saved again within a day", 2)


def stale_entries(s):
    folder = cached(s)
    found = entries(folder)
    old = time.time() - 31 * DAY
    stale = os.path.join(folder, "gone-0123456789abcdef-ort1.29.0-00000000.ort")
    killed = found["vocoder"] + ".AbC123"
    write(stale, b"x")
    write(killed, b"x")
    for path, when in ((stale, old), (killed, time.time() - 7200),
                       (found["acoustic"], time.time() - 2 * DAY)):
        os.utime(path, (when, when))
    problems, _ = spoken(s)
    for path in (stale, killed):
        if os.path.lexists(path):
            problems.append(f"{os.path.basename(path)} was kept")
    if os.path.getmtime(found["acoustic"]) < time.time() - DAY:
        problems.append("the entry served was not marked used")
    return problems


CASES = [
    ("cache folder created private", created_private),
    ("cache folder writable by others", writable_by_others),
    ("cache folder a symbolic link", symbolic_link_folder),
    ("cache folder of another user, entries swapped", another_users_folder),
    ("entry of another model under this one's name", another_models_entry),
    ("entry altered in place", altered_entry(False)),
    ("entry altered and re-sealed by its bytes alone", altered_entry(True)),
    ("symbolic link at an entry name", planted_at_entry("link")),
    ("FIFO at an entry name", planted_at_entry("fifo")),
    ("model path a FIFO", model_is_a_fifo),
    ("model over 2 GiB", model_over_the_bound),
    ("entries and models changed under a running engine",
     changed_under_a_running_engine),
    ("failed save on a full disk", failed_save),
    ("stale entries and killed saves removed", stale_entries),
]


def main():
    global SAY, REFERENCE
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--say", required=True)
    parser.add_argument("--models", required=True)
    parser.add_argument("--jieba-dict", required=True)
    parser.add_argument("cases", nargs="*")
    args = parser.parse_args()
    SAY = args.say
    faults.ARGS = args
    faults.in_private_mount_namespace()

    setup = Setup()
    try:
        code, log = say(setup, TEXT, "-o", setup.path("said.wav"))
        if code != 0:
            print(f"FAIL: uncached run: exit {code}: {log}")
            return 1
        REFERENCE = read(setup.path("said.wav"))
    finally:
        setup.close()
    chosen = [c for c in CASES if not args.cases or c[0] in args.cases]
    return faults.run_cases(chosen)


if __name__ == "__main__":
    sys.exit(main())
