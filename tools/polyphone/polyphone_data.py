"""Shared pieces of the polyphone trainer and scorer.

- the data sets: sentences with one character between two U+2581 marks, and
  their readings (numbered tone, v for u-umlaut);
- running the built front end's --readings mode over them and finding the
  marked character among its words;
- the phone table (resources/dict/phones.tsv) between pinyin and phones;
- the context features, built exactly as
  src/speech_neural_network/lexicon/polyphone_features.cc builds them.
"""

import difflib
import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
# The polyphone data sits in the shared folder beside the clone.
DATA = os.path.normpath(os.path.join(REPO, "..", "shared", "data", "polyphone"))
MARK = "\u2581"
# Characters the tool refuses in a text, and stand-ins it reads the same way.
REFUSED = str.maketrans({".": "\uff0e", "/": "\uff0f", "\\": "\uff3c",
                         "<": "\uff1c", ">": "\uff1e"})


class DataError(Exception):
    pass


# cpp/dev is split by line: its even lines train, its odd lines are held
# out and only ever scored, as the set "cpp/dev@odd".
PARTS = {"even": slice(0, None, 2), "odd": slice(1, None, 2)}
SCORED = ("g2pl/test", "cpp/dev@odd")


def load_set(stem):
    """[(text without marks, index of the marked character, reading)];
    STEM@even or STEM@odd for every other line of the set."""
    stem, _, part = stem.partition("@")
    if part and part not in PARTS:
        raise DataError("%s: unknown part @%s (even, odd)" % (stem, part))
    with open(stem + ".sent", encoding="utf-8") as handle:
        sentences = handle.read().splitlines()
    with open(stem + ".lb", encoding="utf-8") as handle:
        labels = handle.read().splitlines()
    if len(sentences) != len(labels):
        raise DataError("%s: %d sentences but %d readings"
                        % (stem, len(sentences), len(labels)))
    items = []
    for number, (sentence, label) in enumerate(zip(sentences, labels), 1):
        parts = sentence.split(MARK)
        if len(parts) != 3 or len(parts[1]) != 1:
            raise DataError("%s.sent:%d: expected one character between two "
                            "marks" % (stem, number))
        items.append((parts[0] + parts[1] + parts[2], len(parts[0]),
                      label.strip()))
    return items[PARTS[part]] if part else items


def parse_readings_line(line):
    """[(word, tag, [syllable...], decided_by)] of one --readings line."""
    words = []
    if not line:
        return words
    for field in line.split("\t"):
        parts = field.rsplit("/", 3)
        if len(parts) != 4:
            raise DataError("unexpected --readings field %r" % field)
        word, tag, pinyin, decided = parts
        words.append((word, tag, pinyin.split("+") if pinyin else [], decided))
    return words


def rules_only_conf(build, tmp, word2phone=None):
    """A tool.conf whose front end has no polyphone model (and reads the
    dictionary `word2phone` where one is given)."""
    conf_dir = os.path.join(build, "resources", "conf")
    with open(os.path.join(conf_dir, "front.conf"), encoding="utf-8") as f:
        front = [l for l in f if not l.startswith("--polyphone_model_path=")]
    if word2phone is not None:
        front = [("--word2phone_path=%s\n" % word2phone)
                 if l.startswith("--word2phone_path=") else l for l in front]
    front_path = os.path.join(tmp, "front.conf")
    with open(front_path, "w", encoding="utf-8") as f:
        f.writelines(front)
    tool_path = os.path.join(tmp, "tool.conf")
    with open(os.path.join(conf_dir, "tool.conf"), encoding="utf-8") as f:
        tool = [("--front_conf_path=%s\n" % front_path)
                if l.startswith("--front_conf_path=") else l for l in f]
    with open(tool_path, "w", encoding="utf-8") as f:
        f.writelines(tool)
    return tool_path


