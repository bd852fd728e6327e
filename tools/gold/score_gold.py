#!/usr/bin/env python3
"""Score the front end's pinyin against a hand-written pronunciation gold set.

The gold file is UTF-8 TSV, one sentence per line:
    sentence<TAB>pinyin[<TAB>category]
Pinyin is numbered-tone syllables (tone 5 = neutral) separated by spaces.
Blank lines and lines starting with '#' are ignored.

The inspection tool is run once over all sentences:
    tolvaren_tts_front --pinyin --file FILE
and must print exactly one line per input line, in order (a failed text
prints a line starting with 'ERROR:').

Exit status: 0 after printing scores (and thresholds met), 1 when a
--min-toneless / --min-tone threshold is not met, 2 when the tool cannot
be run or its output is unusable, or the gold file is malformed.
"""

import argparse
import difflib
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_GOLD = os.path.join(HERE, "gold_pinyin.tsv")


class GoldError(Exception):
    pass


def toneless(syllable):
    """Drop a trailing tone digit: 'huir4' -> 'huir', 'de5' -> 'de'."""
    if syllable and syllable[-1].isdigit():
        return syllable[:-1]
    return syllable


def split_pinyin(text):
    return text.split()


def load_gold(path):
    """Return a list of (line_no, sentence, [syllables], category or None)."""
    items = []
    with open(path, encoding="utf-8") as handle:
        for number, raw in enumerate(handle, 1):
            line = raw.rstrip("\r\n")
            if not line.strip() or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) not in (2, 3):
                raise GoldError("%s:%d: expected 2 or 3 tab-separated fields, got %d"
                                % (path, number, len(fields)))
            sentence, pinyin = fields[0], fields[1]
            category = fields[2].strip() if len(fields) == 3 else None
            syllables = split_pinyin(pinyin)
            if not sentence or not syllables:
                raise GoldError("%s:%d: empty sentence or pinyin" % (path, number))
            if "\n" in sentence or "\r" in sentence:
                raise GoldError("%s:%d: sentence contains a line break" % (path, number))
            items.append((number, sentence, syllables, category or None))
    return items


def align(expected, got):
    """Align two syllable lists into (expected or None, got or None) pairs.

    Equal lengths are compared position by position; otherwise difflib
    aligns the toneless syllables, and the unmatched stretches become
    substitutions, deletions (got None) and insertions (expected None).
    """
    pairs = []
    if len(expected) == len(got):
        pairs = list(zip(expected, got))
    else:
        exp_bare = [toneless(s) for s in expected]
        got_bare = [toneless(s) for s in got]
        matcher = difflib.SequenceMatcher(None, exp_bare, got_bare, autojunk=False)
        for op, i1, i2, j1, j2 in matcher.get_opcodes():
            if op == "equal":
                pairs.extend(zip(expected[i1:i2], got[j1:j2]))
            elif op == "replace":
                a, b = expected[i1:i2], got[j1:j2]
                n = max(len(a), len(b))
                for k in range(n):
                    pairs.append((a[k] if k < len(a) else None,
                                  b[k] if k < len(b) else None))
            elif op == "delete":
                pairs.extend((s, None) for s in expected[i1:i2])
            elif op == "insert":
                pairs.extend((None, s) for s in got[j1:j2])
    return pairs


def error_count(pairs, with_tone):
    """Errors = substitutions + deletions + insertions."""
    errors = 0
    for e, g in pairs:
        if e is None or g is None:
            errors += 1
        elif with_tone and e != g:
            errors += 1
        elif not with_tone and toneless(e) != toneless(g):
            errors += 1
    return errors


class Tally:
    def __init__(self):
        self.sentences = 0
        self.failed = 0
        self.syllables = 0
        self.bare_ok = 0
        self.tone_ok = 0
        self.exact_sentences = 0

    def add(self, expected, got, failed):
        self.sentences += 1
        self.syllables += len(expected)
        if failed:
            self.failed += 1
            return
        pairs = align(expected, got)
        # correct = N - (substitutions + deletions + insertions), never below 0
        n = len(expected)
        self.bare_ok += max(0, n - error_count(pairs, with_tone=False))
        self.tone_ok += max(0, n - error_count(pairs, with_tone=True))
        if expected == got:
            self.exact_sentences += 1

    def toneless_accuracy(self):
        return self.bare_ok / self.syllables if self.syllables else 0.0

    def tone_accuracy(self):
        return self.tone_ok / self.syllables if self.syllables else 0.0


