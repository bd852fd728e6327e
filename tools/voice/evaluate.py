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

import numpy as np
import torch

from . import contract, convergence_ceiling, export, features
from .dataset import Corpus
from .eval_measures import corr, normalized_curve, share, syllable_slopes, vocode_chunked, warp_to
from .eval_report import plots, write_report
from .eval_tool import tool_measures
from .train_acoustic import evaluate as teacher_forced_losses
from .vocoders import SYNTHESIS_GAIN_SMOOTHING, SourceFilterVocoder


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--data", required=True)
    ap.add_argument("--run", required=True, help="folder with the checkpoints and ONNX files")
    ap.add_argument("--tool", required=True, help="folder with tolvaren_tts and tolvaren_tts_wav")
    ap.add_argument("--conf", required=True, help="a tool.conf whose front end to use")
    ap.add_argument("--report", required=True)
    ap.add_argument("--threads", type=int, default=1)
    ap.add_argument("--f0-min", type=float, default=50.0,
                    help="pitch tracker range (Hz): 50-250 for the default voice, "
                         "120-450 for the diphone voice, as their corpora were tracked")
    ap.add_argument("--f0-max", type=float, default=250.0)
    ap.add_argument("--voice", default="default", help="the voice's name (voices.py), for the report")
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
        f0_s = features.f0(audio_s, fmin=args.f0_min, fmax=args.f0_max)
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
        for (tone, a), (_, b) in zip(st, syllable_slopes(features.f0(audio_v, fmin=args.f0_min, fmax=args.f0_max), u["durs"],
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
        "voice": args.voice,
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


if __name__ == "__main__":
    main()
