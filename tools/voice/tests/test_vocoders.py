import math
import os
import tempfile
import unittest

import numpy as np
import torch

from tools.voice import export, features, reexport, vocoders

torch.set_num_threads(1)


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
        basis = vocoders.istft_basis(n_fft, n_fft)
        out = torch.nn.functional.conv_transpose1d(x, basis, stride=hop)[0, 0]
        out = out[n_fft // 2:n_fft // 2 + len(audio)].numpy()
        np.testing.assert_allclose(out[n_fft:-n_fft], audio[n_fft:-n_fft], atol=1e-4)

    def test_output_length_and_export(self):
        import onnx
        voc = vocoders.Vocoder(dim=16, hidden=32, layers=1).eval()
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
        self.voc = vocoders.SourceFilterVocoder(dim=16, hidden=32, layers=1).eval()
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
        self.voc.set_gain_smoothing(vocoders.SYNTHESIS_GAIN_SMOOTHING)
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
        torch.testing.assert_close(self.voc.analysis(), vocoders.stft_basis(1200, 1200),
                                   atol=1e-5, rtol=1e-4)
        self.assertNotIn("analysis_scale", self.voc.state_dict())

    def test_source_is_band_limited(self):
        with torch.no_grad():
            # 190 Hz: 56 harmonics, the last at 10640 Hz (an F0 on which
            # 0.45 x rate / F0 is an integer flips between two counts).
            src = self.voc.source(torch.full((1, 40), 190.0))[0][0, 0].numpy()
        self.assertEqual(len(src), 300 * 40 + 1200)
        mag = np.abs(np.fft.rfft(src[600:-600] * np.hanning(12000)))
        freqs = np.fft.rfftfreq(12000, 1 / 24000)
        self.assertLess(mag[freqs > 11000].max(), 1e-3 * mag.max())
        self.assertGreater(mag[np.argmin(abs(freqs - 190))], 0.1 * mag.max())
        self.assertGreater(mag[np.argmin(abs(freqs - 10640))], 0.1 * mag.max())

    def test_predicted_f0_and_export(self):
        import onnx
        with torch.no_grad():  # layer norms at 1 and 0 would be exported away
            for p in self.voc.parameters():
                p.add_(0.01 * torch.randn_like(p))
        with torch.no_grad():
            audio, log_f0 = self.voc(torch.zeros(2, 7, 80) - 4)
        self.assertEqual(tuple(audio.shape), (2, 2100))
        self.assertEqual(tuple(log_f0.shape), (2, 7))
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "h.onnx")
            export.export_vocoder(self.voc, path)
            m = onnx.load(path)
            # The graph stops before the transforms, so it holds no basis:
            # reading the weights back must still give the same network.
            back = reexport.load_vocoder(path)
        for name, value in self.voc.state_dict().items():
            torch.testing.assert_close(back.state_dict()[name], value, msg=name)
        # Exported as synthesis runs it, the training model left as it was.
        self.assertEqual(self.voc.gain_smoothing, 1)
        # The phase inputs are optional: each has a default initializer.
        self.assertEqual([i.name for i in m.graph.input], ["mel", "phase_in", "phase_frame"])
        self.assertEqual([o.name for o in m.graph.output],
                         ["spectrum", "source", "source_gain", "phase_out"])
        defaults = {i.name for i in m.graph.initializer}
        self.assertTrue({"phase_in", "phase_frame"} <= defaults)
        self.assertEqual(len(m.graph.output[0].type.tensor_type.shape.dim), 2)

    def test_parts_are_the_audio_by_the_tools_transforms(self):
        # What the tool does with the exported parts, by numpy's FFT: the
        # source's frames (hop 300 from its first sample) Hann-windowed, the
        # gain times their spectra added, inverse DFT, windowed again,
        # overlap-added / 1.5, the first n_fft / 2 samples dropped.
        mel = torch.randn(1, 9, 80) - 4
        with torch.no_grad():
            audio, _, _ = self.voc.synthesize(mel)
            spectrum, pulses, gain, _, _ = self.voc.parts(mel)
        n, bins, t = 1200, 601, 9
        w = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(n) / n)
        src = pulses[0, 0].double().numpy()
        out = np.zeros(300 * (t - 1) + n)
        for f in range(t):
            s = np.fft.rfft(src[300 * f:300 * f + n] * w)
            row = spectrum[0, f].double().numpy()
            s = row[:bins] + 1j * row[bins:] + gain[0, f].double().numpy() * s
            out[300 * f:300 * f + n] += np.fft.irfft(s, n) * w / 1.5
        np.testing.assert_allclose(out[600:600 + 300 * t], audio[0].double().numpy(),
                                   atol=1e-4)

    def test_source_phase_runs_on_across_windows(self):
        f0 = torch.linspace(180.0, 320.0, 100).unsqueeze(0)
        with torch.no_grad():
            whole, phase = self.voc.source(f0)
            # The default reference (0 cycles at frame -2) is the phase-less source.
            same, _ = self.voc.source(f0, torch.zeros(1, 1), torch.tensor([-2]))
            # A window from frame 30 told the phase the whole run has at
            # frame 40 goes on exactly as the whole run from there.
            part, part_phase = self.voc.source(f0[:, 30:], phase[:, 40:41],
                                               torch.tensor([10]))
        torch.testing.assert_close(same, whole, rtol=0, atol=0)
        self.assertEqual(tuple(phase.shape), (1, 101))
        wrapped = torch.remainder(part_phase[0, 10:] - phase[0, 40:] + 0.5, 1.0) - 0.5
        self.assertLess(float(wrapped.abs().max()), 1e-3)
        # Samples agree to a small part of the pulses' peaks (about 7);
        # a restarted phase is off by the whole peak.
        start = 300 * 10 + 600
        np.testing.assert_allclose(part[0, 0, start:start + 3000].numpy(),
                                   whole[0, 0, start + 9000:start + 12000].numpy(), atol=0.02)


