"""Two voices side by side on the same held-out sentences, in one run.

  python3 -m tools.voice.compare_voices --tool BUILD/src --conf TOOL_CONF
      --data DIR --voice NAME=MODEL_DIR --voice NAME=MODEL_DIR
      [--teacher-name NAME] [--report DIR] [--f0-min 120 --f0-max 450]

Each MODEL_DIR holds a voice's fastspeech2.onnx and hifigan.onnx. DIR is
a corpus (build_corpus.py, build_diphone_corpus.py) whose held-out
sentences (test.npz) are spoken; its teacher is the reference.

For every voice: the C++ tool speaks all held-out sentences in file mode,
twice, the voices taking turns, and the faster of each voice's two runs
gives its real-time factor (wall time over audio time, start-up
included), so both are measured on the same machine under the same load.
The voice whose training corpus DIR is (--teacher-name, default the
second) is also scored against the teacher: the mel L1 of the tool's own
audio (re-analysed) against the teacher's mel, each phone's frames
resampled onto the teacher's frames of that phone (durations from the
acoustic model read back from its file), and the F0-slope correlation
per syllable final of that audio against the teacher's.

Writes REPORT/voices.json, REPORT/side_by_side.png (log-mel spectrograms
of the first five sentences: one column per voice, then the teacher) and
REPORT/<voice>/sentenceN.wav, REPORT/teacher/sentenceN.wav.
"""
import argparse
import json
import os
import subprocess
import tempfile
import time

import numpy as np
import torch
from scipy.io import wavfile

from . import contract, features
from .dataset import Corpus
from .eval_measures import Slopes, share, warp_to
from .eval_tool import write_conf
from .reexport import load_acoustic

SHOWN = 5


