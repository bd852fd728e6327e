"""Evaluates a trained voice against the teacher on the held-out sentences.

  python3 -m tools.voice.evaluate --data DIR --run DIR --tool BUILD_DIR/src/tool --report DIR

DIR/test.npz holds held-out prose sentences that went through the real
front end and the teacher. Measures:
  * mel L1 against the teacher with the model's own (predicted) durations:
    each phone's predicted frames are linearly resampled onto the teacher's
    frames of that phone before the L1 (log10 mel units); also with the
    teacher's durations, for reference;
  * duration error per phone (mean absolute, frames and ms);
  * F0 slope per syllable final: least-squares slope of log2 F0 (octaves
    per second) over the final's voiced frames, F0 tracked on the teacher's
    audio and on the student's audio (acoustic model + vocoder, predicted
    durations); Pearson correlation with the teacher pooled over all
    syllables and per tone, and the share of tone 2 finals rising and tone
    4 finals falling;
  * the vocoder's spectral convergence on teacher mels, vocoded in the
    tool's 64-frame windows (||S_teacher - S_vocoded|| / ||S_teacher||,
    magnitude STFT with n_fft 2048, window 1200, hop 300);
  * real-time factor of the C++ tool (4 intra-op + 4 inter-op threads, as
    it is built) in file mode over the held-out sentences;
and writes REPORT/report.md, REPORT/metrics.json, plots and the WAVs of
five sentences made by tolvaren_tts and tolvaren_tts_wav.
"""
import argparse
import json
import os
import subprocess
import tempfile
import time

import numpy as np
import torch

from . import contract, convergence_ceiling, export, features
from .dataset import Corpus
from .models import SYNTHESIS_GAIN_SMOOTHING, SourceFilterVocoder
from .train_acoustic import evaluate as teacher_forced_losses


def warp_to(pred, pred_durs, ref_durs):
    """Resamples each phone's predicted frames onto ref_durs[i] frames."""
    out = []
    p0 = 0
    for dp, dr in zip(pred_durs, ref_durs):
        seg = pred[p0:p0 + dp]
        p0 += dp
        if dr == 0:
            continue
        if len(seg) == 0:
            seg = pred[max(p0 - 1, 0):max(p0, 1)]
        pos = (np.arange(dr) + 0.5) * len(seg) / dr - 0.5
        pos = np.clip(pos, 0, len(seg) - 1)
        lo = np.floor(pos).astype(int)
        hi = np.minimum(lo + 1, len(seg) - 1)
        w = (pos - lo)[:, None] if seg.ndim == 2 else pos - lo
        out.append(seg[lo] * (1 - w) + seg[hi] * w)
    return np.concatenate(out)


def syllable_slopes(f0_hz, durs, tones):
    """(tone, slope) per final with >= 3 voiced frames; slope of log2 F0 in
    octaves per second."""
    out = []
    start = 0
    for d, tone in zip(durs, tones):
        if tone > 0:
            seg = f0_hz[start:start + d]
            t = np.nonzero(seg > 0)[0]
            if len(t) >= 3:
                y = np.log2(seg[t])
                slope = np.polyfit(t * contract.FRAME_MS / 1000.0, y, 1)[0]
                out.append((tone, slope))
            else:
                out.append((tone, None))
        start += d
    return out


