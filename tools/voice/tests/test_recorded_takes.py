"""A recorded take's checks and its alignment."""
import itertools
import unittest

import numpy as np

from tools.voice import (hmm_align, intonation, syllable_teacher, syllable_units, take_quality,
                         teacher_prosody, tone_check, word_scores)

RATE = 24000


def take(word_s=(0.4, 0.9), length_s=1.3, noise_db=-70.0, click_at=None, seed=0):
    """Noise at noise_db below a 0 dB vowel-like word; optional 10 ms click."""
    rng = np.random.default_rng(seed)
    t = np.arange(int(length_s * RATE)) / RATE
    x = rng.normal(0, 10 ** (noise_db / 20), len(t))
    a, b = (min(len(t), int(s * RATE)) for s in word_s)
    x[a:b] += np.sin(2 * np.pi * 220 * t[a:b]) * np.hanning(b - a) ** 0.2
    if click_at is not None:
        c = int(click_at * RATE)
        x[c:c + 240] += 0.5 * rng.normal(0, 1, 240)
    return x.astype(np.float32)


class AssessTest(unittest.TestCase):
    def test_reasons(self):
        rows = [
            ("clean word", take(), None),
            ("room noise 20 dB below the word", take(noise_db=-20), "noisy"),
            ("word running into the file's end", take(word_s=(0.6, 1.6), length_s=1.3),
             "cut at the end"),
            ("one syllable of 60 ms", take(word_s=(0.5, 0.56)), "too short"),
        ]
        for name, audio, reason in rows:
            with self.subTest(name):
                self.assertEqual(take_quality.assess(audio, RATE, 1)[0], reason)

    def test_click_apart_from_the_word_is_left_out(self):
        _, span = take_quality.assess(take(click_at=0.1), RATE, 1)
        self.assertGreater(span[0], 0.3 * RATE)
        self.assertLess(span[1], 0.95 * RATE)

    def test_level(self):
        y = take_quality.level(take() * 0.01, RATE)
        db = take_quality.frame_db(y, RATE)
        loud = db > db.max() - take_quality.SPEECH_DB
        self.assertAlmostEqual(10 * np.log10(np.mean(10 ** (db[loud] / 10))), -20.0, delta=0.5)


class BestPathTest(unittest.TestCase):
    def brute(self, ll):
        s, t = ll.shape
        best, arg = -np.inf, None
        for cuts in itertools.combinations(range(1, t), s - 1):
            counts = np.diff([0, *cuts, t])
            owner = np.repeat(np.arange(s), counts)
            score = ll[owner, np.arange(t)].sum()
            if score > best:
                best, arg = score, counts
        return arg

    def test_matches_every_path_tried(self):
        rng = np.random.default_rng(4)
        for s, t in [(1, 4), (2, 2), (3, 7), (4, 9)]:
            with self.subTest(states=s, frames=t):
                ll = rng.normal(size=(s, t))
                np.testing.assert_array_equal(hmm_align.best_path(ll), self.brute(ll))

    def test_states_of_a_take(self):
        table = hmm_align.StateTable({"g"})
        ids, per_phone = table.states(["g", "uan1", "uan3", "sp"])
        self.assertEqual(per_phone, [2, 3, 3, 1])
        # The tone is pooled, a final without an initial has its own states.
        again, _ = table.states(["g", "uan4"])
        np.testing.assert_array_equal(again, ids[:5])
        self.assertEqual(len(set(ids[2:5]) & set(ids[5:8])), 0)

    def test_too_few_frames(self):
        with self.assertRaises(ValueError):
            hmm_align.best_path(np.zeros((3, 2)))

    def test_training_finds_a_boundary_the_flat_start_misses(self):
        # Two phones of 2 and 1 states; phone a lasts 30 frames, b 10.
        rng = np.random.default_rng(1)
        utts, truth = [], []
        for k in range(20):
            na = 25 + k % 10
            frames = np.concatenate([rng.normal(0, 0.3, (na, 2)),
                                     rng.normal(3, 0.3, (10, 2))])
            utts.append((frames, np.array([0, 1, 2])))
            truth.append(na)
        _, _, paths, _ = hmm_align.train(utts, 3, iterations=4)
        for path, na in zip(paths, truth):
            self.assertEqual(hmm_align.phone_durations(path, [2, 1]), [na, 10])


