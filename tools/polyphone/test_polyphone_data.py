"""The trainer's side of the contract with the front end: the feature names
(the C++ test reads the same file) and finding the marked character."""

import collections
import os
import tempfile
import unittest

import polyphone_data as pd
import read_speech_tones as rst

HERE = os.path.dirname(os.path.abspath(__file__))


class FeatureNamesTest(unittest.TestCase):
    def test_names_agree_with_the_shared_list(self):
        with open(os.path.join(HERE, "feature_names.txt"),
                  encoding="utf-8") as f:
            expected = [l.rstrip("\n") for l in f if not l.startswith("#")]
        words = [("他", "r"), ("长大", "v"), ("了", "ul")]
        self.assertEqual(pd.feature_names(words, 1, 0, "zh ang3"), expected)

    def test_hash_is_fnv1a_over_utf8(self):
        self.assertEqual(pd.fnv1a64(""), 0xcbf29ce484222325)
        self.assertEqual(pd.fnv1a64("c+1=大"), 0xbe1fbcdf2781b1d5)


class LocateTest(unittest.TestCase):
    def test_marked_character_is_found_after_normalisation(self):
        cases = [
            # text, index, words, expected (word, character)
            ("他长大了", 1, ["他", "长大", "了"], (1, 0)),
            ("共3人长大", 3, ["共", "三", "人", "长大"], (3, 0)),
            ("长江长", 2, ["长江", "长"], (1, 0)),
            ("a长", 1, ["诶", "长"], (1, 0)),
            ("藉口", 0, ["借口"], (0, 0)),  # converted one for one
            ("x好", 0, ["艾克斯", "好"], None),  # read as three
            ("1好", 0, ["好"], None),  # dropped
        ]
        for text, index, words, expected in cases:
            found = pd.locate(text, index, [(w, "x", [], "") for w in words])
            self.assertEqual(found, expected, text)


class HeldOutPartTest(unittest.TestCase):
    def test_even_and_odd_lines_split_a_set_without_overlap(self):
        with tempfile.TemporaryDirectory() as tmp:
            stem = os.path.join(tmp, "dev")
            with open(stem + ".sent", "w", encoding="utf-8") as f:
                f.write("".join("%d\u2581长\u2581\n" % n for n in range(5)))
            with open(stem + ".lb", "w", encoding="utf-8") as f:
                f.write("chang2\n" * 5)
            lines = lambda part: [t[0] for t, _, _ in pd.load_set(stem + part)]
            self.assertEqual(lines("@even"), ["0", "2", "4"])
            self.assertEqual(lines("@odd"), ["1", "3"])
            self.assertEqual(len(pd.load_set(stem)), 5)
            with self.assertRaises(pd.DataError):
                pd.load_set(stem + "@half")


class PhoneTableTest(unittest.TestCase):
    def test_spellings_become_the_phones_of_the_model_file(self):
        table = pd.PhoneTable()
        for pinyin, phones in [("zhang3", "zh ang3"), ("wei2", "- ui2"),
                               ("lve4", "l ve4"), ("de5", "d e5"),
                               ("zh", None), ("xx1", None)]:
            self.assertEqual(table.phones(pinyin), phones, pinyin)


class ReadSpeechTonesTest(unittest.TestCase):
    def test_a_clear_majority_of_labels_gives_the_full_tone(self):
        cases = [
            # word, labels, expected with --min-count 5, --min-share 0.8
            ("关系", {"xi4": 30}, "xi4"),
            ("部分", {"fen4": 8, "fen1": 1}, "fen4"),
            ("答应", {"ying4": 4}, None),              # too few
            ("牌子", {"zi3": 9}, None),                # a suffix
            ("觉得", {"de2": 6}, None),                # a particle
            ("弟弟", {"di4": 6}, None),                # reduplicated
            ("萝卜", {"bo5": 3, "bo2": 6}, None),      # not 80 %
        ]
        for word, labels, expected in cases:
            self.assertEqual(rst.full_tone(word, collections.Counter(labels),
                                           5, 0.8), expected, word)


if __name__ == "__main__":
    unittest.main()
