import os
import tempfile
import types
import unittest

import numpy as np

from tools.voice import build_corpus, build_diphone_corpus as bdc


def fake_item(k):
    n = 3 + k % 4  # frames
    return {"text": f"t{k}", "phones": ["m", "a1", "sp"], "ids": [1, 2 + k, 3],
            "durs": [1, n - 2, 1], "mel": np.full((n, 80), k, np.float32),
            "f0": np.full(n, 100.0 + k, np.float32),
            "audio": np.full(n * 300, k, np.int16)}


class FakePool:
    """Stands in for the worker pool: 'renders' an item by filling it in."""
    def __init__(self):
        self.rendered = []

    def imap(self, _fn, items, _chunk):
        for item in items:
            self.rendered.append(item["k"])
            yield fake_item(item["k"]), None


class ShardTest(unittest.TestCase):
    def test_resumed_shards_merge_to_the_whole_set(self):
        items = [{"k": k} for k in range(7)]
        with tempfile.TemporaryDirectory() as out:
            os.makedirs(os.path.join(out, "shards"))
            args = types.SimpleNamespace(out=out, shard_size=3, limit=2)
            pool = FakePool()
            self.assertEqual(bdc.render_shards("train", items, args, pool), (1, 3))
            args.limit = None
            self.assertEqual(bdc.render_shards("train", items, args, pool), (3, 3))
            self.assertEqual(pool.rendered, list(range(7)))  # none twice
            merged = bdc.merge("train", 3, out)
            whole = os.path.join(out, "whole.npz")
            build_corpus.save(whole, [fake_item(k) for k in range(7)])
            with np.load(whole) as want:
                for key in want.files:
                    np.testing.assert_array_equal(merged[key], want[key], key)


if __name__ == "__main__":
    unittest.main()
