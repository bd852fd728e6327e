#!/usr/bin/python3
"""Removes the acoustic model's masking steps that cannot change a value.

    /usr/bin/python3 tools/models/strip_attention_mask.py IN.onnx OUT.onnx

The acoustic model is exported for batches of padded sequences, but the tool
always gives it one unpadded sequence. Its frame mask is then made by a
ConstantOfShape of False: every step that uses it works on a known, uniform
value. This script follows such uniform tensors through the operators that
keep a uniform value uniform (Unsqueeze, Squeeze, Reshape, Expand,
Transpose, Cast, Not) and then rewires:

  Where(all False, a, x)  ->  x     (the attention scores, frames x frames)
  Mul(x, all 1) / Mul(1, x) ->  x   (the "keep" mask over frames)

Both are exact: x * 1.0 is x bit for bit, and Where picks x everywhere.
The mask's own dimensions are the batch and frame counts of the tensors it
masks (the graph takes them from those tensors' shapes), so dropping it
never narrows a broadcast; the tool's output for the gold sentences, which
must match the original model's, checks that as well. Nodes left without a
consumer are removed. A mask that can hold True somewhere (the phone mask,
which marks the padding position the model appends to every input) is left
alone. Prints what was removed; exits 1 when nothing could be.
"""

import argparse
import sys

import onnx
from onnx import numpy_helper

# Operators whose output holds the same single value as their first input
# when that input is uniform (shape operands aside).
_KEEPS_UNIFORM = {"Unsqueeze", "Squeeze", "Reshape", "Expand", "Transpose",
                  "Identity"}


def _fill_value(node):
    """The value a ConstantOfShape node fills its tensor with."""
    for attribute in node.attribute:
        if attribute.name == "value":
            values = numpy_helper.to_array(attribute.t).ravel()
            return values[0].item() if values.size == 1 else None
    return 0.0  # the operator's default value


def _cast(value, to):
    elem = onnx.TensorProto
    if to == elem.BOOL:
        return bool(value)
    if to in (elem.FLOAT, elem.DOUBLE, elem.FLOAT16):
        return float(value)
    return int(value)


def uniform_values(graph):
    """Maps each tensor known to hold one value everywhere to that value.

    Only ConstantOfShape fills are followed, the form the masks take: a
    tensor so made has the shape it is given, which is how the mask gets
    the masked tensors' dimensions. Constants and initializers are left
    out, so that no fixed-shape tensor can widen a broadcast unseen."""
    known = {}
    for node in graph.node:  # nodes are in topological order
        value = None
        if node.op_type == "ConstantOfShape":
            value = _fill_value(node)
        elif node.op_type in _KEEPS_UNIFORM and node.input[0] in known:
            value = known[node.input[0]]
        elif node.op_type == "Cast" and node.input[0] in known:
            to = next(a.i for a in node.attribute if a.name == "to")
            value = _cast(known[node.input[0]], to)
        elif node.op_type == "Not" and node.input[0] in known:
            value = not known[node.input[0]]
        if value is not None:
            known[node.output[0]] = value
    return known


def _is(value, wanted):
    return value is not None and type(value) is type(wanted) and \
        value == wanted


def strip(model):
    """Rewires the no-op masking steps in place; returns their names."""
    graph = model.graph
    known = uniform_values(graph)
    replace = {}  # output name -> the tensor it equals
    removed = []
    for node in graph.node:
        if node.op_type == "Where" and _is(known.get(node.input[0]), False):
            replace[node.output[0]] = node.input[2]
        elif node.op_type == "Mul":
            a, b = node.input
            if _is(known.get(b), 1.0) and a not in known:
                replace[node.output[0]] = a
            elif _is(known.get(a), 1.0) and b not in known:
                replace[node.output[0]] = b
            else:
                continue
        else:
            continue
        removed.append(node.name)
    graph_outputs = {output.name for output in graph.output}
    if graph_outputs & replace.keys():
        raise ValueError("a graph output would be rewired; not handled")

    def resolve(name):
        while name in replace:
            name = replace[name]
        return name

    for node in graph.node:
        for i, name in enumerate(node.input):
            node.input[i] = resolve(name)
    kept = [n for n in graph.node if n.output[0] not in replace]

    # Drop everything that no longer feeds a graph output.
    needed = set(graph_outputs)
    alive = []
    for node in reversed(kept):
        if any(output in needed for output in node.output):
            alive.append(node)
            needed.update(name for name in node.input if name)
    alive.reverse()
    dead = len(kept) - len(alive)
    del graph.node[:]
    graph.node.extend(alive)
    initializers = [i for i in graph.initializer if i.name in needed]
    del graph.initializer[:]
    graph.initializer.extend(initializers)
    return removed, dead


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source")
    parser.add_argument("target")
    args = parser.parse_args()
    model = onnx.load(args.source)
    before = len(model.graph.node)
    removed, dead = strip(model)
    if not removed:
        print("no masking step found that is a no-op", file=sys.stderr)
        return 1
    onnx.checker.check_model(model)
    onnx.save(model, args.target)
    print(f"rewired {len(removed)} steps: {', '.join(removed)}")
    print(f"nodes {before} -> {len(model.graph.node)} "
          f"({dead} left without a consumer removed)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
