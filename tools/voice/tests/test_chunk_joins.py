import unittest

import numpy as np

from tools.voice import chunk_joins


class ChunkJoinTest(unittest.TestCase):
    def test_phase_jump_sees_a_restarted_source_only(self):
        sr, hz = 24000, 180.0
        t = np.arange(sr // 2) / sr
        voice = lambda t: sum(np.cos(2 * np.pi * h * hz * t) / h for h in range(1, 6))  # noqa
        steady = voice(t)
        p = 6000
        restarted = np.concatenate([steady[:p], voice(t[:len(t) - p] + 0.4 / hz)])
        self.assertLess(abs(chunk_joins.phase_jump(steady, p, hz, sr)), 0.05)
        self.assertAlmostEqual(chunk_joins.phase_jump(restarted, p, hz, sr),
                               np.angle(np.exp(1j * (2 * np.pi * 0.4 - 2 * np.pi * hz * p / sr))),
                               delta=0.1)

    def test_joins_lie_where_the_layouts_blocks_meet(self):
        f0 = np.full(300, 150.0)
        for blocks, joins in (((36, 36), list(range(36, 300, 36))),
                              (chunk_joins.STREAMED_BLOCKS, [36, 136, 236])):
            found, _ = chunk_joins.points(None, f0, blocks=blocks)
            self.assertEqual([p // 300 for p, _ in found], joins)

    def test_every_segment_lays_its_blocks_out_from_where_it_begins(self):
        # Speech, 5000 samples of the tool's silence, speech again.
        x = np.concatenate([np.full(40 * 300, 0.1), np.zeros(5000), np.full(30000, 0.1)])
        starts = chunk_joins.segment_starts(x)
        self.assertEqual(starts, [0, 12000 + 5000])
        f0 = np.full(len(x) // 300, 150.0)
        f0[40:57] = 0.0  # the silence is unvoiced
        found, _ = chunk_joins.points(x, f0, blocks=(36, 100), starts=starts)
        self.assertEqual([p for p, _ in found], [36 * 300, 17000 + 36 * 300])
        # A run of zeros too short for a silence starts nothing.
        self.assertEqual(chunk_joins.segment_starts(np.r_[np.ones(9), np.zeros(59), np.ones(9)]),
                         [0])

    def test_difference_from_whole_is_read_at_joins_and_block_middles(self):
        whole = np.sin(np.arange(200 * 300) * 0.05)
        stepped = whole.copy()
        stepped[72 * 300:] += 0.1  # a step where the second block ends
        got = chunk_joins.difference_from_whole(stepped, whole)
        self.assertEqual((len(got["joins"]), len(got["middles"])), (5, 6))
        # Only the join at frame 72 and the points after it see the step,
        # the join itself half a window of it.
        self.assertLess(got["joins"][0], -100)
        self.assertAlmostEqual(got["joins"][1], 10 * np.log10(0.5 * 0.01 / 0.5), delta=0.5)
        self.assertLess(got["middles"][1], -100)
        self.assertAlmostEqual(got["middles"][2], 10 * np.log10(0.01 / 0.5), delta=0.5)


if __name__ == "__main__":
    unittest.main()
