"""Gives an exported acoustic model the output `durations`.

  /usr/bin/python3 -m tools.voice.add_durations_output FILE.onnx [FILE.onnx ...]

The acoustic model rounds its predicted phone durations (after the
duration scale), keeps at least one frame per phone, and hands the frame
counts, with one entry more for the padding id it appends, to the CumSum
that the length regulator is built on. This script adds a graph output
`durations` int64 [N]: that CumSum's input without its last entry, the
frames each of the N given phones gets in the mel. They sum to the mel's
frame count for every input of one or more phones (an empty input gives one
frame that belongs to no phone). The metadata key `optional_outputs`
names it, so that a reader may ask for it and an older file without it
simply gives no durations. Nothing else changes: the mel is computed by
the same nodes from the same weights. A file that already has the output
is left as it is.
"""
import argparse
import os
import sys

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

from . import voices

OUTPUT = "durations"


def _producers(graph):
    return {out: node for node in graph.node for out in node.output}


def _ancestor_ops(graph, name):
    """The op types of every node that `name` is computed from."""
    producers = _producers(graph)
    seen, todo, ops = set(), [name], set()
    while todo:
        node = producers.get(todo.pop())
        if node is None or id(node) in seen:
            continue
        seen.add(id(node))
        ops.add(node.op_type)
        todo.extend(node.input)
    return ops


def regulator_frames(graph):
    """The name of the per-phone frame counts the length regulator sums:
    the input of the graph's one CumSum, which must be computed through a
    Round (the rounded durations). ValueError when the graph has no such
    node or more than one."""
    sums = [node for node in graph.node if node.op_type == "CumSum"]
    if len(sums) != 1:
        raise ValueError(f"expected one CumSum (the length regulator), found {len(sums)}")
    frames = sums[0].input[0]
    if "Round" not in _ancestor_ops(graph, frames):
        raise ValueError("the CumSum's input is not computed from rounded durations")
    return frames


def add_durations(model):
    """Adds the output in place; False when the model already has it."""
    graph = model.graph
    if any(out.name == OUTPUT for out in graph.output):
        return False
    frames = regulator_frames(graph)
    consts = {"durations_begin": [0], "durations_end": [-1], "durations_axis": [0]}
    for name, value in consts.items():
        graph.initializer.append(numpy_helper.from_array(np.array(value, dtype=np.int64), name))
    graph.node.append(helper.make_node(
        "Slice", [frames, "durations_begin", "durations_end", "durations_axis"],
        [OUTPUT], name="durations_of_given_phones"))
    graph.output.append(helper.make_tensor_value_info(OUTPUT, TensorProto.INT64, ["N"]))
    declare_outputs(model, [OUTPUT])
    return True


def declare_outputs(model, names):
    """Writes `optional_outputs` (comma-separated names) into the metadata,
    replacing an earlier entry."""
    value = ",".join(names)
    for prop in model.metadata_props:
        if prop.key == voices.OPTIONAL_OUTPUTS_KEY:
            prop.value = value
            return
    entry = model.metadata_props.add()
    entry.key, entry.value = voices.OPTIONAL_OUTPUTS_KEY, value


def add_to_file(path):
    """Rewrites `path` with the output; False when it already had it."""
    model = onnx.load(path)
    if not add_durations(model):
        return False
    onnx.checker.check_model(model)
    tmp = path + ".tmp"
    onnx.save(model, tmp)
    os.replace(tmp, path)
    return True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    failed = False
    for path in args.files:
        try:
            added = add_to_file(path)
        except ValueError as e:
            print(f"{path}: {e}", file=sys.stderr)
            failed = True
            continue
        print(f"{path}: {'durations output added' if added else 'already has durations'}")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
