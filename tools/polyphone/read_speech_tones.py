#!/usr/bin/env python3
"""Derive the lexical neutral tones careful reading keeps full:
resources/dict/read_speech_tones.tsv.

    /usr/bin/python3 tools/polyphone/read_speech_tones.py [--build build]
        [--min-count 5] [--min-share 0.8] [--out FILE]

The dictionary writes some words' second syllable in the neutral tone (关系
guan1 xi5, 困难 kun4 nan5) that careful reading says with its full tone. The
polyphone training sets label the marked character as it is read; where
that character is the neutral second syllable of a two-character word in
the dictionary, each label is a vote: its full tone, or the neutral tone.
A word is written to the file, with the full tone, when at least
`--min-count` labels give that tone and they are at least `--min-share` of
its votes. Particles and suffixes (的 着 了 么 子 们 头 ...) and reduplicated
words (弟弟, 妈妈) stay neutral whatever a label says: their neutral tone is
grammar, not a word's habit. Words the data never marks (东西 'thing',
先生, 饺子) are not touched.

The votes are counted against the dictionary without this file (the
resource generator is run here once without it), so the result does not
depend on the file it replaces: the same data give the same bytes. Before
writing, the rule is measured held out: derived from g2pl/train and
every other one of cpp/dev's even lines, applied to g2pl/dev and the
others (printed for several --min-count values). g2pl/test and the odd lines
of cpp/dev are never read here: they are for measuring.

The resource generator (tools/resources/neutral_words.mjs) gives every
dictionary entry whose neutral syllable ends a listed word its full tone
(大部分, 没关系 too) and leaves the listed words out of the neutral-tone
word list.
"""

import argparse
import collections
import os
import shutil
import subprocess
import sys
import tempfile

import polyphone_data as pd

# Whatever a label says, these stay neutral as a word's second syllable.
KEPT_NEUTRAL = "的地得着了么们子头吗呢吧啊呀嘛啦"
HEADER = """# Two-character words whose neutral second syllable careful reading says
# with its full tone, WORD<TAB>PINYIN (numbered tones). Written by
# tools/polyphone/read_speech_tones.py from the polyphone training labels
# (%d or more labels, %d %% of them or more, give the full tone); do not
# edit by hand: correct a word in pronunciation_overlay.tsv.
"""


def neutral_examples(front, conf, items):
    """(word, first syllable, label) for each marked character that the
    dictionary reads as a neutral second syllable of the same spelling; the
    word is the two characters ending at it."""
    out = []
    results = pd.run_readings(front, conf, [t for t, _, _ in items])
    for (text, index, label), words in zip(items, results):
        place = None if words is None else pd.locate(text, index, words)
        if place is None:
            continue
        word, at = place
        chars, syllables = words[word][0], words[word][2]
        if at == 0 or len(syllables) != len(chars):
            continue
        read = syllables[at]
        if read.endswith("5") and pd.toneless(read) == pd.toneless(label):
            out.append((chars[at - 1:at + 1], syllables[at - 1], label))
    return out


def full_tone(word, labels, min_count, min_share):
    """The full tone syllable careful reading gives `word`'s second
    character, or None where it stays neutral; `labels` counts its votes."""
    if word[1] in KEPT_NEUTRAL or word[0] == word[1]:
        return None
    full = collections.Counter({l: n for l, n in labels.items()
                                if not l.endswith("5")})
    if not full:
        return None
    syllable, count = sorted(full.items(), key=lambda kv: (-kv[1], kv[0]))[0]
    if count >= min_count and count >= min_share * sum(labels.values()):
        return syllable
    return None


def derive(examples, min_count, min_share):
    """{word: (first syllable, full second syllable)}."""
    labels = collections.defaultdict(collections.Counter)
    firsts = collections.defaultdict(collections.Counter)
    for word, first, label in examples:
        labels[word][label] += 1
        firsts[word][first] += 1
    out = {}
    for word in labels:
        syllable = full_tone(word, labels[word], min_count, min_share)
        if syllable is not None:
            first = sorted(firsts[word].items(), key=lambda kv: (-kv[1],
                                                                  kv[0]))[0][0]
            out[word] = (first, syllable)
    return out


def held_out(examples, words):
    """(right before, right after) on `examples` when `words` are full."""
    before = sum(label.endswith("5") for _, _, label in examples)
    after = sum((words[w][1] if w in words else pd.toneless(label) + "5") ==
                label for w, _, label in examples)
    return before, after


def dictionary_without_policy(tmp):
    """word2phone.dict as the resource generator writes it without
    read_speech_tones.tsv."""
    dict_dir = os.path.join(tmp, "dict")
    shutil.copytree(os.path.join(pd.REPO, "resources", "dict"), dict_dir)
    with open(os.path.join(dict_dir, "read_speech_tones.tsv"), "w",
              encoding="utf-8"):
        pass
    out = os.path.join(tmp, "generated")
    subprocess.run(["node", os.path.join(pd.REPO, "tools", "resources",
                                         "generate_resources.mjs"),
                    "--third-party", os.path.join(pd.REPO, "third_party"),
                    "--out", out, "--dict-dir", dict_dir],
                   check=True, stdout=subprocess.DEVNULL)
    # The front end reads the phone table beside the dictionary.
    shutil.copy(os.path.join(dict_dir, "phones.tsv"), out)
    return os.path.join(out, "word2phone.dict")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(pd.REPO, "build"))
    parser.add_argument("--data", default=pd.DATA)
    parser.add_argument("--min-count", type=int, default=5)
    parser.add_argument("--min-share", type=float, default=0.8)
    parser.add_argument("--out", default=os.path.join(
        pd.REPO, "resources", "dict", "read_speech_tones.tsv"))
    args = parser.parse_args()
    front = os.path.join(args.build, "src", "tolvaren_tts_front")
    with tempfile.TemporaryDirectory() as tmp:
        conf = pd.rules_only_conf(args.build, tmp,
                                  dictionary_without_policy(tmp))
        load = lambda items: neutral_examples(front, conf, items)
        cpp = pd.load_set(os.path.join(args.data, "cpp", "dev@even"))
        fit = load(pd.load_set(os.path.join(args.data, "g2pl", "train")) +
                   cpp[0::2])
        held = load(pd.load_set(os.path.join(args.data, "g2pl", "dev")) +
                    cpp[1::2])
    print("neutral second syllables marked: %d to derive from, %d held out"
          % (len(fit), len(held)))
    for count in sorted({2, 3, 5, 8, 12, args.min_count}):
        words = derive(fit, count, args.min_share)
        before, after = held_out(held, words)
        print("  --min-count %2d: %3d words, held out right %d -> %d of %d"
              % (count, len(words), before, after, len(held)))
    words = derive(fit + held, args.min_count, args.min_share)
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(HEADER % (args.min_count, round(100 * args.min_share)))
        for word in sorted(words):
            f.write("%s\t%s %s\n" % (word, *words[word]))
    print("wrote %s: %d words" % (args.out, len(words)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
