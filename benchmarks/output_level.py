"""The level of what a build hands out: float peak, samples beyond 0.99 and
1.0, and clipped 16-bit samples, through tolvaren_say and tolvaren_tts, for
six everyday sentences and the edge cases (punctuation only, one syllable,
the slowest and fastest speeds, the lowest and highest rates); and how each
utterance ends (the peak of its last 5 ms and its last sample).

  /usr/bin/python3 benchmarks/output_level.py BUILD [BUILD...]

BUILD is a build folder (its src/ holds the executables, its resources/ the
built configuration, whose default voice speaks). Prints one table per
build.
"""
import os
import subprocess
import sys
import tempfile
import warnings

import numpy as np
from scipy.io import wavfile

SENTENCES = [
    "今天天气很好，我们去公园散步吧。",
    "请把PPT发到我的邮箱",
    "打开GPS定位再出发",
    "家里的WiFi密码是多少？",
    "明天上午九点在三楼会议室开会。",
    "这个App很好用",
]
# (label, text, extra tolvaren_say options)
EDGES = [
    ("punctuation only", "，。！", []),
    ("one syllable", "好", []),
    ("speed 0.25", SENTENCES[0], ["--speed", "0.25"]),
    ("speed 4", SENTENCES[0], ["--speed", "4"]),
    ("rate 8000", SENTENCES[0], ["--rate", "8000"]),
    ("rate 48000", SENTENCES[0], ["--rate", "48000"]),
    ("volume 8", SENTENCES[0], ["--volume", "8"]),
]


def read_wav(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", wavfile.WavFileWarning)
        rate, x = wavfile.read(path)
    return rate, x


def read_chunk_file(path):
    data = open(path, "rb").read()
    count = int(np.frombuffer(data[:8], dtype="<u8")[0])
    start = 8 + 8 * count
    return np.frombuffer(data[start:], dtype="<f4")


def measures(floats, pcm16, rate):
    floats = np.asarray(floats, dtype=np.float64)
    if floats.size == 0:
        return "no samples"
    tail = floats[-max(1, rate // 200):]
    clipped = int(np.sum(np.abs(pcm16.astype(np.int64)) >= 32767))
    # Beyond the ceiling: above the float nearest 0.99.
    ceiling = float(np.float32(0.99))
    return ("peak %.3f  >0.99 %4d  >1.0 %4d  16-bit clipped %4d  "
            "last 5 ms peak %.4f  last sample %.4f" % (
                np.max(np.abs(floats)), np.sum(np.abs(floats) > ceiling),
                np.sum(np.abs(floats) > 1.0), clipped,
                np.max(np.abs(tail)), abs(floats[-1])))


def say(build, work, text, options, conf):
    paths = []
    for name, extra in (("f.wav", ["--float"]), ("i.wav", [])):
        path = os.path.join(work, name)
        subprocess.run([os.path.join(build, "src", "tolvaren_say"), "--conf",
                        conf, "-o", path] + extra + options + ["--", text],
                       check=True, stderr=subprocess.DEVNULL)
        paths.append(path)
    rate, floats = read_wav(paths[0])
    return measures(floats, read_wav(paths[1])[1], rate)


def tts(build, work, text, conf):
    out = os.path.join(work, "out")
    os.makedirs(out, exist_ok=True)
    own = os.path.join(work, "tool.conf")
    with open(conf, encoding="utf-8") as f, open(own, "w",
                                                 encoding="utf-8") as g:
        for line in f:
            g.write("--wav_path=%s\n" % out
                    if line.startswith("--wav_path=") else line)
    env = dict(os.environ, TOLVAREN_TTS_CONF=own, SPDLOG_STDOUT="false")
    subprocess.run([os.path.join(build, "src", "tolvaren_tts"), text],
                   check=True, env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    chunks = os.path.join(out, text)
    pcm = os.path.join(work, "t.wav")
    subprocess.run([os.path.join(build, "src", "tolvaren_tts_wav"), chunks,
                    pcm, "--pcm16"], check=True)
    return measures(read_chunk_file(chunks), read_wav(pcm)[1], 24000)


def main():
    for build in sys.argv[1:]:
        build = os.path.abspath(build)
        conf = os.path.join(build, "resources", "conf", "tool.conf")
        print("build", build)
        with tempfile.TemporaryDirectory() as work:
            for i, text in enumerate(SENTENCES):
                print("  %d say  %s" % (i + 1, say(build, work, text, [],
                                                   conf)))
                print("  %d tts  %s" % (i + 1, tts(build, work, text, conf)))
            for label, text, options in EDGES:
                try:
                    result = say(build, work, text, options, conf)
                except subprocess.CalledProcessError:
                    result = "refused"
                print("  %-16s say  %s" % (label, result))


if __name__ == "__main__":
    main()