def run_readings(front, tool_conf, texts):
    """The front end's words for each text, or None where it failed."""
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "texts.txt")
        with open(path, "w", encoding="utf-8") as handle:
            for text in texts:
                handle.write(text.translate(REFUSED).replace("\n", " ") + "\n")
        result = subprocess.run(
            [front, "--conf", tool_conf, "--readings", "--file", path],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False)
    lines = result.stdout.decode("utf-8").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if len(lines) != len(texts):
        raise DataError("the front end printed %d lines for %d texts"
                        % (len(lines), len(texts)))
    return [None if line.startswith("ERROR:") else parse_readings_line(line)
            for line in lines]


def locate(text, index, words):
    """(word number, character within it) of text[index] among `words`, or
    None when normalisation dropped it or changed it into more or fewer
    characters. A character the conversion to simplified script replaced
    one for one (藉口 -> 借口) is found at its replacement: what is scored
    is the sound spoken for it."""
    chars = "".join(w[0] for w in words)
    if chars == text:
        at = index
    else:
        matcher = difflib.SequenceMatcher(None, text, chars, autojunk=False)
        at = None
        for tag, i1, i2, j1, j2 in matcher.get_opcodes():
            if not i1 <= index < i2:
                continue
            if tag == "equal" or (tag == "replace" and i2 - i1 == j2 - j1):
                at = j1 + index - i1
            break
        if at is None:
            return None
    start = 0
    for number, word in enumerate(words):
        if at < start + len(word[0]):
            return number, at - start
        start += len(word[0])
    return None


def toneless(syllable):
    return syllable[:-1] if syllable and syllable[-1].isdigit() else syllable


class PhoneTable:
    """Toneless pinyin <-> (initial, final) from phones.tsv's syllable and
    alias records; initial "-" for none."""

    def __init__(self, path=os.path.join(REPO, "resources", "dict",
                                         "phones.tsv")):
        self.to_phones = {}
        self.to_pinyin = {}
        with open(path, encoding="utf-8") as handle:
            for line in handle:
                fields = line.rstrip("\n").split("\t")
                if len(fields) != 4 or fields[0] not in ("syllable", "alias"):
                    continue
                kind, spelling, initial, final = fields
                self.to_phones.setdefault(spelling, (initial, final))
                if kind == "syllable":
                    self.to_pinyin[(initial, final)] = spelling

    def phones(self, pinyin):
        """"zhang3" -> "zh ang3"; None when the phone set cannot spell it."""
        if len(pinyin) < 2 or pinyin[-1] not in "12345":
            return None
        pair = self.to_phones.get(pinyin[:-1])
        if pair is None:
            return None
        return "%s %s%s" % (pair[0], pair[1], pinyin[-1])

    def pinyin(self, phones):
        initial, final = phones.split(" ")
        spelling = self.to_pinyin.get((initial, final[:-1]))
        return None if spelling is None else spelling + final[-1]


def fnv1a64(name):
    value = 14695981039346656037
    for byte in name.encode("utf-8"):
        value ^= byte
        value = (value * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return value


def feature_names(words, word, at, base_phones):
    """The names polyphone_features.cc builds for character `at` of word
    `word`; `words` are (word, tag, ...) tuples; `base_phones` the reading
    before the model as "INITIAL FINAL"."""
    chars = "".join(w[0] for w in words)
    i = sum(len(w[0]) for w in words[:word]) + at

    def c(offset):
        k = i + offset
        if k < 0:
            return "^"
        if k >= len(chars):
            return "$"
        return chars[k]

    def w(offset, field):
        k = word + offset
        if k < 0:
            return "^"
        if k >= len(words):
            return "$"
        return words[k][field]

    names = ["b"]
    for offset in (-3, -2, -1, 1, 2, 3):
        names.append("c%s%d=%s" % ("+" if offset > 0 else "", offset,
                                   c(offset)))
    names += ["l2=" + c(-2) + c(-1), "r2=" + c(1) + c(2),
              "lr=" + c(-1) + c(1),
              "w=" + w(0, 0), "w-1=" + w(-1, 0), "w+1=" + w(1, 0),
              "t=" + w(0, 1), "t-1=" + w(-1, 1), "t+1=" + w(1, 1),
              "t-2=" + w(-2, 1), "t+2=" + w(2, 1), "w+2=" + w(2, 0),
              "p=%d/%d" % (at, len(words[word][0])),
              "d=" + base_phones]
    return names
