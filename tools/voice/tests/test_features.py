import unittest

import numpy as np

from tools.voice import contract, features


class MelTest(unittest.TestCase):
    def test_slaney_scale_round_trip_and_break_point(self):
        hz = np.array([0.0, 500.0, 1000.0, 4000.0, 7600.0])
        self.assertAlmostEqual(float(features.hz_to_mel(1000.0)), 15.0, places=6)
        np.testing.assert_allclose(features.mel_to_hz(features.hz_to_mel(hz)), hz,
                                   rtol=1e-9, atol=1e-9)

    def test_filterbank_shape_band_and_area_normalisation(self):
        fb = features.mel_filterbank()
        self.assertEqual(fb.shape, (80, 1025))
        freqs = np.linspace(0, 12000, 1025)
        self.assertTrue((fb[:, freqs < 80] == 0).all())
        self.assertTrue((fb[:, freqs > 7600] == 0).all())
        # Slaney normalisation: each filter's weights times the bin spacing
        # integrate to about 1 (area 2/(f_hi - f_lo) x triangle of base f_hi - f_lo).
        area = fb.sum(axis=1) * (freqs[1] - freqs[0])
        np.testing.assert_allclose(area, 1.0, rtol=0.15)

    def test_frames_and_tone_lands_in_its_band(self):
        sr = contract.SAMPLE_RATE
        t = np.arange(sr) / sr
        audio = 0.5 * np.sin(2 * np.pi * 1000 * t).astype(np.float32)
        mel = features.log_mel(audio)
        self.assertEqual(mel.shape, (sr // 300, 80))
        centres = features.mel_to_hz(np.linspace(
            features.hz_to_mel(80), features.hz_to_mel(7600), 82))[1:-1]
        self.assertLess(abs(centres[mel[40].argmax()] - 1000), 60)

    def test_silence_is_clamped(self):
        mel = features.log_mel(np.zeros(3000, dtype=np.float32))
        self.assertEqual(mel.shape, (10, 80))
        np.testing.assert_allclose(mel, -5.0)


class PitchTest(unittest.TestCase):
    def harmonic(self, f0_hz, seconds=0.5):
        t = np.arange(int(contract.SAMPLE_RATE * seconds)) / contract.SAMPLE_RATE
        phase = 2 * np.pi * np.cumsum(np.broadcast_to(f0_hz, t.shape)) / contract.SAMPLE_RATE
        return sum(np.sin(k * phase) / k for k in range(1, 6)).astype(np.float32)

    def test_steady_tone(self):
        for hz in (80.0, 150.0, 220.0):
            f0 = features.f0(self.harmonic(hz))
            inner = f0[4:-4]
            self.assertTrue((inner > 0).all(), hz)
            np.testing.assert_allclose(inner, hz, rtol=0.02)

    def test_rising_glide_tracks_direction(self):
        n = contract.SAMPLE_RATE // 2
        glide = np.linspace(90.0, 140.0, n)
        f0 = features.f0(self.harmonic(glide))[4:-4]
        self.assertGreater(np.corrcoef(np.arange(len(f0)), f0)[0, 1], 0.95)

    def test_silence_and_noise_are_unvoiced(self):
        self.assertTrue((features.f0(np.zeros(6000, np.float32)) == 0).all())
        noise = np.random.default_rng(0).standard_normal(24000).astype(np.float32)
        self.assertLess((features.f0(noise) > 0).mean(), 0.2)

    def test_jumps_away_from_the_contour_are_read_again(self):
        # A 100 Hz contour (lag 240) where frame 4 took a dip at 3/4 of the
        # period (133 Hz), and frame 8 has no dip near the period at all.
        n, max_lag = 12, 480
        cmnd = np.ones((n, max_lag + 1))
        cmnd[:, 240] = 0.1
        cmnd[4, 180] = 0.3
        cmnd[8, 240] = 0.9
        cmnd[8, 180] = 0.3
        track = np.full(n, 100.0)
        track[[4, 8]] = contract.SAMPLE_RATE / 180
        track[0] = 0.0  # unvoiced frames stay unvoiced
        out = features.repair_jumps(track, cmnd, 96, max_lag)
        self.assertAlmostEqual(out[4], 100.0, places=3)
        self.assertEqual(out[8], 0.0)
        self.assertEqual(out[0], 0.0)
        np.testing.assert_allclose(out[[1, 2, 3, 5, 6, 7, 9, 10, 11]], 100.0)

    def test_steep_glides_are_left_alone(self):
        # A fall of 5% per frame (steeper than a fourth tone) is a contour,
        # not a jump.
        track = 150.0 * 0.95 ** np.arange(12)
        out = features.repair_jumps(track, np.ones((12, 481)), 96, 480)
        np.testing.assert_allclose(out, track)

    def test_interpolation_fills_gaps(self):
        lf, voiced = features.interpolate_log_f0(np.array([0, 100, 0, 0, 200, 0.0]))
        self.assertEqual(voiced.tolist(), [False, True, False, False, True, False])
        self.assertAlmostEqual(float(lf[0]), np.log(100), places=5)
        self.assertAlmostEqual(float(lf[5]), np.log(200), places=5)
        self.assertTrue(np.all(np.diff(lf[1:5]) > 0))
        lf, voiced = features.interpolate_log_f0(np.zeros(4))
        self.assertFalse(voiced.any())


if __name__ == "__main__":
    unittest.main()
