import os
import unittest

import numpy as np

from tools.voice import diphone_teacher as dt
from tools.voice import diphone_units, intonation, phoneset
from tools.voice.intonation import Pause, Syllable

HERE = os.path.dirname(os.path.abspath(__file__))
PHONES_TSV = os.path.join(HERE, "..", "..", "..", "resources", "dict", "phones.tsv")


class SpellingTest(unittest.TestCase):
    def test_one_case_per_rule(self):
        cases = [
            (("h", "uan"), ("hu", "an", True)),     # medial moves to the onset
            (("x", "van"), ("xu", "an", True)),     # ü written u
            ((None, "van"), ("yu", "an", True)),
            ((None, "ie"), ("y", "e", True)),       # zero initial: glide onset
            ((None, "ui"), ("w", "ei", True)),
            ((None, "vn"), ("y", "un", True)),
            ((None, "ang"), (None, "ang", False)),
            (("zh", "iii"), ("zh", "ll", False)),
            (("c", "ii"), ("c", "ii", False)),
            (("j", "ve"), ("j", "ue", False)),
            (("j", "iong"), ("ji", "ong", True)),
            (("t", "ei"), ("d", "ei", False)),      # a missing diphone's stand-in
        ]
        for (initial, final), want in cases:
            self.assertEqual(tuple(diphone_units.spell(initial, final)), want,
                             (initial, final))


def syl(initial, final, tone):
    return Syllable(initial, final, tone,
                    diphone_units.spell(initial, final).onset_has_medial)


class IntonationTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.model = intonation.load()

    def test_contour_context(self):
        tones = self.model["tones"]
        a, b = syl("h", "ao", 3), syl("r", "en", 2)
        cases = [  # units, index, expected contour
            ([a, b], 0, tones["3_half"]),
            ([a, syl("h", "ao", 3)], 0, tones["3"]),
            ([a, Pause("，"), b], 0, tones["3"]),     # a pause ends the phrase
            ([syl("t", "a", 4), syl("m", "en", 5)], 1, tones["5"]["after_4"]),
            ([syl("t", "a", 1), syl("m", "en", 5)], 1, tones["5"]["after_1"]),
            ([syl("t", "a", 3), Pause(None), syl("m", "en", 5)], 2, tones["5"]["after_none"]),
            ([syl("t", "a", 2), syl("d", "e", 5), syl("m", "en", 5)], 2,
             [[p, l - self.model["neutral_chain_step"]] for p, l in tones["5"]["after_2"]]),
        ]
        for units, k, want in cases:
            self.assertEqual(intonation.contour(self.model, units, k), want, (units, k))
        self.assertEqual(intonation.contour(self.model, [a, b], 0, flat=True), tones["3"])

    def test_plan_timing_and_declination(self):
        units = [syl("m", "a", 1)] * 4 + [Pause("。"), syl("m", "a", 1), syl("m", "a", 1),
                                          Pause("、"), syl("m", "a", 1), Pause("。")]
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


class PhoTest(unittest.TestCase):
    def test_units_durations_and_points(self):
        model = intonation.load()
        units = [syl("h", "uan", 1), syl(None, "ie", 4), Pause("。")]
        phones, _ = intonation.plan(model, units)
        pho, total = dt.pho_lines(units, phones, model)
        lines = [line.split() for line in pho.splitlines()]
        self.assertEqual([l[0] for l in lines], ["_", "hu", "an", "_", "y", "e", "_"])
        self.assertEqual(lines[3][1], "0.00")  # syllables meet through "_ 0"
        durs = [float(l[1]) for l in lines]
        self.assertAlmostEqual(sum(durs), total, places=1)
        self.assertAlmostEqual(total, phones[-1].end, places=1)
        # The initial h ends where hu's medial share begins.
        self.assertAlmostEqual(durs[0] + durs[1] + durs[2], phones[1].end, places=1)
        self.assertGreater(durs[1], phones[0].end - durs[0])
        for l in lines:
            pct = [float(x) for x in l[2::2]]
            self.assertTrue(all(0 <= p <= 100 for p in pct), l)
        # Tone 4: the points of ie fall, spread over y and e.
        hz = [float(x) for l in lines[4:6] for x in l[3::2]]
        self.assertGreater(hz[0], hz[-1])

    def test_durations_in_frames(self):
        P = intonation.Phone
        phones = [P("initial", 0, 100), P("final", 100, 250), P("pause", 250, 500)]
        self.assertEqual(dt.durations_in_frames(phones, 525.0, 41), [8, 12, 21])
        with self.assertRaises(ValueError):
            dt.durations_in_frames(phones, 525.0, 30)

    def test_pause_marks(self):
        self.assertEqual(dt.pause_marks("好，走吧。", 2), ["，", "。"])
        self.assertEqual(dt.pause_marks("三点:半。", 1), [None])

    def test_utterance_units(self):
        inv = phoneset.Inventory(PHONES_TSV, {})
        units = dt.utterance_units(["x", "iao3", "h", "air2", "uanr2", "sp"],
                                   inv.initials, inv.erhua, ["。"])
        self.assertEqual(units, [Syllable("x", "iao", 3, True), Syllable("h", "ai", 2, False),
                                 Syllable(None, "uan", 2, True), Pause("。")])


@unittest.skipUnless(dt.available(), "mbrola or its cn1 voice is not installed "
                     "(tools/voice/setup_diphone_teacher.sh installs them)")
class RenderTest(unittest.TestCase):
    def test_every_syllable_in_every_tone_renders_cleanly(self):
        records = phoneset.read_inventory(PHONES_TSV)["syllable"]
        teacher = dt.Teacher()
        for tone in range(1, 6):
            units = []
            for _, initial, final in records:
                units += [syl(None if initial == "-" else initial, final, tone), Pause(None)]
            out = teacher.render(units)  # raises on a missing diphone
            self.assertEqual(out["warnings"], "", f"tone {tone}")
            # mbrola's pitch-synchronous rounding drifts by about 0.1 ms a
            # second: far below a frame for any one utterance.
            drift = abs(len(out["audio"]) / 22.05 - out["total_ms"])
            self.assertLess(drift, 12.5 + 2e-4 * out["total_ms"], f"tone {tone}")

    def test_rendered_tones_follow_the_model(self):
        from scipy.signal import resample_poly
        from tools.voice import features
        units = [syl("m", "a", 2), Pause("，"), syl("m", "a", 4), Pause("。")]
        out = dt.Teacher().render(units)
        y = resample_poly(out["audio"], 160, 147)
        f0 = features.f0(y, fmin=120.0, fmax=450.0)
        finals = [ph for ph in out["phones"] if ph.kind == "final"]
        slopes = []
        for ph in finals:
            seg = f0[int(ph.start / 12.5) + 2:int(ph.end / 12.5) - 2]
            seg = seg[seg > 0]
            slopes.append(np.polyfit(np.arange(len(seg)), np.log(seg), 1)[0])
        self.assertGreater(slopes[0], 0)
        self.assertLess(slopes[1], 0)


if __name__ == "__main__":
    unittest.main()