class NoiseSourceTest(unittest.TestCase):
    def test_unvoiced_frames_are_noise_and_inference_is_repeatable(self):
        torch.manual_seed(0)
        voc = vocoders.SourceFilterVocoder(dim=16, hidden=32, layers=1, noise=True).eval()
        mel = torch.zeros(1, 300, 80) - 4
        f0 = torch.full((1, 300), 100.0)
        kurtosis = {}
        with torch.no_grad():  # residual silent; pulses and noise with gain 1
            voc.head.weight.zero_()
            voc.head.bias.fill_(-30.0)
            for head in (voc.gain_head, voc.noise_head, voc.voicing_head):
                head.weight.zero_()
                head.bias.zero_()
            for voiced, bias in (("voiced", 30.0), ("unvoiced", -30.0)):
                voc.voicing_head.bias.fill_(bias)
                voc.noise_head.bias.fill_(-30.0 if voiced == "voiced" else 0.0)
                audio, _ = voc(mel, f0)
                x = audio[0, 2400:-2400].numpy()
                x = x - x.mean()
                kurtosis[voiced] = float((x ** 4).mean() / (x ** 2).mean() ** 2)
                again, _ = voc(mel, f0)
                torch.testing.assert_close(again, audio, rtol=0, atol=0)
        # A pulse train is peaky; the noise source Gaussian (kurtosis 3),
        # also past the fixed noise's 256 frames, where it repeats.
        self.assertGreater(kurtosis["voiced"], 10)
        self.assertLess(abs(kurtosis["unvoiced"] - 3.0), 0.5)

    def test_unvoiced_residual_takes_the_noise_phase(self):
        torch.manual_seed(0)
        voc = vocoders.SourceFilterVocoder(dim=16, hidden=32, layers=1, noise=True).eval()
        mel = torch.zeros(1, 300, 80) - 4
        f0 = torch.full((1, 300), 100.0)
        with torch.no_grad():  # residual of magnitude 1, a click mid-window per frame
            for head in (voc.head, voc.gain_head, voc.noise_head, voc.voicing_head):
                head.weight.zero_()
                head.bias.zero_()
            voc.head.bias[voc.bins:] = -math.pi * torch.arange(voc.bins)
            voc.gain_head.bias.fill_(-30.0)
            voc.noise_head.bias.fill_(-30.0)
            got = {}
            for voicing_bias in (30.0, -30.0):
                voc.voicing_head.bias.fill_(voicing_bias)
                for on in (False, True):
                    voc.set_unvoiced_noise_phase(on)
                    x = voc(mel, f0)[0][0, 2400:-2400].numpy()
                    got[voicing_bias, on] = x
        def kurtosis(x):
            x = x - x.mean()
            return float((x ** 4).mean() / (x ** 2).mean() ** 2)
        # Voiced frames keep the residual as predicted.
        self.assertTrue(np.array_equal(got[30.0, False], got[30.0, True]))
        # Unvoiced: the clicks become noise of about the same level.
        self.assertGreater(kurtosis(got[-30.0, False]), 10)
        self.assertLess(abs(kurtosis(got[-30.0, True]) - 3.0), 0.5)
        ratio = np.std(got[-30.0, True]) / np.std(got[-30.0, False])
        self.assertLess(abs(ratio - 1.0), 0.3)


if __name__ == "__main__":
    unittest.main()
