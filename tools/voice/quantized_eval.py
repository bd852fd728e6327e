"""Voices side by side on a corpus's held-out sentences: a voice's float
models beside their int8 form (tools/models/quantize_int8.py), or any
other model folders of the same voice.

  /usr/bin/python3 -m tools.voice.quantized_eval --build BUILD --data DATA
      --float FLOAT_DIR NAME=MODEL_DIR [NAME=MODEL_DIR ...]
      [--f0-min 50 --f0-max 250]

Each MODEL_DIR holds fastspeech2.onnx and hifigan.onnx. For the float
folder and each other: the vocoder's copy synthesis on the teacher's mels
(spectral convergence against the teacher's audio, F0 slopes per final
against the teacher's track), and the tool's own audio of the sentences
(mel L1 and F0 slopes per final against the teacher, the durations those of
FLOAT_DIR's acoustic model), as the listener report measures them. Speed
is measured by benchmarks/, not here.
"""
import argparse
import json
import os
import tempfile

from .compare_voices import against_teacher
from .dataset import Corpus
from .listener_render import Build, speak_float
from .listener_voice import copy_synthesis
from .reexport import load_acoustic


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--float", required=True, dest="float_dir")
    ap.add_argument("models", nargs="*", help="NAME=MODEL_DIR")
    ap.add_argument("--f0-min", type=float, default=50.0)
    ap.add_argument("--f0-max", type=float, default=250.0)
    args = ap.parse_args()
    build = Build(args.build)
    test = Corpus(os.path.join(args.data, "test.npz"))
    texts = [str(t) for t in test.text]
    acoustic = load_acoustic(os.path.join(args.float_dir, "fastspeech2.onnx"))
    pairs = dict([("float", args.float_dir)] + [m.split("=", 1) for m in args.models])
    f0_range = (args.f0_min, args.f0_max)
    scores = {}
    with tempfile.TemporaryDirectory() as work:
        for name, folder in pairs.items():
            _, audio = speak_float(build, folder, texts, os.path.join(work, name))
            scores[name] = dict(copy_synthesis(build, folder, test, f0_range,
                                               os.path.join(work, name, "copy")),
                                **against_teacher(acoustic, test, audio, f0_range))
    print(json.dumps(scores, indent=1))


if __name__ == "__main__":
    main()
