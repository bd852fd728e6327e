"""ONNX export of the two models, in the form the C++ tool runs them.

  python3 -m tools.voice.export --acoustic CKPT --vocoder CKPT --out-dir DIR

      [--voice default|diphone] [--gain-smoothing N]

writes DIR/fastspeech2.onnx (ids int64 [N] -> mel float [frames, 80]
and durations int64 [N], the frames each phone gets; optional input
duration_scale float [1]) and DIR/hifigan.onnx (mel float
[T, 80] -> audio float [1, 300 T]). A source-filter vocoder gives instead
what its transforms start from, and the tool does them with an FFT:
spectrum float [T, 2 bins] (real parts, then imaginary parts), its pulse
train source float [300 T + n_fft] and source_gain float [T, bins]; the
audio is the Hann-windowed inverse STFT of spectrum + source_gain times the
source's STFT (hop 300, n_fft = 2 (bins - 1)). It also takes the optional
inputs phase_in float [1] and phase_frame int64 [1] and gives phase_out
float [T + 1]. An optional input is a graph input with an
initializer of the same name, its default. Opset 13, IR version 8:
loadable by ONNX Runtime 1.15. Each file carries the voice contract in its
metadata (contract.metadata: sample_rate, hop_samples, mel_bins,
voice_contract_version) and what voices.metadata says of the voice
(voice, teacher, license, phone_set_version, optional_inputs,
optional_outputs). A source-filter vocoder is exported with its gain
averaged over --gain-smoothing bins (default: what voices.py declares for
the voice, else SYNTHESIS_GAIN_SMOOTHING; 1 keeps the gain as trained).
"""
import argparse
import io
import os
import warnings

import onnx
import onnx.numpy_helper
import torch

from . import contract, voices
from .acoustic_model import AcousticExport, FastSpeech2
from .vocoders import (SYNTHESIS_GAIN_SMOOTHING, SourceFilterVocoder, SpectralExport,
                       Vocoder, VocoderExport)

OPSET = 13
IR_VERSION = 8


def _save(module, example, path, in_name, out_name, in_axes, out_axes,
          fold=True, voice="default", optional=(), extra_outputs=()):
    """Exports `module` run on `example` (mel or ids) and the example
    values of the `optional` inputs ((name, tensor) pairs). Each optional
    input is also an initializer holding that example, its default: a
    caller that passes only the first input gets exactly what the module
    gives for the defaults. `extra_outputs`: (name, dynamic axes) pairs
    after the first output."""
    module.eval()  # the wrapper itself, so every submodule is in eval mode
    buf = io.BytesIO()
    names = [in_name] + [name for name, _ in optional]
    outputs = [out_name] + [name for name, _ in extra_outputs]
    axes = {in_name: in_axes, out_name: out_axes}
    axes.update(dict(extra_outputs))
    with torch.no_grad(), warnings.catch_warnings():
        # Tracer warnings about Python values in the graph: the sizes that
        # matter are dynamic (checked by the tests and the smoke run).
        warnings.simplefilter("ignore")
        torch.onnx.export(module, (example,) + tuple(v for _, v in optional), buf,
                          opset_version=OPSET, input_names=names,
                          output_names=outputs, dynamic_axes=axes,
                          do_constant_folding=fold)
    model = onnx.load_from_string(buf.getvalue())
    model.ir_version = IR_VERSION
    model.producer_name = "tolvaren_tts tools/voice"
    for name, value in optional:
        model.graph.initializer.append(
            onnx.numpy_helper.from_array(value.numpy(), name))
    contract.stamp(model, voices.metadata(voice, [name for name, _ in optional],
                                          [name for name, _ in extra_outputs]))
    onnx.checker.check_model(model)
    tmp = path + ".tmp"
    onnx.save(model, tmp)
    os.replace(tmp, path)


def export_acoustic(model, path, voice="default"):
    """ids int64 [N] -> mel [frames, 80] and durations int64 [N] (the
    frames the length regulator gives each phone, summing to the mel's
    frames), with the optional input duration_scale (float [1], default 1:
    every predicted duration times it before rounding)."""
    wrapper = AcousticExport(model)
    example = torch.tensor([12, 117, 6, 112, 402], dtype=torch.long)
    _save(wrapper, example, path, "phone_ids", "mel", {0: "N"}, {0: "frames"},
          voice=voice, optional=[("duration_scale", torch.ones(1))],
          extra_outputs=[("durations", {0: "N"})])


