import unittest

import numpy as np

from tools.voice import contract, intonation, listener_measures as lm, teacher_variants as tv

SR = contract.SAMPLE_RATE


def level_db(x):
    return 10 * np.log10(np.mean(np.square(x)))


class TeacherVariantsTest(unittest.TestCase):
    def test_register_is_checked(self):
        self.assertEqual(tv.register("90,180"), {"bottom_hz": 90.0, "top_hz": 180.0})
        for text in ("180,90", "0,100", "90", "90,180,200", "low,high"):
            with self.assertRaises(ValueError, msg=text):
                tv.register(text)
        # espeak-ng's base pitch and range: any order, 0 allowed.
        self.assertEqual(tv.pair("70,0", lowest=0), (70.0, 0.0))
        with self.assertRaises(ValueError):
            tv.pair("50,-1", lowest=0)

    def test_kept_initials_land_where_the_duration_tier_moved_them(self):
        # ma1 sa1: initials m and s, phones starting at 0, 50, 150, 250 ms.
        units = [intonation.Syllable("m", "a", 1, None), intonation.Syllable("s", "a", 1, None)]
        starts, end = [0.0, 50.0, 150.0, 250.0], 350.0
        x = np.random.default_rng(3).standard_normal(int(0.35 * SR)).astype(np.float32)
        y = np.zeros(int(0.45 * SR), np.float32)
        doubled_first_final = [(50.0, 1.0), (51.0, 2.0), (149.0, 2.0), (150.0, 1.0)]
        doubled_s = [(150.0, 1.0), (151.0, 2.0), (249.0, 2.0), (250.0, 1.0)]
        ms = SR // 1000
        for name, tier, moved_to in (("no tier", [], 150),
                                     ("after a doubled final", doubled_first_final, 248),
                                     ("the initial itself stretched", doubled_s, None)):
            out = tv.keep_initials(y, x, SR, units, starts, end, tier)
            if moved_to is None:
                np.testing.assert_array_equal(out, y, err_msg=name)
                continue
            at = round(tv.teacher_prosody.stretched(150.0, tier) * ms)
            self.assertAlmostEqual(at / ms, moved_to, delta=1.0, msg=name)
            inner = slice(10 * ms, 90 * ms)  # clear of the crossfades
            np.testing.assert_array_equal(out[at:at + 100 * ms][inner], x[150 * ms:250 * ms][inner],
                                          err_msg=name)
            # m is a sonorant: nothing else is touched.
            self.assertEqual(np.count_nonzero(out[:at]), 0, name)
            self.assertEqual(np.count_nonzero(out[at + 100 * ms:]), 0, name)

    def test_source_filter_keeps_the_level_of_voiced_and_unvoiced_audio(self):
        n = SR
        rng = np.random.default_rng(5)
        pulses = np.zeros(n)
        pulses[::SR // 120] = 1.0
        # A pulse train through a 700 Hz resonance: a vowel-like voice at 120 Hz.
        r, w = 0.97, 2 * np.pi * 700 / SR
        vowel = np.zeros(n)
        for i in range(n):
            vowel[i] = pulses[i] + 2 * r * np.cos(w) * vowel[i - 1] - r * r * vowel[i - 2]
        vowel *= 0.2 / np.abs(vowel).max()
        noise = 0.05 * rng.standard_normal(n)
        core = slice(SR // 10, n - SR // 10)
        for name, audio in (("voiced", vowel), ("unvoiced", noise)):
            out = tv.source_filter(audio.astype(np.float32), np.array([0.0]), np.array([120.0]))
            self.assertEqual(len(out), n // contract.HOP * contract.HOP, name)
            self.assertLess(abs(level_db(out[core]) - level_db(audio[core])), 1.5, name)

    def test_fricative_groups_split_every_measured_initial_once(self):
        groups = [initials for _, initials in lm.FRICATIVE_GROUPS]
        self.assertEqual(frozenset().union(*groups), lm.FRICATIVE_INITIALS)
        self.assertEqual(sum(len(g) for g in groups), len(lm.FRICATIVE_INITIALS))


if __name__ == "__main__":
    unittest.main()
