"""Tests of the everyday scorer (made-up items, a stand-in tool) and checks
on the shipped everyday set."""

import io
import os
import re
import stat
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import score_everyday as se  # noqa: E402
import score_gold as sg  # noqa: E402

# Prints a fixed pinyin for each line it is given, as the real tool would
# for these texts: "2张" is misread as er4, "两张" and "二张" are what they
# say, "坏" fails.
FAKE_TOOL = r"""#!/usr/bin/env python3
import sys
mode, path = sys.argv[1], sys.argv[-1]
said = {"2张": "er4 zhang1", "两张": "liang3 zhang1", "二张": "er4 zhang1",
        "九点": "jiu3 dian3", "9:00": "jiu3 dian3", "九点整": "jiu3 dian3 zheng3",
        "2号": "er2 hao4", "二号": "er4 hao4"}
for line in open(path, encoding="utf-8").read().splitlines():
    if line == "坏":
        print("ERROR: refused")
    elif mode == "--normalized":
        print("N:" + line)
    else:
        print(said.get(line, "x1"))
"""


class EverydayScoring(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.tool = os.path.join(self.dir.name, "fake_front")
        with open(self.tool, "w") as handle:
            handle.write(FAKE_TOOL)
        os.chmod(self.tool, os.stat(self.tool).st_mode | stat.S_IXUSR)
        self.set = os.path.join(self.dir.name, "set.tsv")
        with open(self.set, "w", encoding="utf-8") as handle:
            handle.write("# comment\n\n"
                         "2张\t两张\tliang\n"          # wrong
                         "9:00\t九点|九点整\ttime\n"   # right, second form
                         "2号\t二号\tliang\n"          # right without tone
                         "坏\t九点\ttime\n")           # failed

    def run_main(self, *extra):
        out, old = io.StringIO(), sys.stdout
        sys.stdout = out
        try:
            code = se.main(["--tool", self.tool, "--set", self.set] + list(extra))
        finally:
            sys.stdout = old
        return code, out.getvalue()

    def test_report_by_kind(self):
        code, text = self.run_main("--show-errors")
        self.assertEqual(code, 0)
        self.assertRegex(text, r"liang\s+2\s+0\s+0\s+0\.00%\s+1\s+50\.00%")
        self.assertRegex(text, r"time\s+2\s+1\s+1\s+50\.00%\s+1\s+50\.00%")
        self.assertRegex(text, r"overall\s+4\s+1\s+1\s+25\.00%\s+2\s+50\.00%")
        self.assertIn("normalised: N:2张", text)
        self.assertIn("expected:   liang3 zhang1", text)

    def test_thresholds(self):
        self.assertEqual(self.run_main("--min-overall", "25")[0], 0)
        self.assertEqual(self.run_main("--min-overall", "0.3")[0], 1)
        self.assertEqual(self.run_main("--min-kind", "50")[0], 1)

    def test_failing_spoken_form_is_unusable(self):
        with open(self.set, "a", encoding="utf-8") as handle:
            handle.write("9:00\t坏\ttime\n")
        err, old = io.StringIO(), sys.stderr
        sys.stderr = err
        try:
            code, _ = self.run_main()
        finally:
            sys.stderr = old
        self.assertEqual(code, 2)
        self.assertIn("spoken form 坏 failed", err.getvalue())

    def test_malformed_lines_are_refused(self):
        for bad in ("2张\t两张\n", "2张\t两张|\tliang\n", "\t两张\tliang\n"):
            with open(self.set, "w", encoding="utf-8") as handle:
                handle.write(bad)
            with self.assertRaises(sg.GoldError):
                se.load_items(self.set)


class ShippedEverydaySet(unittest.TestCase):
    KINDS = {"liang", "years", "digits", "phone", "date", "time", "money",
             "unit", "math", "score", "web"}

    @classmethod
    def setUpClass(cls):
        cls.items = se.load_items(se.DEFAULT_SET)

    def test_size_and_kinds(self):
        self.assertGreaterEqual(len(self.items), 300)
        self.assertEqual({it.kind for it in self.items}, self.KINDS)
        for kind in self.KINDS:
            self.assertGreaterEqual(sum(it.kind == kind for it in self.items), 20, kind)
        written = [it.written for it in self.items]
        self.assertEqual(len(written), len(set(written)), "duplicate written form")

    def test_spoken_forms_have_no_digits_or_signs(self):
        # What is said is written out: no digit and no sign is left to read.
        for it in self.items:
            for spoken in it.spoken:
                self.assertIsNone(re.search(r"[0-9./:@%$¥€£+=×÷\-]", spoken),
                                  "line %d: %s" % (it.number, spoken))


if __name__ == "__main__":
    unittest.main()
