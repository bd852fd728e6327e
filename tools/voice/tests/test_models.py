import os
import tempfile
import unittest

import numpy as np
import torch

from tools.voice import export, features, models, stamp_metadata

torch.set_num_threads(1)


class LengthRegulatorTest(unittest.TestCase):
    def test_indices_and_starts(self):
        index, start, t = models.expand_indices(torch.tensor([2, 0, 3, 1]))
        self.assertEqual(index.tolist(), [0, 0, 2, 2, 2, 3])
        self.assertEqual(start.tolist(), [0, 0, 2, 2, 2, 5])
        self.assertEqual(t.tolist(), list(range(6)))

    def test_single_phone(self):
        index, start, _ = models.expand_indices(torch.tensor([3]))
        self.assertEqual(index.tolist(), [0, 0, 0])
        self.assertEqual(start.tolist(), [0, 0, 0])


class AcousticTest(unittest.TestCase):
    def setUp(self):
        torch.manual_seed(0)
        self.model = models.FastSpeech2(dim=32, heads=2, enc_layers=1, dec_layers=1,
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
            self.assertTrue(stamp_metadata.stamp_file(stripped))
            with open(path, "rb") as a, open(stripped, "rb") as b:
                self.assertEqual(a.read(), b.read())
        # What the C++ tool reads.
        self.assertEqual({p.key: p.value for p in m.metadata_props},
                         {"sample_rate": "24000", "hop_samples": "300", "mel_bins": "80",
                          "voice_contract_version": "1"})
        self.assertLessEqual(m.ir_version, 9)
        self.assertLessEqual(max(o.version for o in m.opset_import if o.domain in ("", "ai.onnx")), 17)
        self.assertEqual(len(m.graph.input), 1)
        inp = m.graph.input[0].type.tensor_type
        self.assertEqual(inp.elem_type, onnx.TensorProto.INT64)
        self.assertEqual(len(inp.shape.dim), 1)
        out = m.graph.output[0].type.tensor_type
        self.assertEqual(len(out.shape.dim), 2)
        self.assertEqual(out.shape.dim[1].dim_value, 80)


class VocoderTest(unittest.TestCase):
    def test_istft_basis_inverts_the_stft(self):
        # Frames of a real signal, transformed with the analysis window,
        # must come back through the synthesis basis (interior samples).
        rng = np.random.default_rng(0)
        audio = rng.standard_normal(300 * 20).astype(np.float32)
        n_fft, hop = 1200, 300
        w = torch.hann_window(n_fft)
        spectrum = torch.stft(torch.from_numpy(audio), n_fft, hop, window=w, center=True,
                          return_complex=True)  # [601, 21]
        x = torch.cat([spectrum.real, spectrum.imag]).unsqueeze(0)
        basis = models.istft_basis(n_fft, n_fft)
        out = torch.nn.functional.conv_transpose1d(x, basis, stride=hop)[0, 0]
        out = out[n_fft // 2:n_fft // 2 + len(audio)].numpy()
        np.testing.assert_allclose(out[n_fft:-n_fft], audio[n_fft:-n_fft], atol=1e-4)

    def test_output_length_and_export(self):
        import onnx
        voc = models.Vocoder(dim=16, hidden=32, layers=1).eval()
        for t in (1, 37, 64):
            with torch.no_grad():
                y = voc(torch.zeros(2, t, 80) - 4)
            self.assertEqual(tuple(y.shape), (2, 300 * t))
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "v.onnx")
            export.export_vocoder(voc, path)
            m = onnx.load(path)
        self.assertLessEqual(m.ir_version, 9)
        self.assertEqual(len(m.graph.input[0].type.tensor_type.shape.dim), 2)
        self.assertEqual(len(m.graph.output[0].type.tensor_type.shape.dim), 2)


class SourceFilterVocoderTest(unittest.TestCase):
    def setUp(self):
        torch.manual_seed(0)
        self.voc = models.SourceFilterVocoder(dim=16, hidden=32, layers=1).eval()
        with torch.no_grad():  # residual silent, source passed with gain 1
            self.voc.head.weight.zero_()
            self.voc.head.bias.fill_(-30.0)
            self.voc.gain_head.weight.zero_()
            self.voc.gain_head.bias.zero_()

    def test_pitch_follows_the_given_f0(self):
        for hz in (90.0, 130.0):
            with torch.no_grad():
                audio, _ = self.voc(torch.zeros(1, 40, 80), torch.full((1, 40), hz))
            self.assertEqual(tuple(audio.shape), (1, 12000))
            f0 = features.f0(audio[0].numpy(), fmax=400.0)[4:-4]
            self.assertTrue((f0 > 0).all())
            np.testing.assert_allclose(f0, hz, rtol=0.02)

    def test_gliding_f0_gives_gliding_pitch(self):
        glide = torch.linspace(80.0, 140.0, 60).unsqueeze(0)
        with torch.no_grad():  # keep the source below 1 kHz, like a voice
            self.voc.gain_head.bias[50:] = -30.0
            audio, _ = self.voc(torch.zeros(1, 60, 80), glide)
        f0 = features.f0(audio[0].numpy(), fmax=400.0)
        np.testing.assert_allclose(f0[6:-6], glide[0, 6:-6].numpy(), rtol=0.04)

    def test_gain_is_smoothed_across_bins_only(self):
        bins = self.voc.bins
        self.assertEqual(self.voc.gain_smoothing, 1)  # training: off
        gain = torch.rand(1, 2, bins)
        torch.testing.assert_close(self.voc.smooth_across_bins(gain), gain)
        self.voc.set_gain_smoothing(models.SYNTHESIS_GAIN_SMOOTHING)
        # A constant gain stays constant, the edge bins included.
        flat = torch.full((1, 3, bins), 2.5)
        torch.testing.assert_close(self.voc.smooth_across_bins(flat), flat)
        # A comb (every other bin) becomes nearly flat: the gain cannot
        # impose harmonics of its own on the source.
        comb = (torch.arange(bins) % 2).float().expand(1, 2, bins)
        smooth = self.voc.smooth_across_bins(comb)
        self.assertLess(float((smooth[..., 10:-10] - 0.5).abs().max()), 0.06)
        # Frames are smoothed independently: a loud frame leaves a silent one.
        frames = torch.zeros(1, 2, bins)
        frames[0, 0] = 1.0
        self.assertEqual(float(self.voc.smooth_across_bins(frames)[0, 1].abs().max()), 0.0)

    def test_analysis_basis_is_the_windowed_dft(self):
        torch.testing.assert_close(self.voc.analysis(), models.stft_basis(1200, 1200),
                                   atol=1e-5, rtol=1e-4)
        self.assertNotIn("analysis_scale", self.voc.state_dict())

    def test_source_is_band_limited(self):
        with torch.no_grad():
            # 190 Hz: 56 harmonics, the last at 10640 Hz (an F0 on which
            # 0.45 x rate / F0 is an integer flips between two counts).
            src = self.voc.source(torch.full((1, 40), 190.0))[0, 0].numpy()
        self.assertEqual(len(src), 300 * 40 + 1200)
        mag = np.abs(np.fft.rfft(src[600:-600] * np.hanning(12000)))
        freqs = np.fft.rfftfreq(12000, 1 / 24000)
        self.assertLess(mag[freqs > 11000].max(), 1e-3 * mag.max())
        self.assertGreater(mag[np.argmin(abs(freqs - 190))], 0.1 * mag.max())
        self.assertGreater(mag[np.argmin(abs(freqs - 10640))], 0.1 * mag.max())

    def test_predicted_f0_and_export(self):
        import onnx
        with torch.no_grad():
            audio, log_f0 = self.voc(torch.zeros(2, 7, 80) - 4)
        self.assertEqual(tuple(audio.shape), (2, 2100))
        self.assertEqual(tuple(log_f0.shape), (2, 7))
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "h.onnx")
            export.export_vocoder(self.voc, path)
            m = onnx.load(path)
        # Exported as synthesis runs it, the training model left as it was.
        self.assertEqual(self.voc.gain_smoothing, 1)
        self.assertEqual(len(m.graph.input), 1)
        self.assertEqual(len(m.graph.output[0].type.tensor_type.shape.dim), 2)


if __name__ == "__main__":
    unittest.main()
