"""Collects Chinese prose sentences from Debian's Chinese text packages.

Sources (whatever of them is installed): fortunes-zh (fortune files),
debian-reference-zh-cn (HTML chapters) and manpages-zh (troff pages). Each
source is cleaned of markup, cut into sentences at sentence-end marks and
line breaks, and filtered: mostly Han characters, a bounded length, none of
the characters the front end refuses. The result is deterministic for a
given set of installed files.

Usage: python3 -m tools.voice.corpus_text OUT.txt [--max N]
"""
import argparse
import glob
import gzip
import html
import os
import re
import sys

FORTUNE_FILES = ["/usr/share/games/fortunes/chinese.u8",
                 "/usr/share/games/fortunes/tang300.u8",
                 "/usr/share/games/fortunes/song100.u8"]
REFERENCE_GLOB = "/usr/share/debian-reference/*.zh-cn.html"
MAN_GLOB = "/usr/share/man/zh_CN/man*/*"

ANSI = re.compile(r"\x1b\[[0-9;]*m")
TAG = re.compile(r"<[^>]*>")
TROFF_REQUEST = re.compile(r"^[.'].*$", re.M)
TROFF_ESCAPE = re.compile(r"\\f[BIRP]|\\\(..|\\[-&e|^]|\\s[-+]?\d")
SENTENCE_END = re.compile(r"[。！？；\n]+")
HAN = re.compile(r"[\u4e00-\u9fff]")
# Characters kept in a sentence besides Han: Chinese punctuation and digits.
ALLOWED = re.compile(r"^[\u4e00-\u9fff，、：“”‘’（）《》0-9％%]+$")


def is_han(ch):
    return "\u4e00" <= ch <= "\u9fff"


def clean_sentence(text):
    """Returns the sentence ready for the front end, or None to drop it."""
    text = text.strip().replace(" ", "").replace("\u3000", "")
    text = text.strip("，、：")
    if not text or not ALLOWED.match(text):
        return None
    han = sum(1 for ch in text if is_han(ch))
    if han < 6 or len(text) > 60 or han < 0.8 * len(text):
        return None
    return text + "。"


def split_sentences(text):
    out = []
    for piece in SENTENCE_END.split(text):
        sentence = clean_sentence(piece)
        if sentence:
            out.append(sentence)
    return out


def fortune_text(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        text = ANSI.sub("", f.read())
    # A fortune's lines are wrapped at fixed width: join them.
    return "\n".join(entry.replace("\n", "") for entry in text.split("%"))


def html_text(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    text = re.sub(r"<(pre|script|style)[^>]*>.*?</\1>", "\n", text, flags=re.S)
    text = re.sub(r"</?(p|div|li|td|tr|h\d|br|dt|dd|title)[^>]*>", "\n", text)
    return html.unescape(TAG.sub("", text))


def man_text(path):
    opener = gzip.open if path.endswith(".gz") else open
    try:
        with opener(path, "rt", encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return ""
    text = TROFF_REQUEST.sub("\n", text)
    return TROFF_ESCAPE.sub("", text)


def collect():
    texts = []
    for path in FORTUNE_FILES:
        if os.path.exists(path):
            texts.append(fortune_text(path))
    for path in sorted(glob.glob(REFERENCE_GLOB)):
        texts.append(html_text(path))
    for path in sorted(glob.glob(MAN_GLOB)):
        if os.path.isfile(path):
            texts.append(man_text(path))
    seen = set()
    sentences = []
    for text in texts:
        for sentence in split_sentences(text):
            if sentence not in seen:
                seen.add(sentence)
                sentences.append(sentence)
    return sentences


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--max", type=int, default=0)
    args = parser.parse_args()
    sentences = collect()
    if args.max:
        sentences = sentences[:args.max]
    with open(args.out, "w", encoding="utf-8") as f:
        f.write("".join(s + "\n" for s in sentences))
    print(f"{len(sentences)} sentences -> {args.out}", file=sys.stderr)


if __name__ == "__main__":
    main()
