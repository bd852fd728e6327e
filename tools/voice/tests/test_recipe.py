import os
import random
import types
import unittest

import numpy as np
import torch

from tools.voice import (audio_measures, corpus_text, dataset, eval_measures, export, features,
                         gain_smoothing_eval, import_corpus, phoneset, training)

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))

PHONES_TSV = os.path.join(ROOT, "resources", "dict", "phones.tsv")


class InventoryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.table = phoneset.combined_ids(PHONES_TSV)

    def test_id_table(self):
        ids = sorted(self.table.values())
        self.assertEqual(ids, list(range(1, len(ids) + 1)))
        self.assertEqual(len(ids), 402)
        self.assertIn("sp", self.table)
        self.assertIn("uanr4", self.table)
        self.assertNotIn("err1", self.table)

    def test_generated_table_agrees_when_built(self):
        for build in ("build-voice", "build"):
            path = os.path.join(ROOT, build, "resources", "dict", "phone2id.dict")
            if os.path.exists(path):
                self.assertEqual(phoneset.read_phone2id(path), self.table)
                return
        self.skipTest("no generated phone2id.dict")

    def test_random_utterances_cover_targets_and_avoid_3_3(self):
        inv = phoneset.Inventory(PHONES_TSV, self.table)
        rng = random.Random(3)
        for _ in range(50):
            targets = ["uanr3", "v2", "iii5"]
            phones, pinyin = inv.random_utterance(rng, list(targets), 8)
            ids = inv.ids(phones)
            self.assertTrue(all(i > 0 for i in ids))
            self.assertEqual(phones[-1], "sp")
            finals = [p for p in phones if p[-1] in "12345"]
            self.assertEqual(len(finals), len(pinyin))
            tones = [int(p[-1]) for p in finals]
            self.assertFalse(any(a == 3 and b == 3 for a, b in zip(tones, tones[1:])))
            for target in targets:
                self.assertTrue(any(f[:-1] == target[:-1] for f in finals), target)
            for syl, fin in zip(pinyin, finals):
                self.assertEqual(syl[-1], fin[-1])
                self.assertEqual(syl[:-1] not in inv.syllables, fin[:-1] in inv.erhua)


class CorpusTextTest(unittest.TestCase):
    def test_sentence_filter(self):
        ok = corpus_text.clean_sentence("  请接受这一事实，并保持礼貌 ")
        self.assertEqual(ok, "请接受这一事实，并保持礼貌。")
        for bad in ("短句子", "使用 apt-get 安装软件包的方法", "文件在/usr/share下面的目录",
                    "版本1.2的说明书内容", "一" * 70):
            self.assertIsNone(corpus_text.clean_sentence(bad), bad)

    def test_split(self):
        text = "第一个句子在这里结束。第二个句子也在这里结束！\n太短\n第三个句子没有结尾标点"
        self.assertEqual(corpus_text.split_sentences(text),
                         ["第一个句子在这里结束。", "第二个句子也在这里结束。",
                          "第三个句子没有结尾标点。"])


class ImportTest(unittest.TestCase):
    def test_rescaled_durations_sum_to_the_recording(self):
        for durs, total in (([10, 20, 30], 120), ([3, 0, 5, 1], 50), ([7, 7, 7], 10),
                            ([0, 0], 9)):
            out = import_corpus.rescale(durs, total)
            self.assertEqual(sum(out), total)
            self.assertEqual(len(out), len(durs))
            self.assertTrue(all(d >= 0 for d in out))
        self.assertEqual(import_corpus.rescale([10, 20, 30], 120), [20, 40, 60])


class BatchingTest(unittest.TestCase):
    def test_every_utterance_once_within_budget(self):
        rng = np.random.default_rng(0)
        lengths = rng.integers(50, 900, size=300).tolist()
        batches = dataset.batches_by_frames(lengths, 3000, rng)
        flat = sorted(k for b in batches for k in b)
        self.assertEqual(flat, list(range(300)))
        for b in batches:
            if len(b) > 1:
                self.assertLessEqual(max(lengths[k] for k in b) * len(b), 3000)


class ScheduleTest(unittest.TestCase):
    def test_rate_falls_linearly_over_the_budget_then_stays(self):
        by_steps = types.SimpleNamespace(steps=100, minutes=1.0, final_lr=0.1)
        self.assertAlmostEqual(training.decay(by_steps, 0, 9999), 1.0)
        self.assertAlmostEqual(training.decay(by_steps, 50, 0), 0.55)
        self.assertAlmostEqual(training.decay(by_steps, 500, 0), 0.1)
        # Without a step budget the minutes count.
        by_time = types.SimpleNamespace(steps=0, minutes=2.0, final_lr=0.2)
        self.assertAlmostEqual(training.decay(by_time, 10 ** 6, 60.0), 0.6)
        self.assertAlmostEqual(training.decay(by_time, 0, 1e6), 0.2)


