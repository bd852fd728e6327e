import unittest

from tools.voice import diphone_units


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


if __name__ == "__main__":
    unittest.main()
