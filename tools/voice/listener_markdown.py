"""The listener report's markdown, spectrograms and WAVs."""
import os

import numpy as np
from scipy.io import wavfile

from . import contract
from .compare_voices import write_wav
from .listener_voice import ROUNDS

# The samples are float32 and the limiter's ceiling is the float32 nearest
# 0.99, a hair above 0.99 as a double: a peak at the ceiling meets it.
CEILING = float(np.float32(0.99))

# (label, figure key, format, target shown, check on the value or None);
# a key of None means a row drawn from several keys (see `value_of`).
ROWS = (
    ("float peak, highest of the sentences", "peak_max", "{:.3f}", "≤ 0.99",
     lambda v, c: v <= CEILING),
    ("float samples over 1.0 (sentences with any)", "samples_over_1", "{}", "0",
     lambda v, c: v == 0),
    ("16-bit samples at full scale in the WAVs written", "clipped_16bit", "{}", "0",
     lambda v, c: v == 0),
    ("F0 range p5-p95 per sentence, median (st)", "f0_range_st_median", "{:.2f}", "≥ 8",
     lambda v, c: v >= 8),
    ("tone 4 fall, mean (st)", "tone4_fall_st", "{:.2f}", "≥ 5", lambda v, c: v >= 5),
    ("tone 2 rise, mean (st)", "tone2_rise_st", "{:.2f}", "", None),
    ("tone 3 dip, mean (st)", "tone3_dip_st", "{:.2f}", "", None),
    ("fricative-band kurtosis (2-11 kHz), median", "fricative_kurtosis_median", "{:.1f}",
     "≤ 6", lambda v, c: v <= 6),
    ("of them s sh x c ch q (fricatives, aspirated affricates)",
     "fricative_kurtosis_median s sh x c ch q", "{:.1f}", "", None),
    ("of them z zh j (unaspirated affricates: a stop burst)",
     "fricative_kurtosis_median z zh j", "{:.1f}", "", None),
    ("trailing silence, shortest (median) (s)", "trailing_silence_s_min", "{:.3f}",
     "≥ 0.25", lambda v, c: v >= 0.25),
    ("sentences whose end decays (last 50 ms ≥ 3 dB below the 200 ms before)",
     "sentences_decaying", "{}", "all", lambda v, c: v == c["sentences"]),
    ("comma pause, median (shortest-longest) (ms)", "comma_pause_ms_median", "{:.0f}",
     "≤ 250", lambda v, c: v <= 250),
    ("speaking rate, onset to offset, median (syllables/s)", "rate_syl_per_s_median",
     "{:.2f}", "3.6-6.9", lambda v, c: 3.6 <= v <= 6.9),
    ("declination: slope of a line through each sentence's F0, median (st/s)",
     "declination_st_per_s_median", "{:.2f}", "≤ -0.4", lambda v, c: v <= -0.4),
    ("HNR of voiced frames, median (dB)", "hnr_db_median", "{:.1f}", "", None),
    ("spectral convergence on the teacher's mels (copy synthesis)", "spectral_convergence",
     "{:.3f}", "≤ 0.30", lambda v, c: v <= 0.30),
    ("F0 slope correlation per final, tool's audio vs teacher", "tool_f0_slope_corr",
     "{:.3f}", "≥ 0.95", lambda v, c: v >= 0.95),
    ("F0 slope correlation per final, copy synthesis vs teacher", "vocoder_f0_slope_corr",
     "{:.3f}", "", None),
    ("copy synthesis in the tool's chunks against one window: difference within 5 ms of "
     "a join, median (dB re the audio there)", "whole_difference_db_joins", "{:.1f}", "", None),
    ("the same at the blocks' middles (dB)", "whole_difference_db_middles", "{:.1f}", "", None),
    (f"RTF of tolvaren_tts (fastest of {ROUNDS} interleaved runs)", "rtf", "{:.4f}",
     "new ≤ 1.1 × old", None),
)


def value_text(key, fmt, c):
    v = c.get(key)
    if v is None:
        return "n/a"
    text = fmt.format(v)
    if key == "samples_over_1":
        text += f" ({c['sentences_over_1']})"
    elif key == "trailing_silence_s_min":
        text += f" ({c['trailing_silence_s_median']:.3f})"
    elif key == "sentences_decaying":
        text += f" of {c['sentences']}"
        if c.get("end_drop_db_median") is not None:
            text += f" (median {c['end_drop_db_median']:+.1f} dB)"
    elif key == "comma_pause_ms_median" and c.get("comma_pause_ms_range"):
        lo, hi = c["comma_pause_ms_range"]
        text += f" ({lo:.0f}-{hi:.0f}, {c['commas']} commas)"
    return text


def verdict(check, key, c, columns, name):
    if key == "rtf" and name != "teacher" and "old" in columns and name != "old":
        old = columns["old"].get("rtf")
        return "pass" if old and c["rtf"] <= 1.1 * old else "FAIL"
    if check is None or name == "teacher" or c.get(key) is None:
        return ""
    return "pass" if check(c[key], c) else "FAIL"


def voice_table(columns):
    names = list(columns)
    lines = ["| measure | target | " + " | ".join(names) + " |",
             "|---|---|" + "---|" * len(names)]
    for label, key, fmt, target, check in ROWS:
        cells = []
        for name in names:
            c = columns[name]
            text = value_text(key, fmt, c)
            mark = verdict(check, key, c, columns, name)
            cells.append(f"{text} {mark}".strip())
        lines.append(f"| {label} | {target} | " + " | ".join(cells) + " |")
    return lines