class SourceLogF0Test(unittest.TestCase):
    def test_unvoiced_frames_are_interpolated_and_silence_gets_the_centre(self):
        f0 = np.array([0, 100, 0, 0, 400, 0], dtype=np.float32)
        lf = dataset.source_log_f0(f0, 4.5)
        np.testing.assert_allclose(np.exp(lf), [100, 100, 158.74, 251.98, 400, 400], rtol=1e-3)
        np.testing.assert_array_equal(dataset.source_log_f0(np.zeros(3), 4.5), [4.5] * 3)


class EvaluationHelpersTest(unittest.TestCase):
    def test_warp_to_teacher_durations(self):
        pred = np.arange(10, dtype=np.float32)[:, None].repeat(2, 1)
        out = eval_measures.warp_to(pred, [4, 6], [2, 3])
        self.assertEqual(out.shape, (5, 2))
        self.assertTrue(np.all(out[:2, 0] < 4) and np.all(out[2:, 0] >= 4))
        self.assertTrue(np.all(np.diff(out[:, 0]) > 0))

    def test_slopes_follow_contours(self):
        rising = np.linspace(80, 120, 10)
        falling = rising[::-1]
        f0 = np.concatenate([np.zeros(3), rising, falling, [0, 0, 90]])
        res = eval_measures.syllable_slopes(f0, [3, 10, 10, 3], [0, 2, 4, 1])
        self.assertEqual([t for t, _ in res], [2, 4, 1])
        self.assertGreater(res[0][1], 0)
        self.assertLess(res[1][1], 0)
        self.assertIsNone(res[2][1])  # one voiced frame only

    def test_chunked_vocoding_keeps_300_samples_per_frame(self):
        def fake(mel):  # each frame's samples hold its own first mel value
            return mel[..., 0].repeat_interleave(300, dim=1)
        for frames in (20, 36, 37, 73, 80):
            mel = np.zeros((frames, 80), dtype=np.float32)
            mel[:, 0] = np.arange(frames)
            audio = eval_measures.vocode_chunked(fake, mel)
            self.assertEqual(len(audio), 300 * frames)
            np.testing.assert_array_equal(audio[::300], np.arange(frames))

    def test_chunked_vocoding_hands_each_window_its_own_f0(self):
        class Fake:  # each frame's samples hold the F0 its source was given
            def synthesize(self, mel, f0, phase_in=None, phase_frame=None):
                t = mel.shape[1]
                return (f0.repeat_interleave(300, dim=1), None, torch.zeros(1, t + 1))
        f0 = 100 + np.arange(80, dtype=np.float32)
        audio = eval_measures.vocode_chunked(Fake(), np.zeros((80, 80), np.float32), f0)
        np.testing.assert_array_equal(audio[::300], f0)

    def test_spectral_convergence(self):
        rng = np.random.default_rng(1)
        x = rng.standard_normal(24000).astype(np.float32)
        self.assertAlmostEqual(features.spectral_convergence(x, x), 0.0, places=6)
        self.assertAlmostEqual(features.spectral_convergence(0.5 * x, x), 0.5, places=4)

    def test_fricative_band_kurtosis_tells_noise_from_clicks(self):
        rng = np.random.default_rng(2)
        noise = rng.standard_normal(300 * 30)
        clicks = np.zeros(300 * 30)
        clicks[::120] = 1.0  # a 200 Hz pulse train
        audio = np.concatenate([noise, clicks])
        # The vowel is not measured, nor an initial cut off by the end.
        k = audio_measures.fricative_kurtosis(audio, ["sh", "a1", "x", "s"], [20, 10, 30, 4])
        self.assertEqual(len(k), 2)
        self.assertAlmostEqual(k[0], 3.0, delta=0.3)
        self.assertGreater(k[1], 20.0)


class GainSmoothingTest(unittest.TestCase):
    def test_export_width_per_voice(self):
        for voice, given, want in (("default", None, 9), ("diphone", None, 1),
                                   ("diphone", 5, 5), ("default", 4, None), ("default", 0, None)):
            if want is None:
                self.assertRaises(ValueError, export.synthesis_gain_smoothing, voice, given)
            else:
                self.assertEqual(export.synthesis_gain_smoothing(voice, given), want, voice)

    def test_least_convergence_that_keeps_the_pitch(self):
        def m(sc, corr):
            return {"spectral_convergence": sc, "teacher_slope_corr": corr}
        for widths, want in (({1: m(0.28, 0.99), 9: m(0.51, 0.98)}, 1),
                             ({1: m(0.28, 0.80), 5: m(0.39, 0.96), 9: m(0.51, 0.98)}, 5),
                             ({1: m(0.28, None), 9: m(0.51, 0.90)}, None)):
            self.assertEqual(gain_smoothing_eval.choose(widths, 0.95), want)


if __name__ == "__main__":
    unittest.main()
