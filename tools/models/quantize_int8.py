"""Weights of a model's constant matrix products as int8, the products run
in integers (ONNX Runtime's u8 x s8 kernels use the CPU's dot-product
instructions where it has them).

  /usr/bin/python3 tools/models/quantize_int8.py IN.onnx OUT.onnx [--min-size N]

Every MatMul whose second input is a 2-D initializer, or such an initializer
transposed, becomes DynamicQuantizeLinear of its first input (uint8, one
scale per run), MatMulInteger with the weights quantized per output column
(symmetric int8), and the product scaled back to float. Matrices with fewer
than --min-size elements stay in float (default 4096: the scalar heads),
and with --only TEXT those whose weight's name lacks TEXT.
Everything else, the metadata included, is kept.
"""
import argparse

import numpy as np
import onnx
from onnx import helper, numpy_helper


def weight_of(node, inits, producers):
    """(name, the [K, N] float weight) a MatMul multiplies by, or None."""
    name = node.input[1]
    if name in inits:
        w = numpy_helper.to_array(inits[name])
        return (name, w) if w.ndim == 2 else None
    p = producers.get(name)
    if p is None or p.op_type != "Transpose" or p.input[0] not in inits:
        return None
    perm = [list(a.ints) for a in p.attribute if a.name == "perm"]
    w = numpy_helper.to_array(inits[p.input[0]])
    if w.ndim != 2 or (perm and perm[0] != [1, 0]):
        return None
    return p.input[0], w.T


def quantize(model, min_size=4096, only=None):
    graph = model.graph
    inits = {i.name: i for i in graph.initializer}
    producers = {o: n for n in graph.node for o in n.output}
    nodes, added, count = [], [], 0
    for node in graph.node:
        found = weight_of(node, inits, producers) if node.op_type == "MatMul" else None
        if found is None or found[1].size < min_size or (only and only not in found[0]):
            nodes.append(node)
            continue
        w = found[1]
        tag = f"q{count}"
        count += 1
        scale = np.maximum(np.abs(w).max(axis=0), 1e-12) / 127.0
        q = np.clip(np.round(w / scale), -127, 127).astype(np.int8)
        added += [numpy_helper.from_array(q, tag + "_w"),
                  numpy_helper.from_array(np.zeros(w.shape[1], np.int8), tag + "_wzp"),
                  numpy_helper.from_array(scale.astype(np.float32), tag + "_ws")]
        a = node.input[0]
        nodes += [
            helper.make_node("DynamicQuantizeLinear", [a],
                             [tag + "_a", tag + "_as", tag + "_azp"]),
            helper.make_node("MatMulInteger",
                             [tag + "_a", tag + "_w", tag + "_azp", tag + "_wzp"],
                             [tag + "_y"]),
            helper.make_node("Cast", [tag + "_y"], [tag + "_yf"],
                             to=onnx.TensorProto.FLOAT),
            helper.make_node("Mul", [tag + "_as", tag + "_ws"], [tag + "_s"]),
            helper.make_node("Mul", [tag + "_yf", tag + "_s"], list(node.output)),
        ]
    del graph.node[:]
    graph.node.extend(nodes)
    graph.initializer.extend(added)
    # Float weights no node reads any more (and Transposes left dangling).
    onnx.checker.check_model(model)
    return model, count


def prune(model):
    """Drops nodes and initializers nothing downstream of the outputs reads."""
    graph = model.graph
    needed = {o.name for o in graph.output}
    keep = []
    for node in reversed(list(graph.node)):
        if any(o in needed for o in node.output):
            keep.append(node)
            needed.update(node.input)
    del graph.node[:]
    graph.node.extend(reversed(keep))
    inits = [i for i in graph.initializer if i.name in needed]
    del graph.initializer[:]
    graph.initializer.extend(inits)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("input")
    ap.add_argument("output")
    ap.add_argument("--min-size", type=int, default=4096)
    ap.add_argument("--only", help="only weights whose name holds this text (e.g. blocks.)")
    args = ap.parse_args()
    model = onnx.load(args.input)
    model, count = quantize(model, args.min_size, args.only)
    prune(model)
    onnx.checker.check_model(model)
    onnx.save(model, args.output)
    print(f"{count} products in int8")


if __name__ == "__main__":
    main()
