"""Spells the front end's syllables in the units of the cn1 diphone voice.

The cn1 database is organised by pinyin: a syllable is an onset unit and a
final unit, and consecutive syllables are joined through a zero-length
silence ("_ 0"), since no final-to-onset diphone exists. Its finals carry
one vowel only, so a medial goes with the onset: huan is hu + an, biao is
bi + ao, xuan (xüan) is xu + an. Its finals: a ai an ang ao e ei en eng er
o ou i ie ll (the i of zhi chi shi ri) ii (of zi ci si) u v ong in ing ui
iu ue un. Zero-initial syllables take the glides y, w or yu as onset.

A few syllables have no diphone for their natural spelling; SUBSTITUTES
gives each the nearest spelling that renders (found by rendering every
syllable in every tone, see tests/test_diphone_teacher.py).

`spell` returns a `Spelling`: the onset unit (or None), the final unit,
and whether the onset unit holds sound that belongs to our final phone (a
medial or a glide), which matters when its duration is split between our
initial and final phones.
"""
from collections import namedtuple

Spelling = namedtuple("Spelling", "onset final onset_has_medial")

# Finals whose first vowel moves into the onset unit: final -> (medial, rest).
_MEDIAL = {
    "ia": ("i", "a"), "iao": ("i", "ao"), "ian": ("i", "an"),
    "iang": ("i", "ang"), "iong": ("i", "ong"),
    "ua": ("u", "a"), "uo": ("u", "o"), "uai": ("u", "ai"),
    "uan": ("u", "an"), "uang": ("u", "ang"),
    "van": ("u", "an"),  # ü is written u after j q x y
}

# Our final -> the cn1 final when nothing moves into the onset.
_FINAL = {"ii": "ii", "iii": "ll", "ve": "ue", "vn": "un"}

# Zero-initial syllables: our final -> (onset glide, cn1 final).
_ZERO_INITIAL = {
    "i": ("y", "i"), "ia": ("y", "a"), "ie": ("y", "e"), "iao": ("y", "ao"),
    "iu": ("y", "ou"), "ian": ("y", "an"), "in": ("y", "in"),
    "iang": ("y", "ang"), "ing": ("y", "ing"), "iong": ("y", "ong"),
    "u": ("w", "u"), "ua": ("w", "a"), "uo": ("w", "o"), "uai": ("w", "ai"),
    "ui": ("w", "ei"), "uan": ("w", "an"), "un": ("w", "en"),
    "uang": ("w", "ang"), "ueng": ("w", "eng"),
    "v": ("y", "v"), "ve": ("y", "ue"), "vn": ("y", "un"), "van": ("yu", "an"),
}

# (initial, final) pairs whose natural spelling names a missing diphone,
# with the nearest spelling that exists. The unaspirated partner keeps the
# final of tei and kei; lo and yo are near luo and you; biang loses its
# velar nasal; fiao and rua keep onset and lip rounding.
SUBSTITUTES = {
    ("b", "iang"): Spelling("bi", "an", True),
    ("f", "iao"): Spelling("f", "ou", False),
    ("t", "ei"): Spelling("d", "ei", False),
    ("k", "ei"): Spelling("g", "ei", False),
    ("l", "o"): Spelling("lu", "o", True),
    ("r", "ua"): Spelling("ru", "o", True),
    (None, "io"): Spelling("y", "ou", True),
}


def spell(initial, final):
    """cn1 spelling of one syllable. `initial` is our initial phone or None,
    `final` our toneless plain final (an erhua final must be reduced to its
    base first). A final outside the inventory is passed on as it is, and
    mbrola then stops at the unknown diphone."""
    if (initial, final) in SUBSTITUTES:
        return SUBSTITUTES[(initial, final)]
    if initial is None:
        if final in _ZERO_INITIAL:
            onset, rest = _ZERO_INITIAL[final]
            return Spelling(onset, rest, True)
        return Spelling(None, _FINAL.get(final, final), False)
    if final in _MEDIAL:
        medial, rest = _MEDIAL[final]
        return Spelling(initial + medial, rest, True)
    return Spelling(initial, _FINAL.get(final, final), False)
