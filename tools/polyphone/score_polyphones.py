#!/usr/bin/env python3
"""Score the front end on polyphone sets: one marked character per sentence.

    /usr/bin/python3 tools/polyphone/score_polyphones.py [SET...]
        [--build build] [--rules-only] [--chars N] [--min-tone P]

SET is a path without extension (DIR/NAME for DIR/NAME.sent and DIR/NAME.lb,
DIR/NAME@odd or @even for every other line); the default is the sets the
trainer never reads: g2pl/test and the odd lines of cpp/dev. The built front
end's --readings mode gives each character's reading before tone sandhi,
which is what the labels hold. Printed per set (with tone, toneless, and how
many sentences the front end could not align; "neutral": with tone, but a
neutral syllable of ours right in any tone of its syllable), then per character the N
characters with the most errors over all sets. --rules-only scores the front
end with the model switched off. Exit status 1 when --min-tone (percent,
with tone, every set) is not met, 2 on unusable input.
"""

import argparse
import collections
import os
import sys
import tempfile

import polyphone_data as pd


def score(front, conf, stem):
    """[(char, label, read or None)] for one set."""
    items = pd.load_set(stem)
    results = pd.run_readings(front, conf, [t for t, _, _ in items])
    scored = []
    for (text, index, label), words in zip(items, results):
        read = None
        if words is not None:
            place = pd.locate(text, index, words)
            if place is not None:
                syllables = words[place[0]][2]
                if len(syllables) == len(words[place[0]][0]):
                    read = syllables[place[1]]
        scored.append((text[index], label, read))
    return scored


def percent(part, whole):
    return 100.0 * part / whole if whole else 0.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("sets", nargs="*")
    parser.add_argument("--build", default=os.path.join(pd.REPO, "build"))
    parser.add_argument("--rules-only", action="store_true")
    parser.add_argument("--chars", type=int, default=30)
    parser.add_argument("--min-tone", type=float)
    args = parser.parse_args()
    stems = args.sets or [os.path.join(pd.DATA, s) for s in pd.SCORED]
    front = os.path.join(args.build, "src", "tolvaren_tts_front")
    failed = False
    per_char = collections.defaultdict(lambda: [0, 0, 0])
    with tempfile.TemporaryDirectory() as tmp:
        conf = (pd.rules_only_conf(args.build, tmp) if args.rules_only else
                os.path.join(args.build, "resources", "conf", "tool.conf"))
        print("%-28s %8s %9s %9s %9s %9s" % ("set", "marked", "tone %",
                                              "neutral %", "toneless %",
                                              "unaligned"))
        for stem in stems:
            try:
                scored = score(front, conf, stem)
            except (OSError, pd.DataError) as error:
                print("cannot score %s: %s" % (stem, error), file=sys.stderr)
                return 2
            tone = sum(read == label for _, label, read in scored)
            bare = sum(read is not None and pd.toneless(read) ==
                       pd.toneless(label) for _, label, read in scored)
            # A neutral syllable of ours taken as right in any tone: the
            # labels give a word's lexical neutral tone (关系 xi5) as the
            # citation tone.
            neutral = sum(read is not None and
                          (read == label or (read.endswith("5") and
                                             pd.toneless(read) ==
                                             pd.toneless(label)))
                          for _, label, read in scored)
            lost = sum(read is None for _, _, read in scored)
            name = os.path.relpath(stem, os.path.dirname(os.path.dirname(stem)))
            print("%-28s %8d %9.2f %9.2f %9.2f %9d" % (
                name, len(scored), percent(tone, len(scored)),
                percent(neutral, len(scored)), percent(bare, len(scored)),
                lost))
            if args.min_tone is not None and \
                    percent(tone, len(scored)) < args.min_tone:
                failed = True
            for char, label, read in scored:
                counts = per_char[(name, char)]
                counts[0] += 1
                counts[1] += read != label
                counts[2] += read is None or \
                    pd.toneless(read) != pd.toneless(label)
    worst = sorted(per_char.items(), key=lambda item: -item[1][1])
    print("\nper character, most errors first (set, char, marked, errors with "
          "tone, errors toneless, tone %)")
    for (name, char), (total, wrong, wrong_bare) in worst[:args.chars]:
        print("  %-12s %s %6d %6d %6d %7.2f" % (
            name, char, total, wrong, wrong_bare,
            percent(total - wrong, total)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
