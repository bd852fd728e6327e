import math
import unittest

from tools.voice import intonation
from tools.voice.diphone_teacher import syllable
from tools.voice.intonation import Pause


class IntonationTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.model = intonation.load()

    def test_contour_context(self):
        tones = self.model["tones"]
        a, b = syllable("h", "ao", 3), syllable("r", "en", 2)
        cases = [  # units, index, expected contour
            ([a, b], 0, tones["3_half"]),
            ([a, syllable("h", "ao", 3)], 0, tones["3"]),
            ([a, Pause("，"), b], 0, tones["3"]),     # a pause ends the phrase
            ([syllable("t", "a", 4), syllable("m", "en", 5)], 1, tones["5"]["after_4"]),
            ([syllable("t", "a", 1), syllable("m", "en", 5)], 1, tones["5"]["after_1"]),
            ([syllable("t", "a", 3), Pause(None), syllable("m", "en", 5)], 2, tones["5"]["after_none"]),
            ([syllable("t", "a", 2), syllable("d", "e", 5), syllable("m", "en", 5)], 2,
             [[p, l - self.model["neutral_chain_step"]] for p, l in tones["5"]["after_2"]]),
        ]
        for units, k, want in cases:
            self.assertEqual(intonation.contour(self.model, units, k), want, (units, k))
        self.assertEqual(intonation.contour(self.model, [a, b], 0, flat=True), tones["3"])

    def test_plan_timing_and_declination(self):
        units = [syllable("m", "a", 1)] * 4 + [Pause("。"), syllable("m", "a", 1), syllable("m", "a", 1),
                                          Pause("、"), syllable("m", "a", 1), Pause("。")]
        phones, track = intonation.plan(self.model, units)
        self.assertEqual(len(phones), 2 * 7 + 3)
        for ph in phones:  # on the frame grid, contiguous
            self.assertEqual(ph.end % 12.5, 0.0)
        self.assertEqual([a.end for a in phones[:-1]], [b.start for b in phones[1:]])
        finals = [ph for ph in phones if ph.kind == "final"]
        length = [f.end - f.start for f in finals]
        self.assertGreater(length[3], length[1])  # phrase-final lengthening
        start_hz = [f.points[0][1] for f in finals]
        self.assertLess(start_hz[3], start_hz[1])       # declination ...
        self.assertAlmostEqual(start_hz[4], start_hz[0], delta=2)  # ... reset
        pauses = [ph.end - ph.start for ph in phones if ph.kind == "pause"]
        self.assertGreater(pauses[0], pauses[1])        # 。 longer than 、
        _, flat_track = intonation.plan(self.model, units, flat=True)
        self.assertEqual(len({round(hz, 3) for _, hz in flat_track}), 1)

    def test_partial_reset_keeps_a_share_of_the_fall(self):
        units = [syllable("m", "a", 1)] * 4 + [Pause("，"), syllable("m", "a", 1)]
        semitones = []
        for keep in (0.0, 0.5, 1.0):
            register = dict(self.model["register"], reset_keep=keep)
            phones, _ = intonation.plan(dict(self.model, register=register), units)
            finals = [ph for ph in phones if ph.kind == "final"]
            first, after = finals[0].points[0][1], finals[4].points[0][1]
            semitones.append(12 * math.log2(first / after))
        whole, half, kept = semitones
        self.assertAlmostEqual(whole, 0.0, delta=0.1)
        self.assertGreater(kept, 0.3)  # ... the fall before the comma stays
        self.assertAlmostEqual(half, kept / 2, delta=0.1)


if __name__ == "__main__":
    unittest.main()
