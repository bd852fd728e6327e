#!/usr/bin/env python3
"""tolvaren_say plays on a real sound server: a private PulseAudio with a
null sink, whose monitor is recorded and compared with the WAV that -o
writes for the same text.

    playback_test.py SAY CONF

Exit status 0 when every case holds, 1 otherwise (each fault printed).
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import wave

RATE = 24000
TEXT = "你好，世界！今天天气很好。"


def raw_samples(data):
    return [int.from_bytes(data[i:i + 2], "little", signed=True)
            for i in range(0, len(data) - 1, 2)]


def samples(path):
    with wave.open(path) as w:
        return raw_samples(w.readframes(w.getnframes()))


def recording(path, length):
    """The samples recorded once `length` samples after the first loud one
    (and half a second more) have come through: the monitor lags the
    playback by a second or more. At most 20 seconds."""
    deadline = time.monotonic() + 20
    while True:
        with open(path, "rb") as file:
            got = raw_samples(file.read())
        loud = next((i for i, s in enumerate(got) if abs(s) > 1000), None)
        if (loud is not None and len(got) >= loud + length + RATE // 2) or \
                time.monotonic() > deadline:
            return got
        time.sleep(0.2)


def start_server(root):
    env = dict(os.environ, HOME=root, PULSE_RUNTIME_PATH=os.path.join(root, "run"),
               PULSE_SERVER="unix:" + os.path.join(root, "native"))
    server = subprocess.Popen(
        ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
         "--use-pid-file=no", "--log-target=stderr",
         f"--load=module-null-sink sink_name=test_sink rate={RATE} channels=1",
         "--load=module-native-protocol-unix auth-anonymous=1 socket="
         + os.path.join(root, "native")],
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    for _ in range(100):
        if subprocess.run(["pactl", "info"], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0:
            return server, env
        time.sleep(0.1)
    server.kill()
    raise RuntimeError("the test sound server did not start")


def say(args, env, conf):
    return subprocess.run([SAY] + args, env=dict(env, TOLVAREN_TTS_CONF=conf),
                          capture_output=True, timeout=60)


def played_matches_file(env, conf, root, device_args):
    """What reaches the sink is the file's samples, whole and in order."""
    problems = []
    reference = os.path.join(root, "reference.wav")
    made = say(["-o", reference, TEXT], env, conf)
    if made.returncode != 0:
        return [f"-o failed: {made.stderr.decode()}"]
    recorded = os.path.join(root, "recorded.raw")
    recorder = subprocess.Popen(
        ["parec", "-d", "test_sink.monitor", "--format=s16le", f"--rate={RATE}",
         "--channels=1", "--raw", recorded], env=env)
    try:
        # The recording runs before the speech starts: the monitor gives
        # silence while the sink is idle.
        deadline = time.monotonic() + 20
        while (not os.path.exists(recorded) or
               os.path.getsize(recorded) < RATE // 5 * 2) and \
                time.monotonic() < deadline:
            time.sleep(0.05)
        played = say(device_args + [TEXT], env, conf)
        want = samples(reference)
        got = recording(recorded, len(want))
    finally:
        recorder.send_signal(signal.SIGINT)
        recorder.wait(timeout=10)
    if played.returncode != 0 or played.stderr:
        return [f"playing: exit {played.returncode}: {played.stderr.decode()}"]
    # Aligned on the first loud sample (quiet ones may round either way),
    # to the sample: the offset that matches 2400 samples from there best.
    heard_from = next((i for i, s in enumerate(got) if abs(s) > 1000), None)
    if heard_from is None:
        return ["nothing was heard"]
    first = next(i for i, s in enumerate(want) if abs(s) > 1000)
    opening = want[first:first + 2400]
    start = min(range(max(0, heard_from - 50), heard_from + 50),
                key=lambda at: max(abs(a - b) for a, b in
                                   zip(got[at:at + len(opening)], opening)))
    start -= first
    if start < 0:
        return [f"the recording began {-start} samples into the speech"]
    heard = got[start:start + len(want)]
    if len(heard) < len(want):
        problems.append(f"{len(heard)} samples heard of {len(want)}")
    # Up to 2: the float stream's rounding to 16 bits.
    wrong = next((i for i, (a, b) in enumerate(zip(heard, want))
                  if abs(a - b) > 2), None)
    if wrong is not None:
        problems.append(f"sample {wrong} of {len(want)} heard as {heard[wrong]}, "
                        f"the file has {want[wrong]} (a gap: the stream starved?)")
    if any(abs(s) > 2 for s in got[start + len(want):]):
        problems.append("sound after the end of the speech")
    return problems


def refusals(env, conf, root):
    """No server, or no such output: one clear line, status 1, no hang."""
    problems = []
    for args, environment, needle in (
            (["--device", "no_such_sink", "你好"], env, "cannot play on no_such_sink"),
            (["你好"], dict(env, PULSE_SERVER="unix:" + os.path.join(root, "none")),
             "cannot play")):
        result = say(args, environment, conf)
        err = result.stderr.decode()
        if result.returncode != 1 or needle not in err or err.count("\n") != 1:
            problems.append(f"{args}: exit {result.returncode}, {err!r}")
    return problems


def main():
    global SAY
    SAY, conf = sys.argv[1], sys.argv[2]
    problems = []
    # A server of its own for each case: a new recording of a monitor may
    # begin with the end of what the sink played before.
    for name, run in (
            ("the default output",
             lambda env, root: played_matches_file(env, conf, root, [])),
            ("--device", lambda env, root: played_matches_file(
                env, conf, root, ["--device", "test_sink"])),
            ("refusals", lambda env, root: refusals(env, conf, root))):
        root = tempfile.mkdtemp(prefix="tolvaren_playback_")
        server = None
        try:
            server, env = start_server(root)
            found = run(env, root)
        finally:
            if server is not None:
                os.killpg(server.pid, signal.SIGTERM)
                server.wait(timeout=10)
            shutil.rmtree(root, ignore_errors=True)
        print(("FAIL: " if found else "PASS: ") + name)
        for problem in found:
            print("    " + problem)
        problems += found
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
