import os
import tempfile
import unittest

import torch

from tools.voice import acoustic_model, export, stamp_metadata

torch.set_num_threads(1)


class LengthRegulatorTest(unittest.TestCase):
    def test_indices_and_starts(self):
        index, start, t = acoustic_model.expand_indices(torch.tensor([2, 0, 3, 1]))
        self.assertEqual(index.tolist(), [0, 0, 2, 2, 2, 3])
        self.assertEqual(start.tolist(), [0, 0, 2, 2, 2, 5])
        self.assertEqual(t.tolist(), list(range(6)))

    def test_single_phone(self):
        index, start, _ = acoustic_model.expand_indices(torch.tensor([3]))
        self.assertEqual(index.tolist(), [0, 0, 0])
        self.assertEqual(start.tolist(), [0, 0, 0])


class AcousticTest(unittest.TestCase):
    def setUp(self):
        torch.manual_seed(0)
        self.model = acoustic_model.FastSpeech2(dim=32, heads=2, enc_layers=1, dec_layers=1,
                                         ffn_hidden=64, var_hidden=32).eval()

    def test_training_pass_shapes_and_masks(self):
        ids = torch.tensor([[5, 200, 402, 0], [7, 8, 0, 0]])
        durs = torch.tensor([[2, 3, 1, 0], [4, 1, 0, 0]])
        pitch = torch.zeros(2, 6)
        mel, log_dur, pitch_pred, frame_mask = self.model(ids, durs, pitch)
        self.assertEqual(tuple(mel.shape), (2, 6, 80))
        self.assertEqual(tuple(log_dur.shape), (2, 4))
        self.assertEqual(frame_mask[1].tolist(), [False] * 5 + [True])
        self.assertEqual(float(log_dur[1, 2:].abs().sum()), 0.0)
        self.assertEqual(float(pitch_pred[1, 5].abs()), 0.0)

    def test_padding_does_not_change_an_utterance(self):
        ids = torch.tensor([[7, 8, 9]])
        durs = torch.tensor([[2, 2, 1]])
        pitch = torch.randn(1, 5)
        alone = self.model(ids, durs, pitch)[0]
        ids2 = torch.tensor([[7, 8, 9, 0, 0], [1, 2, 3, 4, 5]])
        durs2 = torch.tensor([[2, 2, 1, 0, 0], [1, 1, 1, 1, 3]])
        pitch2 = torch.cat([torch.cat([pitch, torch.zeros(1, 2)], 1), torch.randn(1, 7)])
        batched = self.model(ids2, durs2, pitch2)[0]
        torch.testing.assert_close(batched[0, :5], alone[0], atol=1e-4, rtol=1e-4)

    def test_inference_durations_and_empty_input(self):
        with torch.no_grad():
            mel, d, _ = self.model.infer(torch.tensor([3, 100, 402]))
            self.assertEqual(len(d), 3)
            self.assertTrue((d >= 1).all())
            self.assertEqual(mel.shape[0], int(d.sum()))
            # A duration scale stretches every phone (up to rounding).
            slow, d2, _ = self.model.infer(torch.tensor([3, 100, 402]), torch.tensor([2.0]))
            self.assertTrue(((d2 - 2 * d).abs() <= 1).all())
            self.assertEqual(slow.shape[0], int(d2.sum()))
            mel, d, _ = self.model.infer(torch.zeros(0, dtype=torch.long))
            self.assertEqual(tuple(mel.shape), (1, 80))
            self.assertEqual(len(d), 0)

    def test_export_matches_contract(self):
        import onnx
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "a.onnx")
            export.export_acoustic(self.model, path)
            m = onnx.load(path)
            # Stamping a copy without metadata gives the exported file again.
            stripped = os.path.join(tmp, "b.onnx")
            plain = onnx.ModelProto()
            plain.CopyFrom(m)
            del plain.metadata_props[:]
            onnx.save(plain, stripped)
            self.assertTrue(stamp_metadata.stamp_file(stripped, "default"))
            with open(path, "rb") as a, open(stripped, "rb") as b:
                self.assertEqual(a.read(), b.read())
        # What the C++ tool reads.
        meta = {p.key: p.value for p in m.metadata_props}
        self.assertEqual({k: meta[k] for k in ("sample_rate", "hop_samples", "mel_bins",
                                               "voice_contract_version", "voice",
                                               "phone_set_version", "optional_inputs")},
                         {"sample_rate": "24000", "hop_samples": "300", "mel_bins": "80",
                          "voice_contract_version": "1", "voice": "default",
                          "phone_set_version": "1", "optional_inputs": "duration_scale"})
        self.assertLessEqual(m.ir_version, 9)
        self.assertLessEqual(max(o.version for o in m.opset_import if o.domain in ("", "ai.onnx")), 17)
        self.assertEqual([i.name for i in m.graph.input], ["phone_ids", "duration_scale"])
        inp = m.graph.input[0].type.tensor_type
        self.assertEqual(inp.elem_type, onnx.TensorProto.INT64)
        self.assertEqual(len(inp.shape.dim), 1)
        out = m.graph.output[0].type.tensor_type
        self.assertEqual(len(out.shape.dim), 2)
        self.assertEqual(out.shape.dim[1].dim_value, 80)
        self.assertEqual([o.name for o in m.graph.output], ["mel", "durations"])
        self.assertEqual(meta["optional_outputs"], "durations")

    def test_durations_output_is_what_the_length_regulator_sums(self):
        import onnx
        from tools.voice import add_durations_output as add
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "a.onnx")
            export.export_acoustic(self.model, path)
            m = onnx.load(path)

        def producer(name):
            return next(n for n in m.graph.node if name in n.output)

        frames = add.regulator_frames(m.graph)
        self.assertEqual(producer("durations").input[0], frames)
        # A file exported before the output: the script adds the same.
        m.graph.node.remove(producer("durations"))
        del m.graph.output[1]
        del m.metadata_props[[p.key for p in m.metadata_props].index("optional_outputs")]
        self.assertTrue(add.add_durations(m))
        onnx.checker.check_model(m)
        self.assertEqual([o.name for o in m.graph.output], ["mel", "durations"])
        self.assertEqual(producer("durations").input[0], frames)
        self.assertEqual({p.key: p.value for p in m.metadata_props}["optional_outputs"],
                         "durations")
        self.assertFalse(add.add_durations(m))


if __name__ == "__main__":
    unittest.main()
