import shutil
import unittest

import numpy as np

from tools.voice import contract, listener_measures as lm, praat_track

SR = contract.SAMPLE_RATE


def click_train(n, hz, rng):
    x = np.zeros(n)
    x[::int(SR / hz)] = 1.0
    return x + 1e-3 * rng.standard_normal(n)


class ListenerMeasuresTest(unittest.TestCase):
    def test_fricative_kurtosis_tells_noise_from_pulses(self):
        rng = np.random.default_rng(1)
        n = 40 * contract.HOP
        for name, signal, lo, hi in (
                ("white noise", rng.standard_normal(n), 2.7, 3.3),
                ("95 Hz click train", click_train(n, 95.0, rng), 20.0, np.inf)):
            k = lm.fricative_kurtosis(signal, ["s", "a1"], [30, 10])
            self.assertEqual(len(k), 1, name)
            self.assertTrue(lo < k[0] < hi, f"{name}: {k[0]}")
        # Only fricative and affricate initials count.
        self.assertEqual(lm.fricative_kurtosis(rng.standard_normal(n), ["m", "a1"], [30, 10]), [])

    def test_utterance_end(self):
        t = np.arange(SR) / SR
        vowel = 0.5 * np.sin(2 * np.pi * 150 * t)
        fade = np.exp(-np.arange(SR // 4) / (0.02 * SR))
        for name, audio, silence, decays in (
                ("cut inside the vowel", vowel, 0.0, False),
                ("decay, then 0.3 s of silence",
                 np.concatenate([vowel, vowel[:SR // 4] * fade, np.zeros(int(0.3 * SR))]),
                 0.3 + SR // 4 / SR - 0.02 * np.log(100), True),
                ("one short syllable, decaying",
                 np.concatenate([vowel[:SR // 8], vowel[:SR // 8] * fade[:SR // 8]]),
                 SR // 8 / SR - 0.02 * np.log(100), True),
                ("no speech at all, only faint noise", 1e-3 * np.sin(2 * np.pi * 150 * t),
                 1.0, None)):
            end = lm.utterance_end(audio)
            self.assertAlmostEqual(end["trailing_silence_s"], silence, delta=0.01, msg=name)
            self.assertEqual(end["decays"], decays, name)

    def test_excursions_and_ranges_of_known_contours(self):
        # A final gliding 100 -> 200 Hz rises 12 semitones; its p5-p95 range
        # is 90 % of that; the same glide backwards falls 12.
        glide = 100.0 * 2 ** (np.linspace(0, 12, 20) / 12)
        self.assertAlmostEqual(lm.f0_range(glide), 0.9 * 12, delta=0.01)
        for tone, f0, want in ((2, glide, 12.0), (4, glide[::-1], 12.0),
                               (3, np.concatenate([glide[::-1], glide[:5]]), 12.0)):
            got = lm.tone_excursions(np.concatenate([np.zeros(4), f0]), [4, len(f0)],
                                     [0, tone])[tone]
            self.assertEqual(len(got), 1)
            self.assertAlmostEqual(got[0], want, delta=0.01, msg=f"tone {tone}")

    def test_pauses_peaks_and_rate(self):
        phones, durs = ["n", "i3", "sp", "h", "ao3", "sp"], [4, 10, 16, 4, 12, 8]
        self.assertEqual(lm.comma_pauses_ms("你，好。", phones, durs), [200.0])
        self.assertEqual(lm.comma_pauses_ms("你好", phones, durs), [])  # marks unmatched
        self.assertEqual(lm.peak_stats(np.array([0.5, -1.25, 1.0]))["over_1"], 1)
        self.assertEqual(lm.clipped_16bit(np.array([32767, -32768, 12, -32000])), 2)
        speech = np.zeros(3 * SR)
        speech[SR // 2:SR // 2 + 2 * SR] = 0.3
        self.assertAlmostEqual(lm.speaking_rate(speech, [0, 3, 0, 0, 3, 0]), 1.0, places=3)

    def test_declination(self):
        frames = np.arange(160)  # 2 s
        falling = 200.0 * 2 ** (-0.8 * frames * 0.0125 / 12)
        with_gaps = falling.copy()
        with_gaps[40:60] = 0.0  # a pause leaves the fit alone
        self.assertAlmostEqual(lm.declination(falling), -0.8, places=3)
        self.assertAlmostEqual(lm.declination(with_gaps), -0.8, places=3)
        self.assertIsNone(lm.declination(falling[:30]))  # under half a second

    @unittest.skipUnless(shutil.which("praat"), "needs Debian's praat")
    def test_praat_tracks_a_sine_sweep(self):
        t = np.arange(SR) / SR
        hz = 100.0 * 2 ** (8 * t / 12)  # 8 semitones in a second
        phase = 2 * np.pi * np.cumsum(hz) / SR
        sweep = 0.3 * sum(np.sin(h * phase) / h for h in range(1, 6))
        f0, hnr = praat_track.track({"sweep": sweep}, (50.0, 250.0))["sweep"]
        self.assertEqual(len(f0), SR // contract.HOP)
        voiced = f0 > 0
        self.assertGreater(voiced.mean(), 0.8)
        truth = hz[np.arange(len(f0)) * contract.HOP][voiced]
        error = np.abs(lm.semitones(f0[voiced]) - lm.semitones(truth))
        self.assertLess(np.median(error), 0.1)
        self.assertAlmostEqual(lm.f0_range(f0), lm.f0_range(truth), delta=0.1)
        self.assertGreater(np.median(hnr[f0 > 0]), 20)


if __name__ == "__main__":
    unittest.main()
