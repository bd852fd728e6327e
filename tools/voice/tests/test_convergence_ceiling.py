import unittest

import numpy as np
import torch

from tools.voice import convergence_ceiling as cc
from tools.voice import contract, vocoders

torch.set_num_threads(1)


class ConvergenceCeilingTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.voc = vocoders.SourceFilterVocoder().eval()
        cls.frames = 60
        t = np.arange(cls.frames)
        cls.f0 = (110 + 30 * np.sin(t / 9.0)).astype(np.float32)

    def test_a_filtered_source_is_recovered_by_the_zero_phase_gain(self):
        # The teacher is the source itself through a smooth real filter: the
        # least-squares gain must find that filter again.
        source = cc.source_stft(self.voc, self.f0, self.frames)
        bins = np.arange(self.voc.bins)
        envelope = 0.2 + np.exp(-((bins - 40) / 15.0) ** 2) + 0.5 * np.exp(-((bins - 110) / 20.0) ** 2)
        teacher = cc.resynthesise(self.voc, source * envelope, self.frames)
        scores = cc.ceilings(self.voc, self.f0, teacher, [1, 5])
        self.assertLess(scores[(1, False)], 0.05)
        self.assertLess(scores[(5, False)], 0.1)

    def test_only_a_gain_with_phase_reproduces_noise(self):
        rng = np.random.default_rng(3)
        noise = (0.1 * rng.standard_normal(contract.HOP * self.frames)).astype(np.float32)
        scores = cc.ceilings(self.voc, self.f0, noise, [1])
        self.assertLess(scores[(1, True)], 0.05)
        self.assertGreater(scores[(1, False)], 0.3)

    def test_wider_gains_cannot_do_better_on_a_comb_of_the_wrong_pitch(self):
        # A teacher a fifth above the source: a gain free
        # bin by bin fits it better than one smoothed over 11 bins.
        teacher_f0 = self.f0 * 1.5
        teacher = cc.resynthesise(
            self.voc, cc.source_stft(self.voc, teacher_f0, self.frames), self.frames)
        scores = cc.ceilings(self.voc, self.f0, teacher, [1, 11])
        self.assertLess(scores[(1, False)], scores[(11, False)])


if __name__ == "__main__":
    unittest.main()
