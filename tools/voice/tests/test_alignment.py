import os
import unittest

from tools.voice import espeak_driver as ed

INITIALS = {"j", "t", "h", "n"}


class SyllableTest(unittest.TestCase):
    def test_grouping(self):
        units = ed.syllables_of(["j", "in1", "t", "ian1", "sp", "an4", "sp"], INITIALS)
        self.assertEqual(units, [("j", "in1"), ("t", "ian1"), ("sp",), ("an4",), ("sp",)])

    def test_initial_without_final_is_refused(self):
        for phones in (["j"], ["j", "sp"], ["j", "t", "ian1"]):
            with self.assertRaises(ValueError):
                ed.syllables_of(phones, INITIALS)

    def test_teacher_text(self):
        units = [("j", "in1"), ("sp",), ("an4",)]
        self.assertEqual(ed.teacher_text(units, ["jin1", "an4"]), "jin1 ， an4")
        with self.assertRaises(ValueError):
            ed.teacher_text(units, ["jin1"])
        with self.assertRaises(ValueError):
            ed.teacher_text(units, ["jin1", "an4", "hao3"])


class AlignTest(unittest.TestCase):
    # Event stream as the library reports it for "jin1 an4 ， hao3 ，".
    EVENTS = [("word", 0, 4), ("phoneme", 38, "tS;"), ("phoneme", 118, "i"),
              ("phoneme", 243, "n"), ("phoneme", 333, "_|"),
              ("word", 333, 3), ("phoneme", 333, "a"), ("phoneme", 400, "n"),
              ("phoneme", 480, "_|"), ("phoneme", 480, "_:"), ("phoneme", 630, "_"),
              ("word", 630, 4), ("phoneme", 640, "X"), ("phoneme", 745, "Au"),
              ("phoneme", 900, "_|"), ("phoneme", 900, "_:"),
              ("word", 910, 0), ("phoneme", 910, "_")]
    UNITS = [("j", "in1"), ("an4",), ("sp",), ("h", "ao3"), ("sp",)]

    def test_starts(self):
        starts, n_sp = ed.align(self.UNITS, self.EVENTS)
        self.assertEqual(n_sp, 2)
        self.assertEqual(starts, [0, 118, 333, 480, 630, 745, 900])

    def test_word_count_mismatch_is_refused(self):
        with self.assertRaises(ValueError):
            ed.align(self.UNITS[:2], self.EVENTS)

    def test_missing_pause_event_takes_next_start(self):
        events = [e for e in self.EVENTS if not (e[2] == "_:" and e[1] == 480)]
        starts, _ = ed.align(self.UNITS, events)
        self.assertEqual(starts[3], starts[4])

    def test_durations_sum_to_frames(self):
        starts, _ = ed.align(self.UNITS, self.EVENTS)
        total = 74  # 925 ms of audio
        durs = ed.durations_in_frames(starts, total, 12.5)
        self.assertEqual(sum(durs), total)
        self.assertEqual(len(durs), len(starts))
        self.assertEqual(durs[:3], [9, 18, 11])  # bounds 0, 9, 27, 38 frames
        self.assertTrue(all(d >= 0 for d in durs))

    def test_durations_with_out_of_order_and_late_starts(self):
        durs = ed.durations_in_frames([5, 40, 30, 2000], 100, 12.5)
        self.assertEqual(sum(durs), 100)
        self.assertTrue(all(d >= 0 for d in durs))
        self.assertEqual(durs[-1], 0)


@unittest.skipUnless(os.path.exists("/usr/lib/x86_64-linux-gnu/libespeak-ng.so.1")
                     or os.path.exists("/usr/lib/libespeak-ng.so.1"),
                     "libespeak-ng is not installed")
class TeacherTest(unittest.TestCase):
    def test_render_and_align(self):
        teacher = ed.Teacher()
        units = [("j", "in1"), ("t", "ian1"), ("sp",), ("h", "ao3"), ("sp",)]
        pcm, events = teacher.render(ed.teacher_text(units, ["jin1", "tian1", "hao3"]))
        seconds = len(pcm) / 2 / teacher.sample_rate
        self.assertGreater(seconds, 0.5)
        starts, _ = ed.align(units, events)
        self.assertEqual(len(starts), 8)
        self.assertEqual(starts, sorted(starts))
        self.assertLess(starts[-1], seconds * 1000)


if __name__ == "__main__":
    unittest.main()