def speak_all(tool_dir, base_conf, model_dir, texts, out_dir, tmp):
    """Runs the tool in file mode over `texts`; returns (wall seconds,
    {index: float32 audio})."""
    text_path = os.path.join(tmp, "texts.txt")
    with open(text_path, "w", encoding="utf-8") as f:
        f.write("".join(t + "\n" for t in texts))
    os.makedirs(out_dir, exist_ok=True)
    conf = os.path.join(tmp, "tool.conf")
    write_conf(base_conf, model_dir, out_dir, text_path, conf)
    env = dict(os.environ, TOLVAREN_TTS_CONF=conf, SPDLOG_STDOUT="false")
    began = time.time()
    subprocess.run([os.path.join(tool_dir, "tolvaren_tts")], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.time() - began
    audio = {}
    for k, text in enumerate(texts):
        path = os.path.join(out_dir, text)
        if not os.path.exists(path):
            continue
        audio[k] = read_chunk_file(path)
    return wall, audio


def read_chunk_file(path):
    """The samples of a tolvaren_tts output file: a uint64 chunk count C,
    C uint64 sample counts, then the float32 samples (little-endian)."""
    data = open(path, "rb").read()
    count = int(np.frombuffer(data[:8], "<u8")[0])
    return np.frombuffer(data[8 + 8 * count:], "<f4").astype(np.float32)


def write_wav(path, audio):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    pcm = np.clip(np.round(audio * 32767), -32768, 32767).astype(np.int16)
    wavfile.write(path, contract.SAMPLE_RATE, pcm)


def against_teacher(acoustic, test, audio, f0_range):
    """Mel L1 and syllable F0 slopes of the tool's audio against the teacher."""
    l1, slopes = [], Slopes()
    for k, y in audio.items():
        u = test.utt(k)
        with torch.no_grad():
            _, d, _ = acoustic.infer(torch.from_numpy(u["ids"]))
        d = d.numpy()
        mel = features.log_mel(y)
        y_f0 = features.f0(y, fmin=f0_range[0], fmax=f0_range[1])
        if len(mel) != int(d.sum()):
            # The runtime and torch may round a duration apart; stretch.
            pos = np.linspace(0, len(mel) - 1, int(d.sum()))
            mel = np.stack([np.interp(pos, np.arange(len(mel)), mel[:, b])
                            for b in range(mel.shape[1])], axis=1)
            y_f0 = np.interp(pos, np.arange(len(y_f0)), y_f0)
        l1.append(float(np.abs(warp_to(mel, d, u["durs"]) - u["mel"]).mean()))
        slopes.add(u, y_f0, d)
    pooled = slopes.result()
    slopes_t, slopes_s, tones = map(np.array, (slopes.teacher, slopes.student, slopes.tones))
    return {"tool_mel_l1": float(np.mean(l1)),
            "tool_f0_slope_corr": pooled["slope_corr"],
            "tool_f0_slope_corr_by_tone": pooled["by_tone"],
            "tool_tone2_rising": share(slopes_s[tones == 2] > 0),
            "tool_tone4_falling": share(slopes_s[tones == 4] < 0),
            "teacher_tone2_rising": share(slopes_t[tones == 2] > 0),
            "teacher_tone4_falling": share(slopes_t[tones == 4] < 0),
            "syllables": int(len(tones))}


def plot(report, names, audio, teacher):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    columns = names + ["teacher"]
    fig, ax = plt.subplots(SHOWN, len(columns), figsize=(5 * len(columns), 2.2 * SHOWN),
                           squeeze=False)
    for k in range(SHOWN):
        for c, name in enumerate(columns):
            y = teacher[k] if name == "teacher" else audio[name].get(k)
            if y is None:
                continue
            ax[k, c].imshow(features.log_mel(y).T, origin="lower", aspect="auto",
                            vmin=-5, vmax=1)
            ax[k, c].set_title(f"{name}: sentence {k + 1}", fontsize=9)
            ax[k, c].set_yticks([])
    fig.tight_layout()
    fig.savefig(os.path.join(report, "side_by_side.png"), dpi=70)
    plt.close(fig)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--conf", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--voice", action="append", required=True, help="NAME=MODEL_DIR")
    ap.add_argument("--teacher-name")
    ap.add_argument("--report", required=True)
    ap.add_argument("--f0-min", type=float, default=120.0)
    ap.add_argument("--f0-max", type=float, default=450.0)
    args = ap.parse_args()
    voices = dict(v.split("=", 1) for v in args.voice)
    names = list(voices)
    scored = args.teacher_name or names[-1]
    test = Corpus(os.path.join(args.data, "test.npz"))
    texts = [str(t) for t in test.text]
    os.makedirs(args.report, exist_ok=True)
    result = {"sentences": len(texts), "voices": {}}
    audio = {}
    with tempfile.TemporaryDirectory() as tmp:
        walls = {name: [] for name in names}
        for _ in range(2):
            for name in names:
                out = os.path.join(tmp, name)
                wall, audio[name] = speak_all(args.tool, args.conf,
                                              os.path.abspath(voices[name]), texts, out, tmp)
                walls[name].append(wall)
    for name in names:
        seconds = sum(len(y) for y in audio[name].values()) / contract.SAMPLE_RATE
        entry = {"models": voices[name], "spoken": len(audio[name]),
                 "audio_s": seconds, "wall_s_runs": walls[name],
                 "rtf": min(walls[name]) / seconds if seconds else None,
                 "bytes": sum(os.path.getsize(os.path.join(voices[name], f))
                              for f in ("fastspeech2.onnx", "hifigan.onnx"))}
        if name == scored:
            acoustic = load_acoustic(os.path.join(voices[name], "fastspeech2.onnx"))
            entry.update(against_teacher(acoustic, test, audio[name],
                                         (args.f0_min, args.f0_max)))
        result["voices"][name] = entry
        for k in range(SHOWN):
            if k in audio[name]:
                write_wav(os.path.join(args.report, name, f"sentence{k + 1}.wav"),
                          audio[name][k])
    teacher = [test.audio_of(k) for k in range(SHOWN)]
    for k, y in enumerate(teacher):
        write_wav(os.path.join(args.report, "teacher", f"sentence{k + 1}.wav"), y)
    with open(os.path.join(args.report, "sentences.txt"), "w", encoding="utf-8") as f:
        f.write("".join(f"sentence{k + 1}.wav\t{t}\n" for k, t in enumerate(texts[:SHOWN])))
    plot(args.report, names, audio, teacher)
    with open(os.path.join(args.report, "voices.json"), "w") as f:
        json.dump(result, f, indent=1, ensure_ascii=False)
    print(json.dumps(result, indent=1, ensure_ascii=False))


if __name__ == "__main__":
    main()
