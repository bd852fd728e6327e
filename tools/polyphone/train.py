#!/usr/bin/env python3
"""Train the polyphone model and export resources/polyphone/polyphone_model.txt.

    /usr/bin/python3 tools/polyphone/train.py [--build build]

One command, reproducible: the front end built in BUILD (rules only, the
model switched off) reads every sentence of the training sets; each marked
character gives its context features (polyphone_data.feature_names) and its
labelled reading. Per character, an L2-regularised multinomial logistic
regression is fitted (L-BFGS, numpy/scipy; deterministic).

Two rounds:
  1. fit on g2pl/train and half of the even lines of cpp/dev (every other
     example), measure on g2pl/dev and the other half: a character is kept
     only where the model reads at least as many held-out sentences right
     as the front end without it, and the way model and rules meet is
     chosen there (printed);
  2. refit the kept characters on g2pl/train, g2pl/dev and the even lines of
     cpp/dev and write the table.
g2pl/test and the odd lines of cpp/dev are never read here: they are for
measuring (score_polyphones.py).
"""

import argparse
import collections
import os
import sys
import tempfile

import numpy as np
from scipy import optimize, sparse

import polyphone_data as pd

DATA = pd.DATA
FORMAT_VERSION = 1
MIN_FEATURE_COUNT = 2


def examples(front, conf, items, table):
    """(char, feature names, base phones, decided_by, label phones) per item
    the front end read and the phone set spells."""
    out = []
    results = pd.run_readings(front, conf, [t for t, _, _ in items])
    for (text, index, label), words in zip(items, results):
        if words is None:
            continue
        place = pd.locate(text, index, words)
        label_phones = table.phones(label)
        if place is None or label_phones is None:
            continue
        word, at = place
        syllables, decided = words[word][2], words[word][3]
        if len(syllables) != len(words[word][0]):
            continue
        base = table.phones(syllables[at])
        if base is None:
            continue
        out.append((text[index], pd.feature_names(words, word, at, base),
                    base, decided[at], label_phones,
                    len(words[word][0]) == 1, words[word][0]))
    return out


class CharModel:
    def __init__(self, readings, features, weights):
        self.readings = readings   # ["zh ang3", ...]
        self.features = features   # name -> row
        self.weights = weights     # (len(features), len(readings))

    def predict(self, names, base=None, margin=0.0):
        """The best reading; `base` (the reading so far) unless the best
        scores more than `margin` above it."""
        rows = [self.features[n] for n in names if n in self.features]
        scores = self.weights[rows].sum(axis=0) if rows else \
            np.zeros(len(self.readings))
        best = int(np.argmax(scores))
        if base in self.readings and \
                scores[best] - scores[self.readings.index(base)] <= margin:
            return base
        return self.readings[best]


def fit(samples, l2, extra=()):
    """samples: [(names, label phones)] of one character; `extra`: readings
    the front end gives it that no label does."""
    readings = sorted({label for _, label in samples} | set(extra))
    counts = collections.Counter(n for names, _ in samples for n in names)
    features = {}
    for names, _ in samples:
        for n in names:
            if n not in features and (counts[n] >= MIN_FEATURE_COUNT or
                                      n == "b"):
                features[n] = len(features)
    rows, cols = [], []
    for r, (names, _) in enumerate(samples):
        for n in set(names):
            if n in features:
                rows.append(r)
                cols.append(features[n])
    x = sparse.csr_matrix((np.ones(len(rows)), (rows, cols)),
                          shape=(len(samples), len(features)))
    y = np.array([readings.index(label) for _, label in samples])
    k = len(readings)
    onehot = np.eye(k)[y]

    def loss(flat):
        w = flat.reshape(len(features), k)
        z = x @ w
        z -= z.max(axis=1, keepdims=True)
        p = np.exp(z)
        p /= p.sum(axis=1, keepdims=True)
        value = -np.log(p[np.arange(len(y)), y] + 1e-12).sum() + \
            0.5 * l2 * (w * w).sum()
        grad = x.T @ (p - onehot) + l2 * w
        return value, np.asarray(grad).ravel()

    result = optimize.minimize(loss, np.zeros(len(features) * k), jac=True,
                               method="L-BFGS-B", options={"maxiter": 300})
    return CharModel(readings, features, result.x.reshape(len(features), k))


