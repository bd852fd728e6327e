#!/usr/bin/python3
"""The C and Python examples as users build and run them: the build
installed to a temporary prefix, examples/c/speak.c compiled as C99 against
the installed header and library through pkg-config, both examples run on
the build's voice, their WAV files read by soxi, and the Python module's
failures checked; the Python parts with this Python and with Debian's.

  install_tree_test.py BUILD_DIR SOURCE_DIR
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile


def run(command, **kwargs):
    done = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)}: exit {done.returncode}\n"
                 f"{done.stdout}{done.stderr}")
    return done.stdout


def soxi_samples(path):
    done = subprocess.run(["soxi", "-s", path], capture_output=True,
                          text=True)
    if done.returncode != 0 or done.stderr:
        sys.exit(f"soxi {path}: {done.stderr}")
    return int(done.stdout)


# The module's failures, run against the installed module.
MODULE_CHECKS = r"""
import sys, tolvaren_tts as t
try:
    t.Synthesizer(conf_path=sys.argv[1] + "/missing.conf")
    sys.exit("a missing configuration was accepted")
except t.TolvarenTtsError as e:
    assert e.name == "TOLVAREN_TTS_NOT_FOUND" and "missing.conf" in str(e), e
records = []
t.set_log_callback(lambda level, message: records.append(level), t.INFO)
with t.Synthesizer(threads=1) as tts:
    t.set_log_callback(None)
    assert records and min(records) >= t.INFO, records
    voices = t.list_voices()
    assert voices[0]["name"] == "default", voices
    assert voices[0]["sample_rate"] == tts.sample_rate, voices
    chunks = []
    try:
        tts.stream("你好，世界！" * 20, lambda c: chunks.append(c) or False)
        sys.exit("a callback's False did not stop the synthesis")
    except t.TolvarenTtsError as e:
        assert e.name == "TOLVAREN_TTS_CANCELLED" and len(chunks) == 1, e
    for options in ({"speed": 9}, {"volume": 9}):
        try:
            tts.synthesize("你好", **options)
            sys.exit("%s was accepted" % options)
        except t.TolvarenTtsError as e:
            assert e.name == "TOLVAREN_TTS_INVALID_ARGUMENT", e
    loud, _ = tts.synthesize("你好", volume=4)
    assert max(map(abs, loud)) <= 0.99 + 1e-7, max(map(abs, loud))  # 0.99f
    assert tts.pinyin("你好") == "ni2 hao3", tts.pinyin("你好")
tts.close()
try:
    tts.pinyin("你好")
    sys.exit("a closed synthesizer spoke")
except t.TolvarenTtsError:
    pass
print(t.version())
"""


def main():
    build, source = (os.path.abspath(a) for a in sys.argv[1:3])
    prefix = tempfile.mkdtemp(prefix="tolvaren_install_")
    try:
        run(["cmake", "--install", build, "--prefix", prefix])
        # lib/python3.X/dist-packages, or lib/python3/dist-packages in ROS.
        modules = glob.glob(os.path.join(prefix, "lib/python3*/dist-packages",
                                         "tolvaren_tts", "__init__.py"))
        if len(modules) != 1:
            raise SystemExit(f"the install tree holds the module {len(modules)} times")
        env = dict(os.environ,
                   PKG_CONFIG_PATH=os.path.join(prefix, "lib/pkgconfig"),
                   PYTHONPATH=os.path.dirname(os.path.dirname(modules[0])),
                   TOLVAREN_TTS_CONF=os.path.join(
                       build, "resources/conf/tool.conf"),
                   SPDLOG_STDOUT="false", SPDLOG_SYSTEMD="false")
        env.pop("TOLVAREN_TTS_LIBRARY", None)
        flags = run(["pkg-config", "--cflags", "--libs", "tolvaren_tts"],
                    env=env).split()
        speak = os.path.join(prefix, "speak_c")
        run(["cc", "-std=c99", "-pedantic", "-Wall", "-Wextra", "-Werror",
             os.path.join(source, "examples/c/speak.c"), "-o", speak]
            + flags)
        pythons = sorted({sys.executable, "/usr/bin/python3"})
        example = os.path.join(source, "examples/python/speak.py")
        wavs = {}
        for name, command in [("c", [speak])] + [
                (python, [python, example]) for python in pythons]:
            wav = os.path.join(prefix, f"{len(wavs)}.wav")
            printed = run(command + ["你好，世界！", wav], env=env)
            # The library prints nothing itself: the example's lines only.
            if printed.splitlines()[:1] != ["ni2 hao3 shi4 jie4"]:
                sys.exit(f"{name} example printed {printed!r}")
            print(name + ": " + printed.strip().splitlines()[-1])
            wavs[name] = wav
        counts = {name: soxi_samples(path) for name, path in wavs.items()}
        if counts["c"] == 0 or len(set(counts.values())) != 1:
            sys.exit(f"sample counts differ or are 0: {counts}")
        for python in pythons:
            print(run([python, "-c", MODULE_CHECKS, prefix], env=env), end="")
    finally:
        shutil.rmtree(prefix, ignore_errors=True)


if __name__ == "__main__":
    main()
