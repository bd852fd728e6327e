"""Runs of the C++ tool for evaluate.py: its real-time factor over the
held-out sentences and the WAVs of the report."""
import os
import subprocess
import tempfile
import time

from . import contract


def write_conf(base_conf, run_dir, wav_dir, text_path, path):
    with open(base_conf, encoding="utf-8") as f:
        lines = f.read().split("\n")
    out = []
    for line in lines:
        if line.startswith("--fastspeech2_model_path="):
            line = "--fastspeech2_model_path=" + os.path.join(run_dir, "fastspeech2.onnx")
        elif line.startswith("--hifigan_model_path="):
            line = "--hifigan_model_path=" + os.path.join(run_dir, "hifigan.onnx")
        elif line.startswith("--wav_path="):
            line = "--wav_path=" + wav_dir
        elif line.startswith("--text_path="):
            line = "--text_path=" + text_path
        out.append(line)
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(out))


def read_chunk_file(path, tool_dir, tmp):
    wav = os.path.join(tmp, "x.wav")
    subprocess.run([os.path.join(tool_dir, "tolvaren_tts_wav"), path, wav],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    info = subprocess.run(["soxi", "-s", wav], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, check=True)
    return int(info.stdout.decode().strip())


def tool_measures(args, texts, report_dir):
    """RTF of the C++ tool over `texts` and the WAVs of the first five."""
    tool = os.path.join(args.tool, "tolvaren_tts")
    base_conf = args.conf
    out = {}
    with tempfile.TemporaryDirectory() as tmp:
        text_path = os.path.join(tmp, "texts.txt")
        with open(text_path, "w", encoding="utf-8") as f:
            f.write("".join(t + "\n" for t in texts))
        wav_dir = os.path.join(tmp, "wav")
        os.makedirs(wav_dir)
        conf = os.path.join(tmp, "tool.conf")
        write_conf(base_conf, os.path.abspath(args.run), wav_dir, text_path, conf)
        env = dict(os.environ, TOLVAREN_TTS_CONF=conf)
        t0 = time.time()
        subprocess.run([tool], env=env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        wall = time.time() - t0
        samples = 0
        for k, text in enumerate(texts):
            path = os.path.join(wav_dir, text)
            if not os.path.exists(path):
                continue
            samples += read_chunk_file(path, args.tool, tmp)
            if k < 5:
                dest = os.path.join(report_dir, f"sentence{k + 1}.wav")
                subprocess.run([os.path.join(args.tool, "tolvaren_tts_wav"), path, dest],
                               check=True, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        seconds = samples / contract.SAMPLE_RATE
        out = {"tool_wall_s": wall, "tool_audio_s": seconds,
               "tool_rtf": wall / seconds if seconds else float("nan"),
               "tool_texts": len(texts)}
    return out


def voice_folders(ap, values):
    """[(name, absolute folder)] of --voice NAME=MODEL_DIR options; a
    malformed one or a folder that does not exist ends the program through
    the argument parser `ap`."""
    voices = []
    for v in values:
        name, sep, folder = v.partition("=")
        if not sep or not name or not os.path.isdir(folder):
            ap.error(f"--voice {v!r}: want NAME=MODEL_DIR with an existing folder")
        voices.append((name, os.path.abspath(folder)))
    return voices
