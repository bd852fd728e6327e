"""Tests of the gold-set scorer's alignment and counting (made-up cases)."""

import io
import os
import re
import stat
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import score_gold as sg  # noqa: E402


def syl(text):
    return text.split()


class ToneStripping(unittest.TestCase):
    def test_toneless_drops_only_the_final_digit(self):
        self.assertEqual(sg.toneless("hao3"), "hao")
        self.assertEqual(sg.toneless("huir4"), "huir")
        self.assertEqual(sg.toneless("de5"), "de")
        self.assertEqual(sg.toneless("lv4"), "lv")
        self.assertEqual(sg.toneless("m"), "m")


class Alignment(unittest.TestCase):
    def test_equal_length_is_positional(self):
        pairs = sg.align(syl("ni2 hao3 ma5"), syl("ni3 hao3 ma1"))
        self.assertEqual(pairs, [("ni2", "ni3"), ("hao3", "hao3"), ("ma5", "ma1")])

    def test_equal_length_does_not_realign_shifted_syllables(self):
        # Same length: a shift is scored as three substitutions, not realigned.
        pairs = sg.align(syl("a1 b1 c1"), syl("b1 c1 d1"))
        self.assertEqual(pairs, [("a1", "b1"), ("b1", "c1"), ("c1", "d1")])

    def test_deletion(self):
        pairs = sg.align(syl("ni3 men5 hao3"), syl("ni3 hao3"))
        self.assertEqual(pairs, [("ni3", "ni3"), ("men5", None), ("hao3", "hao3")])

    def test_insertion_is_marked_with_none_expected(self):
        pairs = sg.align(syl("yi2 huir4"), syl("yi2 hui4 er2"))
        self.assertEqual(pairs[0], ("yi2", "yi2"))
        self.assertEqual(len([p for p in pairs if p[0] is None]), 1)

    def test_alignment_ignores_tones_when_matching(self):
        pairs = sg.align(syl("wo3 men5 zou3 le5"), syl("wo2 zou3 le5"))
        self.assertIn(("zou3", "zou3"), pairs)
        self.assertIn(("le5", "le5"), pairs)
        self.assertIn(("wo3", "wo2"), pairs)
        self.assertIn(("men5", None), pairs)


class ErrorCounting(unittest.TestCase):
    def test_tone_errors_only_count_with_tone(self):
        pairs = sg.align(syl("bu2 pa4"), syl("bu4 pa4"))
        self.assertEqual(sg.error_count(pairs, with_tone=False), 0)
        self.assertEqual(sg.error_count(pairs, with_tone=True), 1)

    def test_insertions_and_deletions_count(self):
        pairs = sg.align(syl("a1 b2 c3 d4"), syl("a1 c3 d4 e1 f1"))
        # b2 deleted, e1 and f1 inserted
        self.assertEqual(sg.error_count(pairs, with_tone=False), 3)


class TallyCounting(unittest.TestCase):
    def test_perfect_sentence(self):
        t = sg.Tally()
        t.add(syl("ni2 hao3"), syl("ni2 hao3"), failed=False)
        self.assertEqual((t.syllables, t.bare_ok, t.tone_ok, t.exact_sentences),
                         (2, 2, 2, 1))
        self.assertEqual(t.tone_accuracy(), 1.0)

    def test_tone_only_error(self):
        t = sg.Tally()
        t.add(syl("ni2 hao3"), syl("ni3 hao3"), failed=False)
        self.assertEqual((t.bare_ok, t.tone_ok, t.exact_sentences), (2, 1, 0))

    def test_failed_sentence_counts_all_syllables_wrong(self):
        t = sg.Tally()
        t.add(syl("a1 b1 c1"), [], failed=True)
        t.add(syl("d1"), syl("d1"), failed=False)
        self.assertEqual((t.sentences, t.failed, t.syllables), (2, 1, 4))
        self.assertEqual((t.bare_ok, t.tone_ok), (1, 1))
        self.assertAlmostEqual(t.toneless_accuracy(), 0.25)

    def test_insertions_lower_accuracy_but_not_below_zero(self):
        t = sg.Tally()
        t.add(syl("a1 b1"), syl("a1 b1 x1"), failed=False)
        self.assertEqual(t.bare_ok, 1)
        t2 = sg.Tally()
        t2.add(syl("a1"), syl("x1 y1 z1"), failed=False)
        self.assertEqual(t2.bare_ok, 0)

    def test_empty_output_counts_as_deletions(self):
        t = sg.Tally()
        t.add(syl("a1 b1"), [], failed=False)
        self.assertEqual((t.bare_ok, t.tone_ok), (0, 0))


class GoldLoading(unittest.TestCase):
    def write(self, text):
        fd, path = tempfile.mkstemp(suffix=".tsv")
        with os.fdopen(fd, "w", encoding="utf-8") as handle:
            handle.write(text)
        self.addCleanup(os.unlink, path)
        return path

    def test_categories_comments_and_blank_lines(self):
        path = self.write("# comment\n\n你好。\tni2 hao3\tsandhi3\n不怕。\tbu2  pa4\n")
        items = sg.load_gold(path)
        self.assertEqual([(i[1], i[2], i[3]) for i in items],
                         [("你好。", ["ni2", "hao3"], "sandhi3"),
                          ("不怕。", ["bu2", "pa4"], None)])
        self.assertEqual(items[0][0], 3)

    def test_bad_field_count_is_rejected(self):
        path = self.write("你好。\n")
        with self.assertRaises(sg.GoldError):
            sg.load_gold(path)


