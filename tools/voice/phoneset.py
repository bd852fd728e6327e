"""The phone inventory, read from resources/dict/phones.tsv and the
generated phone2id.dict (the front end's own id table)."""


def read_inventory(phones_tsv):
    """Returns dict kind -> list of records (symbol, initial, final)."""
    records = {}
    header_seen = False
    with open(phones_tsv, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if not header_seen:
                header_seen = True
                continue
            if len(fields) != 4:
                raise ValueError(f"bad record: {line!r}")
            kind, symbol, initial, final = fields
            records.setdefault(kind, []).append((symbol, initial, final))
    return records


def read_phone2id(path):
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                table[parts[0]] = int(parts[1])
    return table


def tone_of(phone):
    """Tone 1-5 of a final phone, 0 for initials and the pause."""
    return int(phone[-1]) if phone[-1] in "12345" else 0


class Inventory:
    def __init__(self, phones_tsv, phone2id):
        """phone2id: the generated phone2id.dict (path) or a dict."""
        rec = read_inventory(phones_tsv)
        self.initials = {s for s, _, _ in rec["initial"]}
        self.finals = [s for s, _, _ in rec["final"]]
        # erhua symbol -> base final ("-" final column means the record
        # adds no phone, as for e + r = er).
        self.erhua = {}
        for symbol, _, final in rec.get("erhua", []):
            if final != "-" and symbol not in self.finals:
                self.erhua[symbol] = final
        # syllable spelling -> (initial or None, final)
        self.syllables = {}
        for symbol, initial, final in rec["syllable"]:
            self.syllables[symbol] = (None if initial == "-" else initial, final)
        self.phone2id = (phone2id if isinstance(phone2id, dict)
                         else read_phone2id(phone2id))

    def ids(self, phones):
        return [self.phone2id[p] for p in phones]

    def random_utterance(self, rng, targets, length):
        """A random syllable sequence covering `targets` (final+tone phones,
        plain or erhua) first. Returns (phones, pinyin)."""
        by_final = {}
        for spelling, (initial, final) in sorted(self.syllables.items()):
            by_final.setdefault(final, []).append((spelling, initial))
        phones, pinyin = [], []
        prev_tone = 0
        for k in range(length):
            if targets:
                target = targets.pop()
            else:
                base = rng.choice(self.finals + list(self.erhua))
                tone = rng.randint(1, 5)
                target = f"{base}{tone}"
            base, tone = target[:-1], int(target[-1])
            if prev_tone == 3 and tone == 3:
                tone = rng.choice([1, 2, 4, 5])
            erhua = base in self.erhua
            final = self.erhua[base] if erhua else base
            spelling, initial = rng.choice(by_final[final])
            if erhua:
                spelling += "r"
            if k > 0 and rng.random() < 0.12:
                phones.append("sp")
                pinyin.append(None)
            if initial:
                phones.append(initial)
            phones.append(f"{base}{tone}")
            pinyin.append(f"{spelling}{tone}")
            prev_tone = tone
        phones.append("sp")
        return phones, [p for p in pinyin if p is not None]


def combined_ids(phones_tsv):
    """The combined-mode id table by the resource generator's rule: phone
    records in file order, initials and the pause once, finals and erhua
    finals once per tone 1-5 (an erhua form that is already a final adds
    nothing); ids from 1. The recipe reads the generated phone2id.dict;
    this exists to check a table against the inventory."""
    rec = read_inventory(phones_tsv)
    finals = {s for s, _, _ in rec.get("final", [])}
    symbols = []
    order = []
    with open(phones_tsv, encoding="utf-8") as f:
        header_seen = False
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if not header_seen:
                header_seen = True
                continue
            kind, symbol = line.split("\t")[:2]
            if kind in ("initial", "final", "erhua", "pause"):
                order.append((kind, symbol))
    for kind, symbol in order:
        if kind == "erhua" and symbol in finals:
            continue
        if kind in ("final", "erhua"):
            symbols.extend(f"{symbol}{t}" for t in range(1, 6))
        else:
            symbols.append(symbol)
    return {s: i + 1 for i, s in enumerate(symbols)}
