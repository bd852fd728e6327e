"""The edges of the listener report: texts and options at the limits of
what tolvaren_say takes, each measured for its peak, how it ends and the
phase continuity at the vocoder's chunk joins."""
import os

import numpy as np
from scipy.signal import resample_poly

from . import chunk_joins, contract, listener_measures as lm
from .listener_render import say

# (name, text or None for the voice's first held-out sentence, options)
CASES = (
    ("punctuation only", "，。！", ()),
    ("one syllable", "好", ()),
    ("--speed 0.25", None, ("--speed", "0.25")),
    ("--speed 4", None, ("--speed", "4")),
    ("--rate 8000", None, ("--rate", "8000")),
    ("--rate 48000", None, ("--rate", "48000")),
)


def at_voice_rate(samples, rate):
    """The samples at the voice's rate, where the joins are measured."""
    if rate == contract.SAMPLE_RATE:
        return samples
    g = np.gcd(rate, contract.SAMPLE_RATE)
    return resample_poly(samples, contract.SAMPLE_RATE // g, rate // g)


def segment_starts(build, model_dir, text, options, rate, samples, work):
    """Where the segments begin, read from the silences of the speech at the
    voice's rate: `samples` themselves, or the same text spoken again
    without the --rate that resampled them."""
    if rate == contract.SAMPLE_RATE:
        return chunk_joins.segment_starts(samples)
    k = options.index("--rate")
    plain = options[:k] + options[k + 2:]
    _, written = say(build, model_dir, [text], work + "_voice_rate", ("--float", *plain))
    return chunk_joins.segment_starts(written[0][1]) if 0 in written else [0]


def measure_case(build, model_dir, text, options, f0_range, work):
    status, written = say(build, model_dir, [text], work, ("--float", *options))
    out = {"exit_status": status}
    if 0 not in written:
        return out
    rate, samples = written[0]
    samples = samples.astype(np.float64)
    # tolvaren_say streams: its library's block layout, begun again in
    # every segment.
    starts = segment_starts(build, model_dir, text, options, rate, samples, work)
    joins = chunk_joins.summarise([at_voice_rate(samples, rate)], f0_range=f0_range,
                                  blocks=chunk_joins.STREAMED_BLOCKS,
                                  starts_list=[starts])["joins"]
    out.update({"rate": int(rate), "seconds": len(samples) / rate,
                **lm.peak_stats(samples), **lm.utterance_end(samples, rate),
                "joins": joins["points"],
                "join_mean_abs_phase_jump_rad": joins["mean_abs_phase_jump_rad"]})
    return out


def measure_edges(build, pairs, first_sentence, f0_range, work):
    """{case: {pair: measures}}."""
    result = {}
    for k, (name, text, options) in enumerate(CASES):
        result[name] = {p: measure_case(build, model_dir, text or first_sentence, options,
                                        f0_range, os.path.join(work, f"edge{k}_{p}"))
                        for p, model_dir in pairs.items()}
    return result
