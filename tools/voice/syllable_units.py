"""Recorded syllables to build sentences from.

Every syllable of every aligned training take is a unit: where it lies in
its take (samples of its initial and its final), its toneless spelling,
its tone, and where it stood in its word (alone, first, middle, last).
`choose` picks the unit for one syllable of a sentence: the same syllable
in the same tone if the speaker said it so, else in another tone (the
overlap-add gives it the sentence's pitch anyway); inside a phrase a
syllable that stood before another in its word (read on, not drawn out),
at a phrase's end one that ended its word; the one whose final is closest
to the planned length among those, with a seeded draw between near ties.
"""
from collections import namedtuple

from . import contract
from .hmm_align import base_phone

Unit = namedtuple("Unit", "take start initial_end end tone position")

NEAR_TIES = 3


def syllables_of_take(phones, durs):
    """(initial or None, final phone, first frame, initial's end frame,
    end frame) of every syllable in an aligned take."""
    out, t, k = [], 0, 0
    while k < len(phones):
        p = phones[k]
        if p == "sp":
            t += durs[k]
            k += 1
            continue
        if p[-1] in "12345":
            out.append((None, p, t, t, t + durs[k]))
            t += durs[k]
            k += 1
            continue
        if k + 1 >= len(phones) or phones[k + 1][-1] not in "12345":
            raise ValueError(f"initial {p} without a final")
        out.append((p, phones[k + 1], t, t + durs[k], t + durs[k] + durs[k + 1]))
        t += durs[k] + durs[k + 1]
        k += 2
    return out


def position(k, count):
    if count == 1:
        return "alone"
    return "first" if k == 0 else ("last" if k == count - 1 else "middle")


class Inventory:
    def __init__(self, corpus):
        """corpus: an aligned dataset.Corpus (the training takes only)."""
        self.by_syllable = {}
        for take in range(len(corpus)):
            phones = corpus.phones[take].split()
            u = corpus.utt(take)
            syls = syllables_of_take(phones, u["durs"].tolist())
            for k, (initial, final, a, b, c) in enumerate(syls):
                key = (initial, base_phone(final))
                unit = Unit(take, a * contract.HOP, b * contract.HOP, c * contract.HOP,
                            int(final[-1]), position(k, len(syls)))
                self.by_syllable.setdefault(key, []).append(unit)

    def has(self, initial, final):
        return (initial, final) in self.by_syllable

    def choose(self, initial, final, tone, phrase_final, final_samples, rng):
        """The unit for syllable (initial, toneless final, tone); KeyError
        when the speaker never said the syllable."""
        units = self.by_syllable[(initial, final)]
        wanted = ("last", "alone") if phrase_final else ("first", "middle")

        def cost(u):
            return ((u.tone != tone) * 4 + (u.position not in wanted) * 2
                    + abs((u.end - u.initial_end) - final_samples) / final_samples)
        best = sorted(units, key=cost)[:NEAR_TIES]
        return best[int(rng.integers(len(best)))]
