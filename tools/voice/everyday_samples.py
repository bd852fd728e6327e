"""Ten everyday sentences spoken by each voice: WAVs and spectrograms.

  python3 -m tools.voice.everyday_samples --tool BUILD/src --conf TOOL_CONF
      --voice NAME=MODEL_DIR [--voice ...] [--report DIR]

Writes REPORT/NAME/everydayN.wav (16-bit) and REPORT/everyday.png (a
column per voice, a row per sentence), for listening old and new side by
side.
"""
import argparse
import os
import tempfile

from . import features
from .compare_voices import speak_all, write_wav
from .eval_tool import voice_folders

SENTENCES = [
    "您好，请问有什么可以帮您？",
    "电量还剩百分之二十，我先回去充电。",
    "今天最高气温二十八度，下午可能有雷阵雨。",
    "这件衣服打完折一共两百三十五块。",
    "前方路口请右转，然后直行五百米。",
    "会议改到明天上午十点半，在三楼的小会议室。",
    "请把这两个箱子放到门口的桌子上。",
    "对不起，我没有听清楚，您能再说一遍吗？",
    "您的快递已经到了，放在一号柜的十二号格子里。",
    "晚安，明天早上七点我会叫您起床。",
]


def plot(path, names, audio):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    rows = len(SENTENCES)
    fig, ax = plt.subplots(rows, len(names), figsize=(5 * len(names), 1.5 * rows),
                           squeeze=False)
    for c, name in enumerate(names):
        for k in range(rows):
            y = audio[name].get(k)
            if y is not None and len(y):
                ax[k, c].imshow(features.log_mel(y).T, origin="lower", aspect="auto",
                                vmin=-5, vmax=1)
            ax[k, c].set_title(f"{name}: {k + 1}", fontsize=8)
            ax[k, c].set_yticks([])
            ax[k, c].set_xticks([])
    fig.tight_layout()
    fig.savefig(path, dpi=50)
    plt.close(fig)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--conf", required=True)
    ap.add_argument("--voice", action="append", required=True, metavar="NAME=MODEL_DIR")
    ap.add_argument("--report", default="tools/voice/report/recorded/everyday")
    args = ap.parse_args()
    voices = voice_folders(ap, args.voice)
    audio = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name, folder in voices:
            _, audio[name] = speak_all(args.tool, args.conf, folder, SENTENCES,
                                       os.path.join(tmp, name), tmp)
    for name, _ in voices:
        for k, y in audio[name].items():
            write_wav(os.path.join(args.report, name, f"everyday{k + 1}.wav"), y)
    plot(os.path.join(args.report, "everyday.png"), [n for n, _ in voices], audio)
    with open(os.path.join(args.report, "sentences.txt"), "w", encoding="utf-8") as f:
        f.write("".join(f"{k + 1}\t{s}\n" for k, s in enumerate(SENTENCES)))


if __name__ == "__main__":
    main()
