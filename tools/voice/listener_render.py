"""The audio the listener report measures, made by this build's own
programs: tolvaren_tts (float samples, timed), tolvaren_say (the 16-bit
WAV a user gets) and tolvaren_tts_vocode (a vocoder file on given mels),
for a voice's model files at a git revision or in a folder."""
import os
import subprocess
import warnings

import numpy as np
import torch
from scipy.io import wavfile

from . import contract
from .compare_voices import speak_all
from .eval_tool import write_conf
from .reexport import load_acoustic

MODEL_FILES = ("fastspeech2.onnx", "hifigan.onnx")


class Build:
    """The programs of a build folder and its tool.conf."""

    def __init__(self, folder):
        self.folder = os.path.abspath(folder)
        self.conf = os.path.join(self.folder, "resources", "conf", "tool.conf")
        self.tool_dir = self.find("tolvaren_tts")
        self.say = os.path.join(self.find("tolvaren_say"), "tolvaren_say")
        self.vocode = os.path.join(self.find("tolvaren_tts_vocode"), "tolvaren_tts_vocode")

    def find(self, name):
        for sub in ("src", os.path.join("src", "tool"), os.path.join("src", "say")):
            if os.path.isfile(os.path.join(self.folder, sub, name)):
                return os.path.join(self.folder, sub)
        raise FileNotFoundError(f"{name} is not built in {self.folder}")


def models_at_revision(rev, voice_dir, out_dir):
    """Writes the model files of `voice_dir` (relative to the repository
    root) as they were at git revision `rev` into out_dir."""
    os.makedirs(out_dir, exist_ok=True)
    for name in MODEL_FILES:
        blob = subprocess.run(["git", "show", f"{rev}:{voice_dir}/{name}"],
                              stdout=subprocess.PIPE, check=True).stdout
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(blob)
    return out_dir


def conf_for(build, model_dir, work):
    """A tool.conf of the build that speaks with the models of model_dir."""
    path = os.path.join(work, "tool.conf")
    write_conf(build.conf, model_dir, work, os.path.join(work, "texts.txt"), path)
    return path


def speak_float(build, model_dir, texts, work):
    """(wall seconds, {index: float audio}) of tolvaren_tts in file mode."""
    os.makedirs(work, exist_ok=True)
    return speak_all(build.tool_dir, build.conf, model_dir, texts,
                     os.path.join(work, "out"), work)


def read_wav(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", wavfile.WavFileWarning)
        return wavfile.read(path)


def say(build, model_dir, texts, work, extra=()):
    """tolvaren_say over `texts`, one WAV per text: (exit status,
    {index: (rate, samples as written)})."""
    os.makedirs(work, exist_ok=True)
    text_file = os.path.join(work, "say.txt")
    with open(text_file, "w", encoding="utf-8") as f:
        f.write("".join(t + "\n" for t in texts))
    out_dir = os.path.join(work, "say")
    os.makedirs(out_dir, exist_ok=True)
    run = subprocess.run([build.say, "--conf", conf_for(build, model_dir, work),
                          "-f", text_file, "--output-dir", out_dir, *extra],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    out = {}
    for k in range(len(texts)):
        path = os.path.join(out_dir, f"{k + 1:04d}.wav")
        if os.path.exists(path):
            out[k] = read_wav(path)
    return run.returncode, out


def vocode(build, model_dir, mel, work, whole=False):
    """The vocoder of model_dir on a [frames, bins] mel, in the tool's
    chunks, or in one window."""
    os.makedirs(work, exist_ok=True)
    mel_path, out_path = os.path.join(work, "mel.f32"), os.path.join(work, "audio.f32")
    np.ascontiguousarray(mel, dtype="<f4").tofile(mel_path)
    subprocess.run([build.vocode, os.path.join(model_dir, "hifigan.onnx"), mel_path,
                    out_path] + (["--whole"] if whole else []), check=True,
                   stdout=subprocess.DEVNULL)
    return np.fromfile(out_path, dtype="<f4")


class Durations:
    """The frames the acoustic model of model_dir gives each phone,
    matched to the length of the audio the tool made (the runtime and the
    recipe's network may round a duration apart)."""

    def __init__(self, model_dir):
        self.model = load_acoustic(os.path.join(model_dir, "fastspeech2.onnx"))

    def of(self, ids, audio_samples):
        with torch.no_grad():
            _, d, _ = self.model.infer(torch.from_numpy(ids))
        return fit_durations(d.numpy(), audio_samples // contract.HOP)


def fit_durations(durs, frames):
    """Integer durations scaled to sum to `frames`, their boundaries
    rounded, so that each phone keeps its share of the audio."""
    durs = np.asarray(durs, dtype=np.int64)
    total = int(durs.sum())
    if total == frames or total == 0:
        return durs
    ends = np.round(np.cumsum(durs) * frames / total).astype(np.int64)
    return np.diff(np.concatenate([[0], ends]))
