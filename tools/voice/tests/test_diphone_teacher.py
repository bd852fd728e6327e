import os
import unittest

import numpy as np

from tools.voice import diphone_teacher as dt
from tools.voice import intonation, phoneset
from tools.voice.intonation import Pause, Syllable

HERE = os.path.dirname(os.path.abspath(__file__))
PHONES_TSV = os.path.join(HERE, "..", "..", "..", "resources", "dict", "phones.tsv")


class PhoTest(unittest.TestCase):
    def test_units_durations_and_points(self):
        model = intonation.load()
        units = [dt.syllable("h", "uan", 1), dt.syllable(None, "ie", 4), Pause("。")]
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
        # Points are written early for mbrola, but not before the syllable.
        self.assertEqual(lines[4][2], "0.0")
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
                initial = None if initial == "-" else initial
                units += [dt.syllable(initial, final, tone), Pause(None)]
            out = teacher.render(units)  # raises on a missing diphone
            self.assertEqual(out["warnings"], "", f"tone {tone}")
            # mbrola's pitch-synchronous rounding drifts by about 0.1 ms a
            # second: far below a frame for any one utterance.
            drift = abs(len(out["audio"]) / 22.05 - out["total_ms"])
            self.assertLess(drift, 12.5 + 2e-4 * out["total_ms"], f"tone {tone}")

    def test_rendered_tones_follow_the_model(self):
        from scipy.signal import resample_poly
        from tools.voice import features
        units = [dt.syllable("m", "a", 2), Pause("，"), dt.syllable("m", "a", 4), Pause("。")]
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
