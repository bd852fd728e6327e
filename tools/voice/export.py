"""ONNX export of the two models, in the form the C++ tool runs them.

  python3 -m tools.voice.export --acoustic CKPT --vocoder CKPT --out-dir DIR

writes DIR/fastspeech2.onnx (ids int64 [N] -> mel float [frames, 80]) and
DIR/hifigan.onnx (mel float [T, 80] -> audio float [1, 300 T]). Opset 13,
IR version 8: loadable by ONNX Runtime 1.15. Each file carries the voice
contract in its metadata (contract.metadata: sample_rate, hop_samples,
mel_bins, voice_contract_version).
"""
import argparse
import io
import os
import warnings

import onnx
import torch

from . import contract
from .acoustic_model import AcousticExport, FastSpeech2
from .vocoders import SYNTHESIS_GAIN_SMOOTHING, SourceFilterVocoder, Vocoder, VocoderExport

OPSET = 13
IR_VERSION = 8


def _save(module, example, path, in_name, out_name, in_axes, out_axes,
          fold=True):
    module.eval()  # the wrapper itself, so every submodule is in eval mode
    buf = io.BytesIO()
    with torch.no_grad(), warnings.catch_warnings():
        # Tracer warnings about Python values in the graph: the sizes that
        # matter are dynamic (checked by the tests and the smoke run).
        warnings.simplefilter("ignore")
        torch.onnx.export(module, (example,), buf, opset_version=OPSET,
                          input_names=[in_name], output_names=[out_name],
                          dynamic_axes={in_name: in_axes, out_name: out_axes},
                          do_constant_folding=fold)
    model = onnx.load_from_string(buf.getvalue())
    model.ir_version = IR_VERSION
    model.producer_name = "tolvaren_tts tools/voice"
    contract.stamp(model)
    onnx.checker.check_model(model)
    tmp = path + ".tmp"
    onnx.save(model, tmp)
    os.replace(tmp, path)


def export_acoustic(model, path):
    wrapper = AcousticExport(model)
    example = torch.tensor([12, 117, 6, 112, 402], dtype=torch.long)
    _save(wrapper, example, path, "phone_ids", "mel", {0: "N"}, {0: "frames"})


def export_vocoder(model, path):
    """Exports the vocoder as synthesis runs it: a source-filter vocoder
    with its gain smoothed across bins (SYNTHESIS_GAIN_SMOOTHING); the
    model's own setting (training's) is restored afterwards."""
    if isinstance(model, SourceFilterVocoder):
        training_width = model.gain_smoothing
        model.set_gain_smoothing(SYNTHESIS_GAIN_SMOOTHING)
        try:
            _export_vocoder(model, path)
        finally:
            model.set_gain_smoothing(training_width)
    else:
        _export_vocoder(model, path)


def _export_vocoder(model, path):
    wrapper = VocoderExport(model)
    example = torch.zeros(64, contract.MEL_BINS) - 4.0
    # No constant folding: it would store the analysis DFT (derived from
    # the synthesis basis in the graph) as a second 5.8 MB constant. ONNX
    # Runtime folds it in memory when it loads the model.
    _save(wrapper, example, path, "mel", "audio", {0: "T"}, {1: "samples"},
          fold=False)


def load_acoustic(path):
    ck = torch.load(path)
    stats = ck["stats"]
    model = FastSpeech2(pitch_mean=stats[0], pitch_std=stats[1])
    model.load_state_dict(ck["model"])
    return model.eval()


def load_vocoder(path):
    ck = torch.load(path)
    if ck.get("kind", "istft") == "source-filter":
        # As synthesis runs it (see export_vocoder).
        model = SourceFilterVocoder(gain_smoothing=SYNTHESIS_GAIN_SMOOTHING)
    else:
        model = Vocoder()
    model.load_state_dict(ck["model"])
    return model.eval()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--acoustic")
    ap.add_argument("--vocoder")
    ap.add_argument("--out-dir", required=True)
    args = ap.parse_args()
    os.makedirs(args.out_dir, exist_ok=True)
    if args.acoustic:
        export_acoustic(load_acoustic(args.acoustic),
                        os.path.join(args.out_dir, "fastspeech2.onnx"))
    if args.vocoder:
        export_vocoder(load_vocoder(args.vocoder),
                       os.path.join(args.out_dir, "hifigan.onnx"))


if __name__ == "__main__":
    main()