def vocode_chunked(voc, mel):
    """The tool's chunking: 36-frame blocks with 14 frames of context."""
    frames = len(mel)
    pieces = []
    c = -(-frames // 36)
    for k in range(c):
        s, e = max(36 * k - 14, 0), min(36 * k + 50, frames)
        with torch.no_grad():
            out = voc(torch.from_numpy(mel[s:e]).unsqueeze(0))
            audio = (out[0] if isinstance(out, tuple) else out)[0].numpy()
        a = 0 if k == 0 else 14 * contract.HOP
        b = len(audio) if k == c - 1 else a + 36 * contract.HOP
        pieces.append(audio[a:b])
    return np.concatenate(pieces) if pieces else np.zeros(0, np.float32)


def corr(a, b):
    a, b = np.asarray(a), np.asarray(b)
    if len(a) < 3 or a.std() == 0 or b.std() == 0:
        return None
    return float(np.corrcoef(a, b)[0, 1])


def share(mask):
    return float(np.mean(mask)) if len(mask) else None


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


def plots(report_dir, example, tone_curves):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, ax = plt.subplots(3, 1, figsize=(10, 8))
    ax[0].imshow(example["teacher_mel"].T, origin="lower", aspect="auto")
    ax[0].set_title("teacher mel")
    ax[1].imshow(example["student_mel"].T, origin="lower", aspect="auto")
    ax[1].set_title("student mel (predicted durations)")
    t1 = np.arange(len(example["teacher_f0"])) * contract.FRAME_MS / 1000
    t2 = np.arange(len(example["student_f0"])) * contract.FRAME_MS / 1000
    f1 = np.where(example["teacher_f0"] > 0, example["teacher_f0"], np.nan)
    f2 = np.where(example["student_f0"] > 0, example["student_f0"], np.nan)
    ax[2].plot(t1, f1, label="teacher")
    ax[2].plot(t2, f2, label="student")
    ax[2].set_ylabel("F0 (Hz)")
    ax[2].set_xlabel("s")
    ax[2].legend()
    fig.tight_layout()
    fig.savefig(os.path.join(report_dir, "example.png"), dpi=80)
    plt.close(fig)
    fig, ax = plt.subplots(1, 5, figsize=(14, 3), sharey=True)
    for tone in range(1, 6):
        for who, style in (("teacher", "-"), ("student", "--")):
            curves = tone_curves[who].get(tone, [])
            if curves:
                ax[tone - 1].plot(np.linspace(0, 1, 10), np.nanmean(curves, axis=0),
                                  style, label=who)
        ax[tone - 1].set_title(f"tone {tone}")
        ax[tone - 1].set_xlabel("time in final")
    ax[0].set_ylabel("mean log2 F0 - syllable mean")
    ax[0].legend()
    fig.tight_layout()
    fig.savefig(os.path.join(report_dir, "tones.png"), dpi=80)
    plt.close(fig)


def normalized_curve(f0_hz):
    seg = f0_hz
    t = np.nonzero(seg > 0)[0]
    if len(t) < 3:
        return None
    y = np.interp(np.linspace(0, len(seg) - 1, 10), t, np.log2(seg[t]))
    return y - y.mean()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--data", required=True)
    ap.add_argument("--run", required=True, help="folder with the checkpoints and ONNX files")
    ap.add_argument("--tool", required=True, help="folder with tolvaren_tts and tolvaren_tts_wav")
    ap.add_argument("--conf", required=True, help="a tool.conf whose front end to use")
    ap.add_argument("--report", required=True)
    ap.add_argument("--threads", type=int, default=1)
    args = ap.parse_args()
    torch.set_num_threads(args.threads)
    os.makedirs(args.report, exist_ok=True)
    test = Corpus(os.path.join(args.data, "test.npz"))
    acoustic = export.load_acoustic(os.path.join(args.run, "acoustic.pt"))
    voc = export.load_vocoder(os.path.join(args.run, "vocoder.pt"))

    l1_pred, dur_err, n_phones = [], [], 0
    dur_err_by = {"initial": [], "final": [], "sp": []}
    slopes_t, slopes_s, slopes_p, tones_all = [], [], [], []
    sc = []
    # The best a zero-phase gain could do, free and as smoothed at synthesis.
    source = SourceFilterVocoder().eval()
    ceiling_widths = {1: [], SYNTHESIS_GAIN_SMOOTHING: []}
    voc_slopes = []  # (teacher, vocoded teacher mel) per final
    tone_curves = {"teacher": {}, "student": {}}
    example = None
    for k in range(len(test)):
        u = test.utt(k)
        ids = torch.from_numpy(u["ids"])
        with torch.no_grad():
            mel, d, pitch = acoustic.infer(ids)
        mel, d = mel.numpy(), d.numpy()
        warped = warp_to(mel, d, u["durs"])
        l1_pred.append(float(np.abs(warped - u["mel"]).mean()))
        err = np.abs(d - u["durs"])
        dur_err.extend(err.tolist())
        phones = test.phones[k].split()
        for p, e, tone in zip(phones, err, u["tones"]):
            kind = "sp" if p == "sp" else ("final" if tone > 0 else "initial")
            dur_err_by[kind].append(e)
        # Student audio (chunked like the tool) and its F0.
        audio_s = vocode_chunked(voc, mel)
        f0_s = features.f0(audio_s)
        f0_t = u["f0"]
        st = syllable_slopes(f0_t, u["durs"], u["tones"])
        ss = syllable_slopes(f0_s, d, u["tones"])
        # Slopes of the pitch predictor's own contour (before the vocoder).
        lf = pitch.numpy() * acoustic.pitch_stats[1].item() + acoustic.pitch_stats[0].item()
        sp_ = syllable_slopes(np.exp(lf), d, u["tones"])
        for (tone, a), (_, b), (_, c) in zip(st, ss, sp_):
            if a is not None and b is not None and c is not None:
                slopes_t.append(a)
                slopes_s.append(b)
                slopes_p.append(c)
                tones_all.append(tone)
        # Mean contours per tone.
        for who, f0v, dv in (("teacher", f0_t, u["durs"]), ("student", f0_s, d)):
            start = 0
            for dd, tone in zip(dv, u["tones"]):
                if tone > 0:
                    c = normalized_curve(f0v[start:start + dd])
                    if c is not None:
                        tone_curves[who].setdefault(int(tone), []).append(c)
                start += dd
        # Vocoder on the teacher's mel.
        audio_v = vocode_chunked(voc, u["mel"])
        sc.append(features.spectral_convergence(audio_v, test.audio_of(k)))
        f0_t_hz = convergence_ceiling.teacher_f0_hz(source, u["f0"])
        for width, value in ceiling_widths.items():
            value.append(convergence_ceiling.ceilings(
                source, f0_t_hz, test.audio_of(k), [width], with_phase=False)[(width, False)])
        for (tone, a), (_, b) in zip(st, syllable_slopes(features.f0(audio_v), u["durs"],
                                                         u["tones"])):
            if a is not None and b is not None:
                voc_slopes.append((a, b))
        if example is None:
            example = {"teacher_mel": u["mel"], "student_mel": mel,
                       "teacher_f0": f0_t, "student_f0": f0_s}
        n_phones += len(d)
    # Teacher-forced durations mel L1 via the training forward pass.
    with torch.no_grad():
        tf_mel, tf_dur, tf_pitch = teacher_forced_losses(
            acoustic, test, (acoustic.pitch_stats[0].item(), acoustic.pitch_stats[1].item()),
            limit=len(test))
    acoustic.eval()
    # Per-tone mean contours (10 points each, tones 1-5 joined): teacher vs
    # student correlation, and how much flatter the student's tones are.
    mean_t = [np.mean(tone_curves["teacher"][t], axis=0) for t in range(1, 6)
              if tone_curves["teacher"].get(t) and tone_curves["student"].get(t)]
    mean_s = [np.mean(tone_curves["student"][t], axis=0) for t in range(1, 6)
              if tone_curves["teacher"].get(t) and tone_curves["student"].get(t)]
    contour_corr = corr(np.concatenate(mean_t), np.concatenate(mean_s)) if mean_t else None
    tones_all = np.array(tones_all)
    slopes_t, slopes_s, slopes_p = map(np.array, (slopes_t, slopes_s, slopes_p))
    m = {
        "test_sentences": len(test),
        "phones": n_phones,
        "mel_l1_predicted_durations": float(np.mean(l1_pred)),
        "mel_l1_teacher_durations_teacher_pitch": tf_mel,
        "duration_mae_frames": float(np.mean(dur_err)),
        "duration_mae_ms": float(np.mean(dur_err) * contract.FRAME_MS),
        "duration_mae_frames_by_kind": {k: float(np.mean(v)) if v else None
                                        for k, v in dur_err_by.items()},
        "f0_slope_corr_all": corr(slopes_t, slopes_s),
        "f0_slope_corr_pitch_predictor": corr(slopes_t, slopes_p),
        "f0_tone_contour_corr": contour_corr,
        "f0_slope_ratio_student_teacher": float(
            np.sum(slopes_s * slopes_t) / np.sum(slopes_t * slopes_t)),
        "f0_slope_corr_by_tone": {int(t): corr(slopes_t[tones_all == t],
                                               slopes_s[tones_all == t])
                                  for t in range(1, 6)},
        "f0_mean_slope_by_tone": {int(t): {"teacher": float(slopes_t[tones_all == t].mean()),
                                           "student": float(slopes_s[tones_all == t].mean()),
                                           "n": int((tones_all == t).sum())}
                                  for t in range(1, 6) if (tones_all == t).any()},
        "tone2_rising_student": share(slopes_s[tones_all == 2] > 0),
        "tone2_rising_teacher": share(slopes_t[tones_all == 2] > 0),
        "tone4_falling_student": share(slopes_s[tones_all == 4] < 0),
        "tone4_falling_teacher": share(slopes_t[tones_all == 4] < 0),
        "tone2_sign_agreement": share((slopes_s[tones_all == 2] > 0) ==
                                      (slopes_t[tones_all == 2] > 0)),
        "tone4_sign_agreement": share((slopes_s[tones_all == 4] < 0) ==
                                      (slopes_t[tones_all == 4] < 0)),
        "vocoder_spectral_convergence": float(np.mean(sc)),
        "vocoder_spectral_convergence_ceiling_free_gain": float(np.mean(ceiling_widths[1])),
        "vocoder_spectral_convergence_ceiling_smoothed_gain": float(
            np.mean(ceiling_widths[SYNTHESIS_GAIN_SMOOTHING])),
        "vocoder_f0_slope_corr_on_teacher_mels": corr([a for a, _ in voc_slopes],
                                                      [b for _, b in voc_slopes]),
    }
    m.update(tool_measures(args, test.text, args.report))
    for name in ("acoustic.pt", "vocoder.pt"):
        ck = torch.load(os.path.join(args.run, name))
        m[name.split(".")[0] + "_steps"] = ck["step"]
        m[name.split(".")[0] + "_train_minutes"] = ck.get("seconds", 0) / 60
    for name in ("fastspeech2.onnx", "hifigan.onnx"):
        m[name + "_bytes"] = os.path.getsize(os.path.join(args.run, name))
    with open(os.path.join(args.report, "metrics.json"), "w") as f:
        json.dump(m, f, indent=1, ensure_ascii=False)
    plots(args.report, example, tone_curves)
    with open(os.path.join(args.report, "sentences.txt"), "w", encoding="utf-8") as f:
        f.write("".join(f"sentence{k + 1}.wav\t{t}\n" for k, t in enumerate(test.text[:5])))
    write_report(args.report, m)
    print(json.dumps(m, indent=1, ensure_ascii=False))


def write_report(report_dir, m):
    def f(x, nd=3):
        return "n/a" if x is None or (isinstance(x, float) and np.isnan(x)) else f"{x:.{nd}f}"
    lines = [
        "# Default voice: evaluation",
        "",
        "Made by `tools/voice/evaluate.py` (see tools/voice/README.md). "
        f"{m['test_sentences']} held-out prose sentences ({m['phones']} phones), "
        "through the real front end; the teacher is espeak-ng's cmn-latn-pinyin voice.",
        "",
        "| measure | value |",
        "|---|---|",
        f"| mel L1 vs teacher, predicted durations (log10 units) | {f(m['mel_l1_predicted_durations'])} |",
        f"| mel L1 vs teacher, teacher durations and pitch | {f(m['mel_l1_teacher_durations_teacher_pitch'])} |",
        f"| duration error per phone | {f(m['duration_mae_frames'], 2)} frames = {f(m['duration_mae_ms'], 1)} ms |",
        f"| F0 slope correlation, all finals (student audio) | {f(m['f0_slope_corr_all'])} |",
        f"| F0 slope correlation, all finals (pitch predictor) | {f(m['f0_slope_corr_pitch_predictor'])} |",
    ]
    lines.append(f"| per-tone mean F0 contours, teacher vs student correlation | {f(m['f0_tone_contour_corr'])} |")
    lines.append(f"| student slope / teacher slope (least squares over finals) | {f(m['f0_slope_ratio_student_teacher'])} |")
    for t, v in m["f0_slope_corr_by_tone"].items():
        lines.append(f"| F0 slope correlation, tone {t} | {f(v)} |")
    lines += [
        f"| tone 2 finals rising: student / teacher | {f(m['tone2_rising_student'])} / {f(m['tone2_rising_teacher'])} |",
        f"| tone 4 finals falling: student / teacher | {f(m['tone4_falling_student'])} / {f(m['tone4_falling_teacher'])} |",
        f"| sign agreement with the teacher: tone 2 / tone 4 | {f(m['tone2_sign_agreement'])} / {f(m['tone4_sign_agreement'])} |",
        f"| vocoder spectral convergence on teacher mels | {f(m['vocoder_spectral_convergence'])} |",
        "| the best a zero-phase gain could do (convergence_ceiling.py): free / "
        f"averaged over {SYNTHESIS_GAIN_SMOOTHING} bins as at synthesis | "
        f"{f(m['vocoder_spectral_convergence_ceiling_free_gain'])} / "
        f"{f(m['vocoder_spectral_convergence_ceiling_smoothed_gain'])} |",
        f"| vocoder alone: F0 slope correlation on teacher mels | {f(m['vocoder_f0_slope_corr_on_teacher_mels'])} |",
        f"| C++ tool real-time factor (4+4 threads, {m['tool_texts']} texts) | {f(m['tool_rtf'])} |",
        f"| training: acoustic steps / minutes | {m['acoustic_steps']} / {f(m['acoustic_train_minutes'], 1)} |",
        f"| training: vocoder steps / minutes | {m['vocoder_steps']} / {f(m['vocoder_train_minutes'], 1)} |",
        f"| fastspeech2.onnx / hifigan.onnx bytes | {m['fastspeech2.onnx_bytes']} / {m['hifigan.onnx_bytes']} |",
        "",
        "Mean F0 slope per tone (octaves per second), teacher vs student:",
        "",
        "| tone | n | teacher | student |",
        "|---|---|---|---|",
    ]
    for t, v in m["f0_mean_slope_by_tone"].items():
        lines.append(f"| {t} | {v['n']} | {f(v['teacher'], 2)} | {f(v['student'], 2)} |")
    lines += ["", "![example](example.png)", "", "![tones](tones.png)", "",
              "sentence1.wav ... sentence5.wav: the first five sentences "
              "(sentences.txt), made by tolvaren_tts and tolvaren_tts_wav.", ""]
    with open(os.path.join(report_dir, "report.md"), "w", encoding="utf-8") as fh:
        fh.write("\n".join(lines))


if __name__ == "__main__":
    main()
