#!/usr/bin/env python3
"""Extracts a corpus of modern Chinese prose sentences for benchmarks.

Reads the Simplified Chinese text of Debian's debian-reference-zh-cn package
(plain text, gzip) and of the manpages-zh package (groff sources, reduced to
their text), and writes up to --count sentences, one per line:
sentences cut at 。！？； that are mostly Han characters, with the ASCII
characters the tool refuses (/ \\ < > .) removed. Deterministic: the same
input gives the same corpus.

  python3 tools/corpus/make_prose_corpus.py OUT [--count 10000]
"""
import argparse
import glob
import gzip
import re
import sys

SOURCE = "/usr/share/debian-reference/debian-reference.zh-cn.txt.gz"
MAN_PAGES = "/usr/share/man/zh_CN/man*/*.gz"
GROFF_ESCAPE = re.compile(r"\\f[BIRP]|\\\(..|\\")


def man_page_text(pattern):
    """The running text of the man pages: requests and escapes dropped."""
    parts = []
    for path in sorted(glob.glob(pattern)):
        with gzip.open(path, "rt", encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith((".", "'")):
                    parts.append("\n")
                    continue
                parts.append(GROFF_ESCAPE.sub("", line))
    return "".join(parts)
REFUSED = str.maketrans("", "", "/\\<>.")
SENTENCE_END = re.compile(r"(?<=[。！？；])")


def han_share(text):
    han = sum(1 for c in text if "\u4e00" <= c <= "\u9fff")
    return han / max(len(text), 1)


def sentences(text):
    # Lines of a paragraph are joined first: the text is wrapped.
    for paragraph in re.split(r"\n\s*\n", text):
        joined = "".join(line.strip() for line in paragraph.splitlines())
        for sentence in SENTENCE_END.split(joined):
            sentence = sentence.translate(REFUSED).strip()
            if 8 <= len(sentence) <= 60 and han_share(sentence) >= 0.7:
                yield sentence


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--count", type=int, default=10000)
    parser.add_argument("--source", default=SOURCE)
    parser.add_argument("--man-pages", default=MAN_PAGES)
    args = parser.parse_args()
    try:
        with gzip.open(args.source, "rt", encoding="utf-8") as f:
            text = f.read()
    except OSError as error:
        sys.exit(f"cannot read {args.source}: {error} "
                 "(apt-get install debian-reference-zh-cn)")
    text += "\n\n" + man_page_text(args.man_pages)
    seen = set()
    chosen = []
    for sentence in sentences(text):
        if sentence not in seen:
            seen.add(sentence)
            chosen.append(sentence)
    if len(chosen) < args.count:
        # Repeat the set rather than fall short; say so.
        print(f"only {len(chosen)} distinct sentences; repeating them",
              file=sys.stderr)
        chosen = (chosen * (args.count // max(len(chosen), 1) + 1))
    with open(args.out, "w", encoding="utf-8") as f:
        for sentence in chosen[:args.count]:
            f.write(sentence + "\n")


if __name__ == "__main__":
    main()
