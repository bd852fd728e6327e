import os
import tempfile
import unittest

import numpy as np

from tools.voice import build_corpus, contract, dataset, phoneset

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))

PHONES_TSV = os.path.join(ROOT, "resources", "dict", "phones.tsv")
HAVE_ESPEAK = any(os.path.exists(p) for p in ("/usr/lib/x86_64-linux-gnu/libespeak-ng.so.1",
                                                "/usr/lib/aarch64-linux-gnu/libespeak-ng.so.1",
                                                "/usr/lib/libespeak-ng.so.1"))


def fake_item(n_phones, frames, text):
    ids = list(range(1, n_phones + 1))
    durs = [frames // n_phones] * n_phones
    durs[-1] += frames - sum(durs)
    return {"text": text, "phones": ["sp"] * n_phones, "ids": ids, "durs": durs,
            "mel": np.full((frames, 80), len(text), np.float32),
            "f0": np.full(frames, 100.0, np.float32),
            "audio": np.full(frames * 300, 7, np.int16)}


def tone_item(hz, frames, text):
    item = fake_item(2, frames, text)
    t = np.arange(frames * 300) / contract.SAMPLE_RATE
    item["audio"] = np.round(8000 * np.sin(2 * np.pi * hz * t)).astype(np.int16)
    item["f0"] = np.zeros(frames, np.float32)  # stale: to be recomputed
    return item


class RecomputeF0Test(unittest.TestCase):
    def test_f0_comes_from_each_utterances_own_audio(self):
        from tools.voice import recompute_f0
        with tempfile.TemporaryDirectory() as tmp:
            for name in ("train.npz", "test.npz"):
                build_corpus.save(os.path.join(tmp, name),
                                  [tone_item(100.0, 20, "a"), tone_item(200.0, 30, "bb")])
            recompute_f0.recompute(os.path.join(tmp, "train.npz"), jobs=1)
            corpus = dataset.Corpus(os.path.join(tmp, "train.npz"))
            self.assertFalse(os.path.exists(os.path.join(tmp, "train.npz.tmp.npz")))
        self.assertEqual(len(corpus.f0), 50)
        np.testing.assert_allclose(corpus.utt(0)["f0"][4:-4], 100.0, rtol=0.02)
        np.testing.assert_allclose(corpus.utt(1)["f0"][4:-4], 200.0, rtol=0.02)
        self.assertEqual(corpus.text, ["a", "bb"])
        self.assertTrue((corpus.utt(1)["mel"] == 2).all())


class SaveLoadTest(unittest.TestCase):
    def test_round_trip_keeps_utterances_apart(self):
        items = [fake_item(3, 10, "a"), fake_item(5, 23, "bb"), fake_item(1, 4, "ccc")]
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "x.npz")
            build_corpus.save(path, items)
            corpus = dataset.Corpus(path)
        self.assertEqual(len(corpus), 3)
        for k, item in enumerate(items):
            u = corpus.utt(k)
            self.assertEqual(u["ids"].tolist(), item["ids"])
            self.assertEqual(u["durs"].tolist(), item["durs"])
            self.assertEqual(u["mel"].shape, item["mel"].shape)
            self.assertTrue((u["mel"] == len(item["text"])).all())
            self.assertEqual(len(corpus.audio_of(k)), 300 * len(item["mel"]))
            self.assertEqual(corpus.text[k], item["text"])

    def test_concatenated_corpora_keep_every_utterance(self):
        first = [fake_item(3, 10, "a"), fake_item(5, 23, "bb")]
        second = [fake_item(1, 4, "ccc")]
        with tempfile.TemporaryDirectory() as tmp:
            paths = [os.path.join(tmp, n) for n in ("1.npz", "2.npz", "all.npz")]
            build_corpus.save(paths[0], first)
            build_corpus.save(paths[1], second)
            dataset.concatenate(paths[:2], paths[2])
            corpus = dataset.Corpus(paths[2])
        self.assertEqual(corpus.text, ["a", "bb", "ccc"])
        for k, item in enumerate(first + second):
            self.assertEqual(corpus.utt(k)["ids"].tolist(), item["ids"])
            self.assertTrue((corpus.utt(k)["mel"] == len(item["text"])).all())
            self.assertEqual(len(corpus.audio_of(k)), 300 * len(item["mel"]))

    def test_pitch_target_normalises_and_fills(self):
        f0 = np.array([0, 100, 0, 200, 0], np.float32)
        t = dataset.pitch_target(f0, (np.log(100), 2.0))
        self.assertAlmostEqual(float(t[1]), 0.0, places=5)
        self.assertAlmostEqual(float(t[3]), np.log(2) / 2, places=5)
        self.assertAlmostEqual(float(t[0]), 0.0, places=5)
        self.assertTrue((dataset.pitch_target(np.zeros(4), (4.5, 1.0)) == 0).all())


@unittest.skipUnless(HAVE_ESPEAK, "libespeak-ng is not installed")
class RenderTest(unittest.TestCase):
    def test_one_utterance_through_the_teacher(self):
        inv = phoneset.Inventory(PHONES_TSV, phoneset.combined_ids(PHONES_TSV))
        phones = ["n", "i3", "h", "ao3", "sp", "sh", "iii4", "j", "ie4"]
        item = {"text": "你好，世界", "phones": phones,
                "pinyin": ["ni2", "hao3", "shi4", "jie4"], "ids": inv.ids(phones)}
        for prosody, want_phones in [("espeak", phones),
                                     ("model", phones + ["sp"])]:  # a final pause added
            build_corpus._init_worker(inv, prosody)
            out, = build_corpus.render_batch([item])
            self.assertIsNotNone(out, prosody)
            frames = len(out["mel"])
            self.assertEqual(out["phones"], want_phones)
            self.assertEqual(sum(out["durs"]), frames)
            self.assertEqual(len(out["durs"]), len(want_phones))
            self.assertEqual(len(out["audio"]), frames * contract.HOP)
            self.assertEqual(len(out["f0"]), frames)
            # Every syllable's final is sounded, and voiced somewhere.
            start = 0
            for p, d in zip(want_phones, out["durs"]):
                if p[-1] in "1234":
                    self.assertGreater(d, 2, (prosody, p))
                    self.assertTrue((out["f0"][start:start + d] > 0).any(), (prosody, p))
                start += d
        # The reshaped teacher: the comma's pause as the model says, and a
        # silent end after the last syllable.
        model = build_corpus._model
        self.assertAlmostEqual(out["durs"][4] * contract.FRAME_MS,
                               model["pauses_ms"]["，"], delta=2 * contract.FRAME_MS)
        tail = out["durs"][-1] * contract.HOP
        self.assertGreaterEqual(tail, 0.25 * contract.SAMPLE_RATE)
        # Silent but for the resampler's ringing after the decay.
        self.assertLess(np.abs(out["audio"][-tail:]).max(), 33)

    def test_mismatched_pinyin_is_skipped(self):
        inv = phoneset.Inventory(PHONES_TSV, phoneset.combined_ids(PHONES_TSV))
        item = {"text": "t", "phones": ["n", "i3", "sp"], "pinyin": ["ni3", "hao3"],
                "ids": [1, 2, 3]}
        for prosody in ["espeak", "model"]:
            build_corpus._init_worker(inv, prosody)
            self.assertEqual(build_corpus.render_batch([item]), [None], prosody)


if __name__ == "__main__":
    unittest.main()
