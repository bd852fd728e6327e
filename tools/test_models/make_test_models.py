#!/usr/bin/python3
"""Writes small ONNX models whose outputs are known exactly, for tests.

  acoustic.onnx   phone_ids int64 [N] -> mel float [N, 80]; row r of the
                  output is table[id_r] with table[i][j] = i + j / 1000, so a
                  test can tell which id made which frame. Ids of 1024 or more
                  make the runtime fail (Gather out of range).
  vocoder.onnx    spectrogram float [T, 80] -> waveform float [1, 300 T];
                  the 300 samples of frame t all equal the mean of row t.
                  Declares its voice in the metadata (24000 Hz, 300 samples
                  per frame, 80 bins); acoustic.onnx declares nothing.
  short_vocoder.onnx  as vocoder.onnx but only 200 samples per frame, and
                  no metadata (the tool then assumes 300).
  hop200_vocoder.onnx  short_vocoder.onnx declaring hop_samples 200.
  bad_voice_vocoder.onnx  vocoder.onnx declaring hop_samples "3OO".
  no_frames_acoustic.onnx  acoustic.onnx cut to no frames: mel [0, 80].
  no_samples_vocoder.onnx  vocoder.onnx cut to no samples: waveform [1, 0].
  nan_vocoder.onnx  vocoder.onnx with every sample NaN.

Input and output names differ from model to model on purpose: the program
must read them from the model. IR version 8 and opset 13 keep the models
loadable by ONNX Runtime 1.15.

Needs Debian's python3-onnx and numpy: run with /usr/bin/python3.
"""
import argparse
import os

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

MEL_BINS = 80
TABLE_ROWS = 1024


def save(graph, path, voice=None):
    model = helper.make_model(
        graph, opset_imports=[helper.make_opsetid("", 13)],
        producer_name="tolvaren_tts tests")
    model.ir_version = 8
    if voice:
        helper.set_model_props(model, voice)
    onnx.checker.check_model(model)
    onnx.save(model, path)


def acoustic():
    table = (np.arange(TABLE_ROWS, dtype=np.float32)[:, None] +
             np.arange(MEL_BINS, dtype=np.float32)[None, :] / 1000.0)
    nodes = [helper.make_node("Gather", ["table", "phone_ids"], ["mel"], axis=0)]
    return helper.make_graph(
        nodes, "acoustic",
        [helper.make_tensor_value_info("phone_ids", TensorProto.INT64, ["N"])],
        [helper.make_tensor_value_info("mel", TensorProto.FLOAT, ["N", MEL_BINS])],
        initializer=[numpy_helper.from_array(table, "table")])


def vocoder(hop, in_name, out_name):
    repeats = np.array([1, hop], dtype=np.int64)
    flat = np.array([1, -1], dtype=np.int64)
    nodes = [
        helper.make_node("ReduceMean", [in_name], ["frame_mean"], axes=[1],
                         keepdims=1),
        helper.make_node("Tile", ["frame_mean", "repeats"], ["per_sample"]),
        helper.make_node("Reshape", ["per_sample", "flat"], [out_name]),
    ]
    return helper.make_graph(
        nodes, "vocoder",
        [helper.make_tensor_value_info(in_name, TensorProto.FLOAT,
                                       ["T", MEL_BINS])],
        [helper.make_tensor_value_info(out_name, TensorProto.FLOAT,
                                       [1, "S"])],
        initializer=[numpy_helper.from_array(repeats, "repeats"),
                     numpy_helper.from_array(flat, "flat")])


def emptied(graph, out_name, axis):
    """`graph` with its output cut to nothing along `axis`."""
    whole = out_name + "_whole"
    for node in graph.node:
        node.output[:] = [whole if o == out_name else o for o in node.output]
    cut = [numpy_helper.from_array(np.array([0], dtype=np.int64), n)
           for n in ("cut_start", "cut_end")]
    cut.append(numpy_helper.from_array(np.array([axis], dtype=np.int64),
                                       "cut_axis"))
    graph.initializer.extend(cut)
    graph.node.append(helper.make_node(
        "Slice", [whole, "cut_start", "cut_end", "cut_axis"], [out_name]))
    return graph


def poisoned(graph, out_name):
    """`graph` with every output sample multiplied by NaN."""
    whole = out_name + "_whole"
    for node in graph.node:
        node.output[:] = [whole if o == out_name else o for o in node.output]
    graph.initializer.append(
        numpy_helper.from_array(np.array([np.nan], dtype=np.float32), "nan"))
    graph.node.append(helper.make_node("Mul", [whole, "nan"], [out_name]))
    return graph


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out_dir")
    args = parser.parse_args()
    os.makedirs(args.out_dir, exist_ok=True)
    save(acoustic(), os.path.join(args.out_dir, "acoustic.onnx"))
    voice = {"sample_rate": "24000", "hop_samples": "300", "mel_bins": "80"}
    save(vocoder(300, "spectrogram", "waveform"),
         os.path.join(args.out_dir, "vocoder.onnx"), voice)
    save(vocoder(200, "mel_chunk", "audio"),
         os.path.join(args.out_dir, "short_vocoder.onnx"))
    save(vocoder(200, "mel_chunk", "audio"),
         os.path.join(args.out_dir, "hop200_vocoder.onnx"),
         {"hop_samples": "200"})
    save(vocoder(300, "spectrogram", "waveform"),
         os.path.join(args.out_dir, "bad_voice_vocoder.onnx"),
         dict(voice, hop_samples="3OO"))
    save(emptied(acoustic(), "mel", 0),
         os.path.join(args.out_dir, "no_frames_acoustic.onnx"))
    save(emptied(vocoder(300, "spectrogram", "waveform"), "waveform", 1),
         os.path.join(args.out_dir, "no_samples_vocoder.onnx"), voice)
    save(poisoned(vocoder(300, "spectrogram", "waveform"), "waveform"),
         os.path.join(args.out_dir, "nan_vocoder.onnx"), voice)


if __name__ == "__main__":
    main()
