#!/usr/bin/env python3
"""Score how the front end reads everyday written forms, by kind.

The set is UTF-8 TSV, one written form per line:
    written<TAB>spoken[|spoken...]<TAB>kind
The spoken forms are how people read the written form aloud, written in
Chinese characters (Latin letters that are spelled stay as they are); a form
that people read in more than one way lists each. Blank lines and lines
starting with '#' are ignored.

The inspection tool gives the pinyin of every written form and of every
spoken form in one run (--pinyin --file). A written form is read right when
its pinyin equals the pinyin of one of its spoken forms, with tones (and,
counted apart, without). Comparing sounds rather than characters lets the
front end pick any characters that say the same thing.

Exit status: 0 after printing the scores (thresholds met), 1 when
--min-overall or --min-kind is not met, 2 when the tool cannot run, prints
the wrong number of lines or fails on a spoken form, or the set is
malformed.
"""

import argparse
import os
import sys

import score_gold as sg

DEFAULT_SET = os.path.join(sg.HERE, "everyday_readings.tsv")


class Item:
    def __init__(self, number, written, spoken, kind):
        self.number = number
        self.written = written
        self.spoken = spoken
        self.kind = kind


def load_items(path):
    """Return the items of an everyday set, in file order."""
    items = []
    with open(path, encoding="utf-8") as handle:
        for number, raw in enumerate(handle, 1):
            line = raw.rstrip("\r\n")
            if not line.strip() or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 3:
                raise sg.GoldError("%s:%d: expected 3 tab-separated fields, got %d"
                                   % (path, number, len(fields)))
            written, spoken, kind = fields[0], fields[1].split("|"), fields[2].strip()
            if not written or not kind or not all(spoken):
                raise sg.GoldError("%s:%d: empty field or spoken form" % (path, number))
            items.append(Item(number, written, spoken, kind))
    return items


class KindTally:
    def __init__(self):
        self.items = 0
        self.failed = 0
        self.right = 0
        self.right_toneless = 0

    def add(self, failed, right, right_toneless):
        self.items += 1
        self.failed += failed
        self.right += right
        self.right_toneless += right_toneless


def bare(syllables):
    return [sg.toneless(s) for s in syllables]


def judge(items, lines):
    """Return ({kind: KindTally}, overall KindTally, [wrong items]).

    `lines` holds the tool's pinyin for every written form, then for every
    spoken form of every item, in order.
    """
    spoken_lines = iter(lines[len(items):])
    per_kind, overall, wrong = {}, KindTally(), []
    for item, line in zip(items, lines):
        references = [next(spoken_lines) for _ in item.spoken]
        for spoken, reference in zip(item.spoken, references):
            if reference.startswith("ERROR:"):
                raise sg.GoldError("line %d: the spoken form %s failed: %s"
                                   % (item.number, spoken, reference))
        failed = line.startswith("ERROR:")
        got = [] if failed else sg.split_pinyin(line)
        expected = [sg.split_pinyin(r) for r in references]
        right = not failed and got in expected
        right_toneless = not failed and bare(got) in [bare(e) for e in expected]
        for tally in (per_kind.setdefault(item.kind, KindTally()), overall):
            tally.add(failed, right, right_toneless)
        if not right:
            wrong.append((item, line, references))
    return per_kind, overall, wrong


def share(part, whole):
    return part / whole if whole else 0.0


def report(per_kind, overall, wrong, normalized, out):
    out.write("%-8s %5s %6s %14s %14s\n"
              % ("kind", "items", "failed", "right", "right toneless"))
    rows = sorted(per_kind.items()) + [("overall", overall)]
    for name, t in rows:
        out.write("%-8s %5d %6d %5d %8s %5d %8s\n"
                  % (name, t.items, t.failed, t.right, sg.pct(share(t.right, t.items)),
                     t.right_toneless, sg.pct(share(t.right_toneless, t.items))))
    if normalized is None:
        return
    out.write("\nwrong:\n")
    for item, line, references in wrong:
        out.write("line %d [%s] %s\n" % (item.number, item.kind, item.written))
        out.write("  normalised: %s\n" % normalized.get(item.written, "?"))
        out.write("  got:        %s\n" % line)
        out.write("  expected:   %s\n" % " | ".join(references))


def threshold(value):
    return value / 100.0 if value > 1.0 else value


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tool", default="tolvaren_tts_front",
                        help="path of tolvaren_tts_front")
    parser.add_argument("--conf", help="configuration file, passed as TOLVAREN_TTS_CONF")
    parser.add_argument("--set", default=DEFAULT_SET, help="everyday set (TSV)")
    parser.add_argument("--min-overall", type=float, default=None,
                        help="fail (exit 1) below this share of items right (0-1 or percent)")
    parser.add_argument("--min-kind", type=float, default=None,
                        help="fail (exit 1) when a kind is below this share")
    parser.add_argument("--show-errors", action="store_true",
                        help="print every item read wrong, with its normalised text")
    args = parser.parse_args(argv)

    try:
        items = load_items(args.set)
        if not items:
            raise sg.GoldError("no items in %s" % args.set)
        texts = [it.written for it in items] + [s for it in items for s in it.spoken]
        lines = sg.run_tool(args.tool, args.conf, texts)
        per_kind, overall, wrong = judge(items, lines)
        normalized = None
        if args.show_errors:
            written = [it.written for it in items]
            normalized = dict(zip(written, sg.run_tool(args.tool, args.conf, written,
                                                       mode="--normalized")))
    except (OSError, RuntimeError, sg.GoldError) as exc:
        sys.stderr.write("score_everyday: %s\n" % exc)
        return 2
    report(per_kind, overall, wrong, normalized, sys.stdout)

    status = 0
    checks = [("overall", args.min_overall, overall)]
    checks += [(name, args.min_kind, t) for name, t in sorted(per_kind.items())]
    for name, limit, tally in checks:
        value = share(tally.right, tally.items)
        if limit is not None and value < threshold(limit):
            sys.stdout.write("below threshold: %s %s < %s\n"
                             % (name, sg.pct(value), sg.pct(threshold(limit))))
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
