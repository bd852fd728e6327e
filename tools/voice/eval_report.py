"""The report evaluate.py writes: report.md and its plots; and how the
other measures save theirs."""
import json
import os

import numpy as np

from . import contract, voices
from .vocoders import SYNTHESIS_GAIN_SMOOTHING


def save_results(report_dir, stem, result, write_markdown):
    """REPORT_DIR/STEM.json and STEM.md (by write_markdown(path, result)),
    and the result on standard output."""
    os.makedirs(report_dir, exist_ok=True)
    with open(os.path.join(report_dir, stem + ".json"), "w") as f:
        json.dump(result, f, indent=1)
    write_markdown(os.path.join(report_dir, stem + ".md"), result)
    print(json.dumps(result, indent=1))


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


def write_report(report_dir, m):
    def f(x, nd=3):
        return "n/a" if x is None or (isinstance(x, float) and np.isnan(x)) else f"{x:.{nd}f}"
    lines = [
        f"# {m.get('voice', 'default').capitalize()} voice: evaluation",
        "",
        "Made by `tools/voice/evaluate.py` (see tools/voice/README.md). "
        f"{m['test_sentences']} held-out prose sentences ({m['phones']} phones), "
        "through the real front end; the teacher: "
        + voices.VOICES[m.get("voice", "default")]["teacher"] + ".",
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
