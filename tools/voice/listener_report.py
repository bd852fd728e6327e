"""What a listener hears first, for both shipped voices, old models beside
new ones, on each voice's held-out sentences.

  python3 -m tools.voice.listener_report --build BUILD
      --data default=DIR --data diphone=DIR [--old REV] [--new MODELS]
      [--report tools/voice/report/listener]

BUILD is a build folder of this project (tolvaren_tts, tolvaren_say,
tolvaren_tts_vocode and resources/conf/tool.conf); each DIR a voice's
corpus (build_corpus.py, build_diphone_corpus.py) holding test.npz. The
old models are the files at git revision REV (default HEAD), the new ones
those under MODELS (default resources/models; the diphone voice in its
diphone/ folder). Measures per voice, for old, new and the teacher's own
audio (listener_voice.py): peak and clipping, F0 range and tone
excursions, fricative-band kurtosis, trailing silence and end decay,
comma pauses, speaking rate, HNR, spectral convergence and F0 slope
correlation against the teacher, RTF of old and new in one run; and the
edge cases of listener_edges.py. Writes REPORT/report.md,
REPORT/listener.json, REPORT/spectrograms_VOICE.png and a few 16-bit WAVs
in REPORT/VOICE/.
"""
import argparse
import datetime
import json
import os
import shlex
import subprocess
import sys
import tempfile
import time

import torch

from .listener_edges import measure_edges
from .listener_markdown import plot_spectrograms, write_markdown, write_wavs
from .listener_render import Build, models_at_revision
from .listener_voice import measure_voice

VOICE_DIRS = {"default": "resources/models", "diphone": "resources/models/diphone"}
# The default voice's range holds both its recorded speaker (about 190-380
# Hz) and the formant-taught voice it replaced (70-140 Hz), so that old
# and new models are tracked alike.
F0_RANGES = {"default": (60.0, 500.0), "diphone": (120.0, 450.0)}
SHOWN = 2


def model_pairs(voice, old_rev, new_root, work):
    sub = os.path.relpath(VOICE_DIRS[voice], VOICE_DIRS["default"])
    new = os.path.abspath(os.path.normpath(os.path.join(new_root, sub)))
    old = models_at_revision(old_rev, VOICE_DIRS[voice], os.path.join(work, "old", voice))
    return {"old": old, "new": new}


def tree_state(path):
    """Whether the new models differ from the checked-in ones."""
    status = subprocess.run(["git", "status", "--porcelain", "--", path],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if status.returncode != 0:
        return f"{path}, outside the repository"
    changed = status.stdout.decode().strip()
    head = subprocess.run(["git", "rev-parse", "--short", "HEAD"], stdout=subprocess.PIPE,
                          check=True).stdout.decode().strip()
    return f"working tree at {head}" + (", models changed" if changed else "")


def jsonable(result):
    return {k: v for k, v in result.items() if k not in ("audio", "pcm")}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--data", action="append", required=True, help="VOICE=CORPUS_DIR")
    ap.add_argument("--old", default="HEAD", help="git revision of the old models")
    ap.add_argument("--new", default="resources/models", help="folder of the new models")
    ap.add_argument("--report", default="tools/voice/report/listener")
    ap.add_argument("--threads", type=int, default=1)
    args = ap.parse_args()
    began = time.time()
    load_at_start = os.getloadavg()[0]
    torch.set_num_threads(args.threads)
    data = dict(d.split("=", 1) for d in args.data)
    unknown = set(data) - set(VOICE_DIRS)
    if unknown:
        sys.exit(f"listener_report: no such voice: {', '.join(sorted(unknown))}")
    build = Build(args.build)
    os.makedirs(args.report, exist_ok=True)
    voices, edges = {}, {}
    with tempfile.TemporaryDirectory() as work:
        for voice, folder in data.items():
            pairs = model_pairs(voice, args.old, args.new, work)
            result = measure_voice(build, folder, pairs, F0_RANGES[voice],
                                   os.path.join(work, voice))
            result.update(data=folder, f0_range=F0_RANGES[voice],
                          models={"old": f"{args.old}:{VOICE_DIRS[voice]}",
                                  "new": os.path.relpath(pairs["new"])})
            edges[voice] = measure_edges(build, pairs, result["texts"][0], F0_RANGES[voice],
                                         os.path.join(work, voice, "edges"))
            write_wavs(args.report, voice, result, SHOWN)
            plot_spectrograms(os.path.join(args.report, f"spectrograms_{voice}.png"),
                              result, SHOWN)
            voices[voice] = result
    meta = {"command": "/usr/bin/python3 -m tools.voice.listener_report "
                       + " ".join(shlex.quote(a) for a in sys.argv[1:]),
            "run_s": time.time() - began, "cores": os.cpu_count(),
            "when": datetime.datetime.now().strftime("%Y-%m-%d %H:%M"),
            "old": args.old, "new": args.new, "new_state": tree_state(args.new),
            "load_average_at_start": load_at_start, "load_average_at_end": os.getloadavg()[0]}
    write_markdown(os.path.join(args.report, "report.md"), meta, voices, edges)
    with open(os.path.join(args.report, "listener.json"), "w") as f:
        json.dump({"meta": meta, "voices": {v: jsonable(r) for v, r in voices.items()},
                   "edges": edges}, f, indent=1, ensure_ascii=False)
    print(f"listener report in {args.report} ({meta['run_s']:.0f} s)")


if __name__ == "__main__":
    main()