def run_tool(tool, conf, sentences, mode="--pinyin"):
    env = dict(os.environ)
    if conf:
        env["TOLVAREN_TTS_CONF"] = conf
    fd, path = tempfile.mkstemp(prefix="gold_", suffix=".txt")
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as handle:
            for sentence in sentences:
                handle.write(sentence + "\n")
        try:
            proc = subprocess.run([tool, mode, "--file", path], env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        except OSError as exc:
            raise RuntimeError("cannot run %s: %s" % (tool, exc))
    finally:
        os.unlink(path)
    if proc.returncode != 0 and not proc.stdout:
        raise RuntimeError("%s exited with status %d: %s"
                           % (tool, proc.returncode,
                              proc.stderr.decode("utf-8", "replace").strip()[-500:]))
    lines = proc.stdout.decode("utf-8", "replace").splitlines()
    if len(lines) != len(sentences):
        raise RuntimeError("%s printed %d lines for %d sentences"
                           % (tool, len(lines), len(sentences)))
    return lines


def score(items, outputs):
    """Return (overall Tally, {category: Tally}, [mismatch records])."""
    overall = Tally()
    per_category = {}
    mismatches = []
    for (number, sentence, expected, category), line in zip(items, outputs):
        failed = line.startswith("ERROR:")
        got = [] if failed else split_pinyin(line)
        overall.add(expected, got, failed)
        if category is not None:
            per_category.setdefault(category, Tally()).add(expected, got, failed)
        if failed or got != expected:
            mismatches.append((number, sentence, category, expected, got,
                               line if failed else None))
    return overall, per_category, mismatches


def pct(x):
    return "%.2f%%" % (100.0 * x)


def report(overall, per_category, mismatches, show_errors, out):
    out.write("sentences:                  %d\n" % overall.sentences)
    out.write("failed in the front end:    %d\n" % overall.failed)
    out.write("syllables:                  %d\n" % overall.syllables)
    out.write("sentences exactly right:    %d\n" % overall.exact_sentences)
    out.write("syllable accuracy, toneless: %s (%d/%d)\n"
              % (pct(overall.toneless_accuracy()), overall.bare_ok, overall.syllables))
    out.write("syllable accuracy, tone:     %s (%d/%d)\n"
              % (pct(overall.tone_accuracy()), overall.tone_ok, overall.syllables))
    if per_category:
        out.write("\n%-10s %5s %6s %5s %9s %9s\n"
                  % ("category", "sent", "failed", "syl", "toneless", "tone"))
        for name in sorted(per_category):
            t = per_category[name]
            out.write("%-10s %5d %6d %5d %9s %9s\n"
                      % (name, t.sentences, t.failed, t.syllables,
                         pct(t.toneless_accuracy()), pct(t.tone_accuracy())))
    if show_errors and mismatches:
        out.write("\nmismatches:\n")
        for number, sentence, category, expected, got, error in mismatches:
            out.write("line %d [%s] %s\n" % (number, category or "-", sentence))
            out.write("  expected: %s\n" % " ".join(expected))
            out.write("  got:      %s\n" % (error if error else " ".join(got)))
            if error is None:
                pairs = align(expected, got)
                diffs = ["%s->%s" % (e or "_", g or "_") for e, g in pairs if e != g]
                out.write("  diff:     %s\n" % " ".join(diffs))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tool", default="tolvaren_tts_front",
                        help="path of tolvaren_tts_front")
    parser.add_argument("--conf", help="configuration file, passed as TOLVAREN_TTS_CONF")
    parser.add_argument("--gold", default=DEFAULT_GOLD, help="gold TSV file")
    parser.add_argument("--min-toneless", type=float, default=None,
                        help="fail (exit 1) below this toneless accuracy (0-1 or percent)")
    parser.add_argument("--min-tone", type=float, default=None,
                        help="fail (exit 1) below this tone accuracy (0-1 or percent)")
    parser.add_argument("--show-errors", action="store_true",
                        help="print every mismatching sentence")
    args = parser.parse_args(argv)

    try:
        items = load_gold(args.gold)
    except (OSError, GoldError) as exc:
        sys.stderr.write("score_gold: %s\n" % exc)
        return 2
    if not items:
        sys.stderr.write("score_gold: no sentences in %s\n" % args.gold)
        return 2
    try:
        outputs = run_tool(args.tool, args.conf, [it[1] for it in items])
    except RuntimeError as exc:
        sys.stderr.write("score_gold: %s\n" % exc)
        return 2

    overall, per_category, mismatches = score(items, outputs)
    report(overall, per_category, mismatches, args.show_errors, sys.stdout)

    status = 0
    for name, limit, value in (("toneless", args.min_toneless, overall.toneless_accuracy()),
                               ("tone", args.min_tone, overall.tone_accuracy())):
        if limit is None:
            continue
        threshold = limit / 100.0 if limit > 1.0 else limit
        if value < threshold:
            sys.stdout.write("below threshold: %s accuracy %s < %s\n"
                             % (name, pct(value), pct(threshold)))
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