def edge_table(edges):
    pairs = list(next(iter(edges.values())))
    lines = ["| case | " + " | ".join(f"{p}: exit, s, peak, over 1.0, trailing s, decays, "
                                     "joins, mean jump (rad)" for p in pairs) + " |",
             "|---|" + "---|" * len(pairs)]
    for case, by_pair in edges.items():
        cells = []
        for p in pairs:
            m = by_pair[p]
            if "peak" not in m:
                cells.append(f"exit {m['exit_status']}, no audio")
                continue
            jump = m["join_mean_abs_phase_jump_rad"]
            ok = (m["peak"] <= CEILING and m["decays"] is not False
                  and (jump is None or jump <= 0.3))
            cells.append(
                f"{m['exit_status']}, {m['seconds']:.2f}, {m['peak']:.3f}, {m['over_1']}, "
                f"{m['trailing_silence_s']:.3f}, {m['decays']}, {m['joins']}, "
                + ("n/a" if jump is None else f"{jump:.2f}") + (" pass" if ok else " FAIL"))
        lines.append(f"| {case} | " + " | ".join(cells) + " |")
    return lines


def write_markdown(path, meta, voices, edges):
    out = ["# What a listener hears first: both voices, old and new models", "",
           "Made by `tools/voice/listener_report.sh` (which builds what it needs and the "
           f"held-out sets where there are none), that is `{meta['command']}`, in {meta['run_s']:.0f} s on {meta['when']} "
           f"({meta['cores']} cores, shared: load average "
           f"{meta['load_average_at_start']:.1f} at the start, "
           f"{meta['load_average_at_end']:.1f} at the end). Old models: git revision `{meta['old']}`; new: "
           f"`{meta['new']}` ({meta['new_state']}). Every sentence is one of the voice's 50 "
           "held-out sentences (`test.npz` of its corpus); the teacher column is the "
           "teacher's own audio there.", "",
           "How each figure is made: float audio from `tolvaren_tts` (file mode), 16-bit "
           "WAVs from `tolvaren_say --output-dir`; phones and their frames from the "
           "acoustic model's durations (the teacher's own for its audio); F0 ranges, tone "
           "excursions and HNR from praat (`praat/pitch_hnr.praat`: autocorrelation "
           "pitch, cross-correlation harmonicity, in the voice's pitch range); slope "
           "correlations from the recipe's YIN tracker (`features.f0`), as "
           "`compare_voices.py` and `evaluate.py` compute them; copy synthesis through "
           "`tolvaren_tts_vocode` (the tool's chunks and phase carry). "
           "Targets: issue 25; pass/FAIL per model column.", ""]
    for voice, result in voices.items():
        out += [f"## {voice} voice", "",
                f"Data: `{result['data']}`, pitch range {result['f0_range'][0]:.0f}-"
                f"{result['f0_range'][1]:.0f} Hz. Spectrograms: `spectrograms_{voice}.png`; "
                f"WAVs: `{voice}/`.", ""]
        out += voice_table(result["columns"]) + [""]
        out += ["Edges (`tolvaren_say --float`; the sentence cases speak held-out "
                "sentence 1; joins measured at the voice's rate):", ""]
        out += edge_table(edges[voice]) + [""]
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(out))


def write_wavs(folder, voice, result, shown):
    """The first `shown` sentences as 16-bit WAVs: each model pair's as
    tolvaren_say wrote it, the teacher's from its corpus."""
    os.makedirs(os.path.join(folder, voice), exist_ok=True)
    written, notes = [], []
    for name, utts in reversed(list(result["pcm"].items())):  # new first
        same = [w for w, other in written if all(
            k in utts and k in other and np.array_equal(utts[k], other[k])
            for k in range(shown))]
        written.append((name, utts))
        if same:
            notes.append(f"{name}: the same samples as {same[0]}\n")
            continue
        for k in range(shown):
            if k in utts:
                wavfile.write(os.path.join(folder, voice, f"{name}_sentence{k + 1}.wav"),
                              contract.SAMPLE_RATE, utts[k])
    for k in range(shown):
        write_wav(os.path.join(folder, voice, f"teacher_sentence{k + 1}.wav"),
                  result["audio"]["teacher"][k])
    with open(os.path.join(folder, voice, "sentences.txt"), "w", encoding="utf-8") as f:
        f.write("".join(f"sentence{k + 1}\t{t}\n" for k, t in enumerate(result["texts"][:shown]))
                + "".join(notes))


def plot_spectrograms(path, result, shown):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    columns = list(result["audio"])
    fig, ax = plt.subplots(shown, len(columns), figsize=(4.5 * len(columns), 2.6 * shown),
                           squeeze=False)
    for k in range(shown):
        for c, name in enumerate(columns):
            y = result["audio"][name].get(k)
            if y is None:
                continue
            # A floor far below the colour range keeps digital silence dark.
            floor = 1e-7 * np.random.default_rng(0).standard_normal(len(y))
            ax[k, c].specgram(y + floor, NFFT=1024, Fs=contract.SAMPLE_RATE, noverlap=768,
                              cmap="magma", vmin=-130, vmax=-20)
            ax[k, c].set_title(f"{name}: sentence {k + 1}", fontsize=9)
            ax[k, c].set_ylabel("Hz", fontsize=8)
            ax[k, c].tick_params(labelsize=7)
    fig.tight_layout()
    fig.savefig(path, dpi=60)
    plt.close(fig)
