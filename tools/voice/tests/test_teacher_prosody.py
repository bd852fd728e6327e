import unittest

from tools.voice import intonation, teacher_prosody
from tools.voice.diphone_teacher import syllable
from tools.voice.intonation import Pause


class TeacherProsodyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.model = intonation.load()

    def test_stretched_integrates_the_duration_tier(self):
        tier = [(100.0, 1.0), (101.0, 1.5), (199.0, 1.5), (200.0, 1.0)]
        for t, want in [(50.0, 50.0), (100.0, 100.0), (150.0, 100.0 + 1.25 + 1.5 * 49.0),
                        (300.0, 300.0 + 0.5 * 99.0)]:
            self.assertAlmostEqual(teacher_prosody.stretched(t, tier), want, places=6, msg=t)
        self.assertEqual(teacher_prosody.stretched(123.0, []), 123.0)

    def test_tiers_follow_the_model_on_the_teacher_timing(self):
        units = [syllable("m", "a", 1), syllable("t", "a", 4), Pause("，"),
                 syllable(None, "a", 2), Pause("。")]
        # initial, final, initial, final, pause, final, pause (ms)
        starts = [0.0, 60.0, 250.0, 330.0, 520.0, 760.0, 1000.0]
        pitch, duration = teacher_prosody.tiers(units, starts, 1000.0, self.model)
        register = teacher_prosody.settings(self.model)["register"]
        finals = [(60.0, 250.0), (330.0, 520.0), (760.0, 1000.0)]
        self.assertTrue(all(any(a <= t <= b for a, b in finals) for t, _ in pitch))
        self.assertTrue(all(register["bottom_hz"] * 0.8 <= hz <= register["top_hz"]
                            for _, hz in pitch))
        fall = [hz for t, hz in pitch if 330.0 <= t <= 520.0]
        self.assertGreater(fall[0] / fall[-1], 2 ** (5 / 12))  # tone 4 falls > 5 st
        # Only the phrase-final syllables (ta4 from its initial, a2) are lengthened.
        stretched = sorted({round(t) for t, f in duration if f > 1.0})
        self.assertEqual([stretched[0], stretched[-1]], [251, 999])
        self.assertFalse(any(60.0 <= t <= 249.0 for t, f in duration))


if __name__ == "__main__":
    unittest.main()
