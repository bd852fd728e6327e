"""The mask stripper rewires only steps whose mask is known everywhere."""

import os
import sys
import unittest

import numpy as np
from onnx import TensorProto, checker, helper, numpy_helper

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import strip_attention_mask  # noqa: E402


def _masked_attention_model():
    """Scores [1, T, T] masked twice: by a frame mask made all False from
    the scores' own shape, and by a phone mask compared from the input
    (True where an id is 0). Then multiplied by the frame mask's "keep"
    form (all 1.0), then a ReLU."""
    nodes = [
        helper.make_node("Shape", ["scores"], ["shape"]),
        helper.make_node("ConstantOfShape", ["shape"], ["frame_mask"],
                         value=numpy_helper.from_array(
                             np.array([False]), "fill")),
        helper.make_node("Where", ["frame_mask", "neg_inf", "scores"],
                         ["frames_masked"]),
        helper.make_node("Equal", ["ids", "zero"], ["phone_mask"]),
        helper.make_node("Where", ["phone_mask", "neg_inf", "frames_masked"],
                         ["phones_masked"]),
        helper.make_node("Not", ["frame_mask"], ["keep"]),
        helper.make_node("Cast", ["keep"], ["keep_f"], to=TensorProto.FLOAT),
        helper.make_node("Mul", ["phones_masked", "keep_f"], ["scaled"]),
        helper.make_node("Relu", ["scaled"], ["out"]),
    ]
    graph = helper.make_graph(
        nodes, "g",
        [helper.make_tensor_value_info("scores", TensorProto.FLOAT,
                                       [1, "T", "T"]),
         helper.make_tensor_value_info("ids", TensorProto.INT64, ["T"])],
        [helper.make_tensor_value_info("out", TensorProto.FLOAT,
                                       [1, "T", "T"])],
        [numpy_helper.from_array(np.array(-1e9, np.float32), "neg_inf"),
         numpy_helper.from_array(np.array(0, np.int64), "zero")])
    return helper.make_model(graph,
                             opset_imports=[helper.make_opsetid("", 13)])


class StripTest(unittest.TestCase):

    def test_all_false_mask_goes_and_a_real_mask_stays(self):
        model = _masked_attention_model()
        removed, dead = strip_attention_mask.strip(model)
        checker.check_model(model)
        nodes = {n.output[0]: n for n in model.graph.node}
        # The frame mask's Where and Mul are gone, with the mask itself.
        self.assertEqual(len(removed), 2)
        self.assertEqual(set(nodes), {"phone_mask", "phones_masked", "out"})
        self.assertGreater(dead, 0)
        # The phone mask's Where now reads the scores and feeds the ReLU.
        self.assertEqual(list(nodes["phones_masked"].input),
                         ["phone_mask", "neg_inf", "scores"])
        self.assertEqual(list(nodes["out"].input), ["phones_masked"])
        self.assertEqual(
            {i.name for i in model.graph.initializer}, {"neg_inf", "zero"})


if __name__ == "__main__":
    unittest.main()