def synthesis_gain_smoothing(voice, width=None):
    """The width a vocoder of `voice` is exported with: `width` when given,
    else the voice's declared one, else SYNTHESIS_GAIN_SMOOTHING."""
    if width is None:
        width = voices.gain_smoothing(voice)
    if width is None:
        width = SYNTHESIS_GAIN_SMOOTHING
    # An even box has no centre bin: the average would shift the gain
    # half a bin and give one bin more than the source has.
    if width < 1 or width % 2 == 0:
        raise ValueError(f"gain smoothing must be an odd number of bins, not {width}")
    return width


def export_vocoder(model, path, voice="default", gain_smoothing=None):
    """Exports the vocoder as synthesis runs it: a source-filter vocoder
    with its gain smoothed across bins (synthesis_gain_smoothing) and the
    noise's phase in unvoiced frames where the voice declares it
    (voices.unvoiced_noise_phase); the model's own settings (training's)
    are restored afterwards."""
    if isinstance(model, SourceFilterVocoder):
        training_width = model.gain_smoothing
        training_phase = model.unvoiced_noise_phase
        model.set_gain_smoothing(synthesis_gain_smoothing(voice, gain_smoothing))
        model.set_unvoiced_noise_phase(voices.unvoiced_noise_phase(voice))
        try:
            _export_vocoder(model, path, voice)
        finally:
            model.set_gain_smoothing(training_width)
            model.set_unvoiced_noise_phase(training_phase)
    else:
        _export_vocoder(model, path, voice)


def _export_vocoder(model, path, voice):
    example = torch.zeros(64, contract.MEL_BINS) - 4.0
    # No constant folding: it would store the analysis DFT (derived from
    # the synthesis basis in the graph) as a second 5.8 MB constant. ONNX
    # Runtime folds it in memory when it loads the model.
    if not isinstance(model, SourceFilterVocoder):
        _save(VocoderExport(model), example, path, "mel", "audio", {0: "T"},
              {1: "samples"}, fold=False, voice=voice)
        return
    # The source phase: phase_in cycles at the start of frame phase_frame,
    # by default 0 at the first sample the source covers (frame -2), as
    # before the phase could be given; phase_out [T + 1] is the phase at
    # each frame's start and at the end. The graph stops before the STFT of
    # the source and the inverse STFT (see SourceFilterVocoder.parts): the
    # tool does both with an FFT.
    lead = model.n_fft // 2 // contract.HOP
    _save(SpectralExport(model), example, path, "mel", "spectrum", {0: "T"},
          {0: "T"}, fold=False, voice=voice,
          optional=[("phase_in", torch.zeros(1)),
                    ("phase_frame", torch.tensor([-lead], dtype=torch.long))],
          extra_outputs=[("source", {0: "source_samples"}), ("source_gain", {0: "T"}),
                         ("phase_out", {0: "T_plus_1"})])


def load_acoustic(path):
    ck = torch.load(path)
    stats = ck["stats"]
    model = FastSpeech2(pitch_mean=stats[0], pitch_std=stats[1],
                        pitch_layers=ck.get("pitch_layers", 2))
    model.load_state_dict(ck["model"])
    return model.eval()


def load_vocoder(path, voice="default"):
    ck = torch.load(path)
    if ck.get("kind", "istft") == "source-filter":
        # As synthesis runs it (see export_vocoder).
        model = SourceFilterVocoder(gain_smoothing=SYNTHESIS_GAIN_SMOOTHING,
                                    noise=ck.get("noise", False))
        model.set_unvoiced_noise_phase(voices.unvoiced_noise_phase(voice))
    else:
        model = Vocoder()
    model.load_state_dict(ck["model"])
    return model.eval()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--acoustic")
    ap.add_argument("--vocoder")
    ap.add_argument("--out-dir", required=True)
    ap.add_argument("--voice", default="default", choices=sorted(voices.VOICES),
                    help="which voice the files are (written into their metadata)")
    add_gain_smoothing_argument(ap)
    args = ap.parse_args()
    os.makedirs(args.out_dir, exist_ok=True)
    if args.acoustic:
        export_acoustic(load_acoustic(args.acoustic),
                        os.path.join(args.out_dir, "fastspeech2.onnx"), args.voice)
    if args.vocoder:
        export_vocoder(load_vocoder(args.vocoder),
                       os.path.join(args.out_dir, "hifigan.onnx"), args.voice,
                       args.gain_smoothing)


def add_gain_smoothing_argument(ap):
    ap.add_argument("--gain-smoothing", type=int, default=None,
                    help="bins the source-filter vocoder's gain is averaged over at "
                         "synthesis (odd; 1: as trained); default: the voice's "
                         "(voices.py), else %d" % SYNTHESIS_GAIN_SMOOTHING)


if __name__ == "__main__":
    main()