def train(samples_by_char, l2, bases_by_char):
    """A model per character the data gives two readings or more, in its
    labels or in what the front end reads where the labels disagree: a
    character labelled one way only (黄陂 bei1) is still learned where the
    front end reads it another."""
    models = {}
    for char, samples in samples_by_char.items():
        extra = bases_by_char.get(char, set())
        if len({label for _, label in samples} | extra) >= 2:
            models[char] = fit(samples, l2, extra)
    return models


def by_char(data):
    grouped = collections.defaultdict(list)
    for char, names, _, _, label, _, _ in data:
        grouped[char].append((names, label))
    return grouped


def wrong_bases(data):
    """Per character, the readings the front end gave it against a label."""
    bases = collections.defaultdict(set)
    for char, _, base, _, label, _, _ in data:
        if base != label:
            bases[char].add(base)
    return bases


def ambiguous_words(data, min_wrong, min_share):
    """The words of more than one character whose dictionary reading the
    data contradicts at least `min_wrong` times and in a `min_share` of
    their sentences: there the model reads the polyphone, elsewhere the word's
    dictionary reading stands."""
    seen = collections.Counter()
    wrong = collections.Counter()
    for _, _, base, _, label, single, word in data:
        if not single:
            seen[word] += 1
            wrong[word] += base != label
    return {w for w in seen
            if wrong[w] >= min_wrong and wrong[w] >= min_share * seen[w]}


def overlay_words(path=os.path.join(pd.REPO, "resources", "dict",
                                     "pronunciation_overlay.tsv")):
    with open(path, encoding="utf-8") as f:
        return {l.split("\t")[0] for l in f
                if "\t" in l and not l.startswith("#")}


def neutral_toggle(a, b):
    """Whether two readings differ only in one being the neutral tone."""
    return a != b and a[:-1] == b[:-1] and "5" in (a[-1], b[-1])


def choose(models, words, example, policy, margin=0.0):
    char, names, base, decided, _, single, word = example
    if char not in models:
        return base
    if policy["skip_rules"] and decided == "r":
        return base
    if policy["scope"] == "single" and not single:
        return base
    if policy["scope"] == "listed" and not single and decided != "p" and \
            word not in words:
        return base
    reading = models[char].predict(names, base, margin)
    # A word's own neutral tone (饺子 zi5) is the dictionary's business; a
    # particle's is the model's (考得 de5).
    if not single and char not in PARTICLES and \
            neutral_toggle(reading, base):
        return base
    return reading


POLICIES = {
    "model over everything": {"skip_rules": False, "scope": "all"},
    "rules first, all words": {"skip_rules": True, "scope": "all"},
    "rules first, 1-char words": {"skip_rules": True, "scope": "single"},
    "rules first, 1-char, unknown + listed words": {"skip_rules": True,
                                                    "scope": "listed"},
    "model first, 1-char, unknown + listed words": {"skip_rules": False,
                                                    "scope": "listed"},
}
PARTICLES = "的地得着"
MARGINS = (0.0, 0.5, 1.0, 2.0, 3.0)
SHIPPED = "rules first, 1-char, unknown + listed words"
RULE_CHARS = "为应干倒只得"


