#!/usr/bin/python3
"""Writes small ONNX models whose outputs are known exactly, for tests.

  acoustic.onnx   phone_ids int64 [N] -> mel float [N, 80]; row r of the
                  output is table[id_r] with table[i][j] = i + j / 1000, so a
                  test can tell which id made which frame. Ids of 1024 or more
                  make the runtime fail (Gather out of range).
  vocoder.onnx    spectrogram float [T, 80] -> waveform float [1, 300 T];
                  the 300 samples of frame t all equal the mean of row t
                  divided by 2048 (exact, a power of two), so that the
                  samples of ids below 2000 lie within what the output stage
                  hands out unchanged.
                  Declares its voice in the metadata (24000 Hz, 300 samples
                  per frame, 80 bins); acoustic.onnx declares nothing.
  short_vocoder.onnx  as vocoder.onnx but only 200 samples per frame, and
                  no metadata (the tool then assumes 300).
  hop200_vocoder.onnx  short_vocoder.onnx declaring hop_samples 200.
  bad_voice_vocoder.onnx  vocoder.onnx declaring hop_samples "3OO".
  no_frames_acoustic.onnx  acoustic.onnx cut to no frames: mel [0, 80].
  no_samples_vocoder.onnx  vocoder.onnx cut to no samples: waveform [1, 0].
  nan_vocoder.onnx  vocoder.onnx with every sample NaN.
  scaled_acoustic.onnx  acoustic.onnx with the optional input duration_scale
                  (float [1], default 1) multiplying every output value.
  timed_acoustic.onnx  acoustic.onnx with the output durations int64 [N],
                  the frames each id got: 1 each (declared in
                  optional_outputs).
  phase_vocoder.onnx  spectrogram float [T, 80] plus the optional inputs
                  phase_in (float [1], default 0) and phase_frame (int64
                  [1], default -2) -> waveform [1, 300 T], every sample
                  phase_in, and phase_out [T + 1] with phase_out[j] =
                  phase_in + 0.01 (j - phase_frame): a phase that grows by
                  0.01 a frame, as a source's would.
  bad_phone_set_vocoder.onnx  vocoder.onnx declaring phone_set_version 2.
  bad_optional_vocoder.onnx  vocoder.onnx declaring an optional input
                  phase_in it does not have.
  bad_optional_output_vocoder.onnx  vocoder.onnx declaring an optional
                  output phase_out it does not have.

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
    level = np.array([1.0 / 2048], dtype=np.float32)
    nodes = [
        helper.make_node("ReduceMean", [in_name], ["frame_mean"], axes=[1],
                         keepdims=1),
        helper.make_node("Mul", ["frame_mean", "level"], ["frame_level"]),
        helper.make_node("Tile", ["frame_level", "repeats"], ["per_sample"]),
        helper.make_node("Reshape", ["per_sample", "flat"], [out_name]),
    ]
    return helper.make_graph(
        nodes, "vocoder",
        [helper.make_tensor_value_info(in_name, TensorProto.FLOAT,
                                       ["T", MEL_BINS])],
        [helper.make_tensor_value_info(out_name, TensorProto.FLOAT,
                                       [1, "S"])],
        initializer=[numpy_helper.from_array(repeats, "repeats"),
                     numpy_helper.from_array(flat, "flat"),
                     numpy_helper.from_array(level, "level")])


def with_default(graph, name, value):
    """Makes `name` an optional input of `graph`: a graph input with an
    initializer of the same name, its default."""
    array = np.array(value)
    graph.input.append(helper.make_tensor_value_info(
        name, helper.np_dtype_to_tensor_dtype(array.dtype)
        if hasattr(helper, "np_dtype_to_tensor_dtype")
        else onnx.mapping.NP_TYPE_TO_TENSOR_TYPE[array.dtype], [1]))
    graph.initializer.append(numpy_helper.from_array(array, name))
    return graph


def scaled_acoustic():
    graph = acoustic()
    for node in graph.node:
        node.output[:] = ["unscaled" if o == "mel" else o for o in node.output]
    graph.node.append(helper.make_node("Mul", ["unscaled", "duration_scale"], ["mel"]))
    return with_default(graph, "duration_scale", np.array([1.0], dtype=np.float32))


def timed_acoustic():
    graph = acoustic()
    one = helper.make_tensor("one_frame", TensorProto.INT64, [1], [1])
    graph.node.extend([
        helper.make_node("Shape", ["phone_ids"], ["id_count"]),
        helper.make_node("ConstantOfShape", ["id_count"], ["durations"], value=one)])
    graph.output.append(
        helper.make_tensor_value_info("durations", TensorProto.INT64, ["N"]))
    return graph


def phase_vocoder(hop=300):
    consts = {
        "first": np.array([0], dtype=np.int64), "second": np.array([1], dtype=np.int64),
        "one": np.array([1], dtype=np.int64), "hop": np.array([hop], dtype=np.int64),
        "zero_s": np.array(0, dtype=np.int64), "one_s": np.array(1, dtype=np.int64),
        "step": np.array([0.01], dtype=np.float32), "flat1": np.array([1, 1], dtype=np.int64),
    }
    nodes = [
        helper.make_node("Shape", ["spectrogram"], ["shape"]),
        helper.make_node("Slice", ["shape", "first", "second"], ["t"]),
        helper.make_node("Add", ["t", "one"], ["t1"]),
        helper.make_node("Squeeze", ["t1"], ["t1_s"]),
        helper.make_node("Range", ["zero_s", "t1_s", "one_s"], ["frames"]),
        helper.make_node("Sub", ["frames", "phase_frame"], ["offset"]),
        helper.make_node("Cast", ["offset"], ["offset_f"], to=TensorProto.FLOAT),
        helper.make_node("Mul", ["offset_f", "step"], ["grown"]),
        helper.make_node("Add", ["grown", "phase_in"], ["phase_out"]),
        helper.make_node("Mul", ["t", "hop"], ["samples"]),
        helper.make_node("Concat", ["one", "samples"], ["audio_shape"], axis=0),
        helper.make_node("Reshape", ["phase_in", "flat1"], ["phase_11"]),
        helper.make_node("Expand", ["phase_11", "audio_shape"], ["waveform"]),
    ]
    graph = helper.make_graph(
        nodes, "phase_vocoder",
        [helper.make_tensor_value_info("spectrogram", TensorProto.FLOAT, ["T", MEL_BINS])],
        [helper.make_tensor_value_info("waveform", TensorProto.FLOAT, [1, "S"]),
         helper.make_tensor_value_info("phase_out", TensorProto.FLOAT, ["T1"])],
        initializer=[numpy_helper.from_array(v, k) for k, v in consts.items()])
    with_default(graph, "phase_in", np.array([0.0], dtype=np.float32))
    return with_default(graph, "phase_frame", np.array([-2], dtype=np.int64))


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
    save(scaled_acoustic(), os.path.join(args.out_dir, "scaled_acoustic.onnx"),
         {"optional_inputs": "duration_scale", "phone_set_version": "1"})
    save(timed_acoustic(), os.path.join(args.out_dir, "timed_acoustic.onnx"),
         {"optional_outputs": "durations"})
    save(phase_vocoder(), os.path.join(args.out_dir, "phase_vocoder.onnx"),
         dict(voice, optional_inputs="phase_in,phase_frame"))
    save(vocoder(300, "spectrogram", "waveform"),
         os.path.join(args.out_dir, "bad_phone_set_vocoder.onnx"),
         dict(voice, phone_set_version="2"))
    save(vocoder(300, "spectrogram", "waveform"),
         os.path.join(args.out_dir, "bad_optional_vocoder.onnx"),
         dict(voice, optional_inputs="phase_in"))
    save(vocoder(300, "spectrogram", "waveform"),
         os.path.join(args.out_dir, "bad_optional_output_vocoder.onnx"),
         dict(voice, optional_outputs="phase_out"))


if __name__ == "__main__":
    main()