class ToneTest(unittest.TestCase):
    MEDIAN = 250.0

    def contour(self, start_st, end_st, low_st=None, frames=20):
        if low_st is None:
            st = np.linspace(start_st, end_st, frames)
        else:
            half = frames // 2
            st = np.concatenate([np.linspace(start_st, low_st, half),
                                 np.linspace(low_st, end_st, frames - half)])
        return self.MEDIAN * 2 ** (st / 12)

    def test_each_tone_heard_only_as_itself(self):
        shapes = {1: self.contour(4, 4), 2: self.contour(-1, 4),
                  3: self.contour(-1, -1, low_st=-6), 4: self.contour(5, -4)}
        for said, f0 in shapes.items():
            for tone in (1, 2, 3, 4):
                with self.subTest(said=said, tone=tone):
                    self.assertEqual(tone_check.fits(f0, tone, self.MEDIAN), said == tone)

    def test_untested(self):
        self.assertIsNone(tone_check.fits(self.contour(0, 0), 5, self.MEDIAN))
        self.assertIsNone(tone_check.fits(self.contour(4, 4, frames=3), 1, self.MEDIAN))


if __name__ == "__main__":
    unittest.main()


class SentenceFromSyllablesTest(unittest.TestCase):
    def test_syllables_of_take(self):
        phones = ["x", "iang1", "i4", "sp"]
        self.assertEqual(syllable_units.syllables_of_take(phones, [10, 20, 15, 12]),
                         [("x", "iang1", 0, 10, 30), (None, "i4", 30, 30, 45)])
        with self.assertRaises(ValueError):
            syllable_units.syllables_of_take(["x", "sp"], [3, 4])

    def test_stretched_phones_end_where_planned(self):
        # Planned: lead 50 ms in the first phone, then an initial, a final,
        # a pause; the recorded pieces are longer or shorter than planned.
        Phone = intonation.Phone
        phones = [Phone("initial", 0.0, 112.5), Phone("final", 112.5, 300.0, ((112.5, 200.0),)),
                  Phone("pause", 300.0, 550.0)]
        spans = [(50.0, 180.0), (180.0, 520.0), (520.0, 770.0)]
        pitch, duration = syllable_teacher.tiers(phones, spans, 50.0)
        for ph, (a, b) in zip(phones, spans):
            self.assertAlmostEqual(teacher_prosody.stretched(b, duration), ph.end, delta=0.5)
        self.assertEqual(pitch, [(180.0, 200.0)])


class WordScoresTest(unittest.TestCase):
    def tone(self, seconds, f0_from, f0_to, bright=1.0):
        """A gliding harmonic tone between silences."""
        n = int(seconds * RATE)
        f0 = np.linspace(f0_from, f0_to, n)
        phase = 2 * np.pi * np.cumsum(f0) / RATE
        y = sum(bright ** k * np.sin(k * phase) / k for k in range(1, 12))
        pad = np.zeros(int(0.2 * RATE))
        return np.concatenate([pad, 0.2 * y * np.hanning(n) ** 0.1, pad]).astype(np.float32)

    def test_measures(self):
        word = self.tone(0.5, 200, 300)
        same = word_scores.compare(word, word)
        self.assertAlmostEqual(same["mcd"], 0.0, places=6)
        self.assertAlmostEqual(same["duration_ratio"], 1.0)
        slow = word_scores.compare(self.tone(1.0, 200, 300), word)
        self.assertAlmostEqual(slow["duration_ratio"], 2.0, delta=0.1)
        pairs = np.array(slow["f0_pairs"])
        self.assertGreater(np.corrcoef(pairs.T)[0, 1], 0.95)  # the glide, warped
        dull = word_scores.compare(self.tone(0.5, 200, 300, bright=0.3), word)
        self.assertGreater(dull["mcd"], slow["mcd"] + 1.0)