FAKE_TOOL = r'''#!/usr/bin/env python3
import os, sys
path = sys.argv[sys.argv.index("--file") + 1]
answers = {"你好。": "ni2 hao3", "不怕。": "bu4 pa4", "坏。": "ERROR: refused",
           "环境": os.environ.get("TOLVAREN_TTS_CONF", "none")}
for line in open(path, encoding="utf-8"):
    if line.startswith("少"):
        continue
    print(answers.get(line.rstrip("\n"), "x1"))
'''


class EndToEnd(unittest.TestCase):
    """Runs main() against a stand-in tool written by the test."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.tool = os.path.join(self.dir.name, "fake_front")
        with open(self.tool, "w") as handle:
            handle.write(FAKE_TOOL)
        os.chmod(self.tool, os.stat(self.tool).st_mode | stat.S_IXUSR)
        self.gold = os.path.join(self.dir.name, "gold.tsv")
        with open(self.gold, "w", encoding="utf-8") as handle:
            handle.write("你好。\tni2 hao3\tsandhi3\n"
                         "不怕。\tbu2 pa4\tbu\n"
                         "坏。\thuai4\tgeneral\n"
                         "环境\tconf1\tgeneral\n")

    def run_main(self, *extra):
        out = io.StringIO()
        old = sys.stdout
        sys.stdout = out
        try:
            code = sg.main(["--tool", self.tool, "--gold", self.gold,
                            "--conf", "conf1"] + list(extra))
        finally:
            sys.stdout = old
        return code, out.getvalue()

    def test_report_and_thresholds(self):
        code, text = self.run_main("--show-errors")
        self.assertEqual(code, 0)
        # 6 syllables: ni2 hao3 (2 ok), bu2 pa4 (toneless 2, tone 1),
        # huai4 (failed), conf1 (ok, proves --conf reaches the tool)
        self.assertIn("sentences:                  4", text)
        self.assertIn("failed in the front end:    1", text)
        self.assertIn("(5/6)", text)
        self.assertIn("(4/6)", text)
        self.assertIn("bu2->bu4", text)
        self.assertIn("ERROR: refused", text)
        self.assertRegex(text, r"bu\s+1\s+0\s+2\s+100\.00%\s+50\.00%")

        self.assertEqual(self.run_main("--min-toneless", "0.8", "--min-tone", "60")[0], 0)
        self.assertEqual(self.run_main("--min-tone", "0.7")[0], 1)
        self.assertEqual(self.run_main("--min-toneless", "90")[0], 1)

    def test_missing_output_line_is_unusable(self):
        with open(self.gold, "a", encoding="utf-8") as handle:
            handle.write("少。\tshao3\n")
        err = io.StringIO()
        old = sys.stderr
        sys.stderr = err
        try:
            code, _ = self.run_main()
        finally:
            sys.stderr = old
        self.assertEqual(code, 2)
        self.assertIn("printed 4 lines for 5 sentences", err.getvalue())

    def test_tool_that_cannot_run(self):
        err = io.StringIO()
        old = sys.stderr
        sys.stderr = err
        try:
            code = sg.main(["--tool", os.path.join(self.dir.name, "missing"),
                            "--gold", self.gold])
        finally:
            sys.stderr = old
        self.assertEqual(code, 2)
        self.assertIn("cannot run", err.getvalue())


SYLLABLE = re.compile(r"^[a-z]+[1-5]$")


class ShippedGoldChecks:
    """Consistency checks on a shipped gold file (PATH, CATEGORIES)."""

    @classmethod
    def setUpClass(cls):
        cls.items = sg.load_gold(cls.PATH)

    def test_size_and_categories(self):
        self.assertGreaterEqual(len(self.items), 300)
        for number, sentence, syllables, category in self.items:
            self.assertIn(category, self.CATEGORIES, "line %d" % number)
        self.assertEqual({it[3] for it in self.items}, self.CATEGORIES)
        sentences = [it[1] for it in self.items]
        self.assertEqual(len(sentences), len(set(sentences)), "duplicate sentence")

    def test_sentences_avoid_refused_and_latin_characters(self):
        for number, sentence, _, _ in self.items:
            self.assertIsNone(re.search(r"[A-Za-z./\\<>]", sentence),
                              "line %d: %s" % (number, sentence))

    def test_syllables_are_numbered_pinyin(self):
        for number, sentence, syllables, _ in self.items:
            for s in syllables:
                self.assertRegex(s, SYLLABLE, "line %d: %s" % (number, sentence))
                self.assertNotIn("u:", s)

    def test_one_syllable_per_character_without_digits(self):
        # Each Han character is one syllable, except an erhua 儿 merged into
        # the previous syllable (written syllable + r, e.g. huir4, nar3).
        for number, sentence, syllables, _ in self.items:
            if re.search(r"[0-9]", sentence):
                continue
            han = len(re.findall(r"[\u4e00-\u9fff]", sentence))
            merged = sum(1 for s in syllables
                         if s[:-1].endswith("r") and s[:-1] != "er")
            self.assertEqual(len(syllables) + merged, han,
                             "line %d: %s" % (number, sentence))


class ShippedGoldFile(ShippedGoldChecks, unittest.TestCase):
    PATH = sg.DEFAULT_GOLD
    CATEGORIES = {"polyphone", "yi", "bu", "sandhi3", "neutral", "erhua",
                  "number", "general"}


class HeldOutGoldFile(ShippedGoldChecks, unittest.TestCase):
    PATH = os.path.join(sg.HERE, "heldout_pinyin.tsv")
    CATEGORIES = {"news", "narrative", "everyday"}


if __name__ == "__main__":
    unittest.main()
