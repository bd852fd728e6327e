"""Exports a voice again from its own ONNX files, with today's export.

  python3 -m tools.voice.reexport [--acoustic FASTSPEECH2.onnx]
      [--vocoder HIFIGAN.onnx] --out-dir DIR [--voice default]
      [--gain-smoothing N]

For a voice whose training checkpoints are gone but whose files were
exported by an earlier version of export.py (so they lack the optional
inputs and the voice's metadata): the weights are read back from the files
into the recipe's networks and exported again into DIR. The vocoder's
weights keep their names in its file; the acoustic model's linear layers
were folded into MatMul constants (transposed), found here by the bias
added to each product. The acoustic model needs the default network
sizes; the vocoder's are read from its weights. With the optional
inputs left at their defaults the new files compute what the old ones did;
run tools/models/strip_attention_mask.py on the acoustic model afterwards,
as on every exported one. Only the files given are exported. The
vocoder's gain smoothing is not read from its file (the weights are the
same at every width) but set as export.py sets it: --gain-smoothing, else
the voice's declared width.
"""
import argparse
import os

import onnx
import torch
from onnx import numpy_helper

from . import export
from .acoustic_model import FastSpeech2
from .vocoders import SYNTHESIS_GAIN_SMOOTHING, SourceFilterVocoder

PREFIX = "model."


def weights(path):
    """State-dict entries of the module an exported file wraps: named
    initializers, plus every MatMul constant (transposed) as the weight of
    the linear layer whose bias is added to its product."""
    model = onnx.load(path)
    inits = {i.name: numpy_helper.to_array(i) for i in model.graph.initializer}
    state = {k[len(PREFIX):]: torch.from_numpy(v.copy())
             for k, v in inits.items() if k.startswith(PREFIX)}
    consumers = {}
    for node in model.graph.node:
        for name in node.input:
            consumers.setdefault(name, []).append(node)
    for node in model.graph.node:
        if node.op_type != "MatMul" or node.input[1] not in inits:
            continue
        if node.input[1].startswith(PREFIX):
            continue
        biases = [i for add in consumers.get(node.output[0], [])
                  if add.op_type == "Add" for i in add.input
                  if i.startswith(PREFIX) and i.endswith(".bias")]
        if len(biases) != 1:
            raise ValueError(f"{path}: no single bias for {node.input[1]}")
        layer = biases[0][len(PREFIX):-len(".bias")]
        state[layer + ".weight"] = torch.from_numpy(inits[node.input[1]].T.copy())
    return state


def load_acoustic(path):
    state = weights(path)
    model = FastSpeech2(pitch_layers=pitch_layers(state))
    # The pitch statistics only serve evaluation; the graph holds none.
    state.setdefault("pitch_stats", model.pitch_stats)
    model.load_state_dict(state)
    return model.eval()


def pitch_layers(state):
    """How many convolutions the acoustic model's pitch predictor has."""
    return len({k.split(".")[2] for k in state if k.startswith("pitch.convs.")})


def load_vocoder(path):
    state = weights(path)
    # A vocoder with a noise source holds its heads' weights by name.
    # The network's sizes are those of its weights.
    layers = len({k.split(".")[1] for k in state if k.startswith("blocks.")})
    model = SourceFilterVocoder(dim=state["inp.bias"].shape[0],
                                hidden=state["blocks.0.pw1.bias"].shape[0], layers=layers,
                                gain_smoothing=SYNTHESIS_GAIN_SMOOTHING,
                                noise="noise_head.bias" in state)
    # A graph that stops before the transforms holds no inverse DFT basis;
    # it is a function of n_fft and the window alone, never trained.
    state.setdefault("basis", model.basis)
    model.load_state_dict(state)
    return model.eval()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--acoustic")
    ap.add_argument("--vocoder")
    ap.add_argument("--out-dir", required=True)
    ap.add_argument("--voice", default="default")
    export.add_gain_smoothing_argument(ap)
    args = ap.parse_args()
    os.makedirs(args.out_dir, exist_ok=True)
    if args.acoustic:
        export.export_acoustic(load_acoustic(args.acoustic),
                               os.path.join(args.out_dir, "fastspeech2.onnx"), args.voice)
    if args.vocoder:
        export.export_vocoder(load_vocoder(args.vocoder),
                              os.path.join(args.out_dir, "hifigan.onnx"), args.voice,
                              args.gain_smoothing)


if __name__ == "__main__":
    main()