def write_table(path, models, words):
    lines = ["tolvaren-polyphone-model %d" % FORMAT_VERSION,
             "characters %d" % len(models)]
    chars = sorted(models)
    for char in chars:
        m = models[char]
        lines.append("\t".join([char, str(len(m.features))] + m.readings))
    lines.append("words %d" % len(words))
    lines += sorted(words)
    for char in chars:
        m = models[char]
        for name, row in sorted(m.features.items(),
                                key=lambda item: pd.fnv1a64(item[0])):
            weights = " ".join("%.4g" % v for v in m.weights[row])
            lines.append("%016x\t%s" % (pd.fnv1a64(name), weights))
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(pd.REPO, "build"))
    parser.add_argument("--data", default=DATA)
    parser.add_argument("--l2", type=float, default=0.3)
    parser.add_argument("--min-wrong", type=int, default=1)
    parser.add_argument("--min-share", type=float, default=0.25)
    parser.add_argument("--out", default=os.path.join(
        pd.REPO, "resources", "polyphone", "polyphone_model.txt"))
    args = parser.parse_args()
    front = os.path.join(args.build, "src", "tolvaren_tts_front")
    table = pd.PhoneTable()
    with tempfile.TemporaryDirectory() as tmp:
        conf = pd.rules_only_conf(args.build, tmp)
        load = lambda name: examples(front, conf, pd.load_set(
            os.path.join(args.data, name)), table)
        g2pl_train, g2pl_dev = load("g2pl/train"), load("g2pl/dev")
        cpp = load("cpp/dev@even")
    cpp_fit, cpp_held = cpp[0::2], cpp[1::2]
    held = g2pl_dev + cpp_held
    print("examples: g2pl/train %d, g2pl/dev %d, cpp/dev even lines %d"
          % (len(g2pl_train), len(g2pl_dev), len(cpp)))

    models = train(by_char(g2pl_train + cpp_fit), args.l2,
                   wrong_bases(g2pl_train + cpp_fit))
    words = ambiguous_words(g2pl_train + cpp_fit, args.min_wrong,
                            args.min_share) - overlay_words()
    base_right = collections.Counter()
    model_right = collections.Counter()
    held_count = collections.Counter()
    for example in held:
        char, label = example[0], example[4]
        held_count[char] += 1
        base_right[char] += example[2] == label
        model_right[char] += choose(models, words, example,
                                    POLICIES[SHIPPED]) == label
    # A character the held-out sentences never mark is kept: its labels
    # are all there is to go by.
    kept = {c for c in models if model_right[c] >= base_right[c] and
            (model_right[c] > 0 or held_count[c] == 0)}
    kept_models = {c: models[c] for c in kept}
    print("characters: %d trained, %d kept (held-out reads at least as well)"
          % (len(models), len(kept)))
    for name, held_set in (("g2pl/dev", g2pl_dev), ("cpp/dev 2 mod 4",
                                                      cpp_held)):
        right = sum(e[2] == e[4] for e in held_set)
        print("  %-18s without the model %.2f %%" % (name,
                                                    100.0 * right / len(held_set)))
        for policy_name, policy in POLICIES.items():
            right = sum(choose(kept_models, words, e, policy) == e[4]
                        for e in held_set)
            print("  %-18s %-44s %.2f %%" % (name, policy_name,
                                             100.0 * right / len(held_set)))
    for margin in MARGINS:
        print("  margin %.1f: g2pl/dev %.2f %%, cpp/dev 2 mod 4 %.2f %%" % (
            margin, *(100.0 * sum(choose(kept_models, words, e,
                                         POLICIES[SHIPPED], margin) == e[4]
                                  for e in held_set) / len(held_set)
                      for held_set in (g2pl_dev, cpp_held))))
    print("  the rules' characters on g2pl/dev (right without the model, "
          "with it over the rules, rules first):")
    for char in RULE_CHARS:
        rows = [e for e in g2pl_dev if e[0] == char]
        print("    %s %4d %4d %4d %4d" % (
            char, len(rows), sum(e[2] == e[4] for e in rows),
            sum(choose(kept_models, words, e,
                       POLICIES["model first, 1-char, unknown + listed words"]) == e[4]
                for e in rows),
            sum(choose(kept_models, words, e, POLICIES[SHIPPED]) == e[4]
                for e in rows)))

    everything = g2pl_train + g2pl_dev + cpp
    final = train({c: s for c, s in by_char(everything).items() if c in kept},
                  args.l2, wrong_bases(everything))
    # The overlay's words are known right: the model never re-reads them.
    overlay = overlay_words()
    final_words = {w for w in ambiguous_words(everything, args.min_wrong,
                                                 args.min_share)
                   if any(c in final for c in w) and w not in overlay}
    os.makedirs(os.path.dirname(args.out), exist_ok=True)
    write_table(args.out, final, final_words)
    print("wrote %s: %d characters, %d features, %d words"
          % (args.out, len(final), sum(len(m.features) for m in final.values()),
             len(final_words)))


if __name__ == "__main__":
    sys.exit(main())
