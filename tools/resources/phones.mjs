// The phone inventory and the pinyin <-> phones table, read from
// resources/dict/phones.tsv (its header explains the format). Everything the
// generator knows about phones comes from that file; nothing here hard-codes
// a syllable, so changing the inventory means editing the TSV only.

import { readFileSync } from 'node:fs';

const HEADER = ['kind', 'symbol', 'initial', 'final'];
const PHONE_KINDS = new Set(['initial', 'final', 'erhua', 'pause']);
const KINDS = new Set([...PHONE_KINDS, 'tone', 'syllable', 'alias']);
const NONE = '-';

export class PhonesFormatError extends Error {}

export class PhoneSet {
  constructor() {
    this.initials = [];
    this.finals = [];
    this.erhua = []; // { symbol, base }
    this.pauses = [];
    this.tones = [];
    // Phone records (initial, final, erhua, pause) in file order: the ids
    // are derived from this order alone.
    this.phoneRecords = []; // { kind, symbol }
    this.syllables = new Map(); // spelling -> { initial, final }
    this.aliases = new Map(); // spelling -> { initial, final }
    this.inverse = new Map(); // "initial final" -> spelling
    this.erhuaByBase = new Map(); // base final -> erhua symbol
    this.erhuaSymbols = new Map(); // erhua symbol -> base final
  }

  // Toneless spelling (v for ü) -> { initial ('' when none), final } or null.
  syllableToPhones(spelling) {
    return this.syllables.get(spelling) ?? this.aliases.get(spelling) ?? null;
  }

  // Phones of one syllable -> standard numbered pinyin (jin1, wanr1, zhir4).
  // `final` carries its tone digit; an erhua final comes back with its r.
  phonesToSyllable(initial, final) {
    const m = /^(.*?)([1-5])$/.exec(final);
    if (!m) return null;
    const [, toneless, tone] = m;
    const plain = this.inverse.get(`${initial} ${toneless}`);
    if (plain !== undefined) return plain + tone;
    // Not a plain syllable: an erhua final (g uar2 -> guar2). er after an
    // initial can only be e's erhua form (g er4 -> ger4); alone it stays er.
    const base = this.erhuaSymbols.get(toneless);
    const spelling = base === undefined ? undefined : this.inverse.get(`${initial} ${base}`);
    return spelling === undefined ? null : spelling + 'r' + tone;
  }

  // A token sequence as word2phone stores it ("j in1 t ian1") -> syllables
  // (["jin1", "tian1"]); null when the sequence is not well formed. A token
  // ending in 1-5 is a final; anything else is an initial followed by its
  // final, the same reading the front end applies.
  phonesToPinyin(tokens) {
    const out = [];
    for (let i = 0; i < tokens.length; i++) {
      let initial = '';
      let final = tokens[i];
      if (!/[1-5]$/.test(final)) {
        initial = final;
        final = tokens[++i];
        if (final === undefined) return null;
      }
      const s = this.phonesToSyllable(initial, final);
      if (s === null) return null;
      out.push(s);
    }
    return out;
  }

  // Combined mode: initials and the pause as they are, every final and every
  // erhua final once per tone 1-5. Ids start at 1 (0 is padding/unknown) and
  // follow the phone records of phones.tsv, so appending a record appends ids.
  combinedIds() {
    const ids = [];
    for (const { kind, symbol } of this.phoneRecords) {
      if (kind === 'final' || kind === 'erhua') {
        for (let tone = 1; tone <= 5; tone++) ids.push(symbol + tone);
      } else {
        ids.push(symbol);
      }
    }
    return ids.map((symbol, i) => [symbol, i + 1]);
  }

  // Separate-tone mode: one id per phone, tone not included.
  separateIds() {
    return this.phoneRecords.map(({ symbol }, i) => [symbol, i + 1]);
  }

  toneIds() {
    return this.tones.map((tone, i) => [tone, i + 1]);
  }
}

export function parsePhonesTsv(text, name = 'phones.tsv') {
  const set = new PhoneSet();
  const fail = (lineNo, msg) => {
    throw new PhonesFormatError(`${name}:${lineNo}: ${msg}`);
  };
  let sawHeader = false;
  const phoneSymbols = new Set();
  const spellings = new Set();
  const pending = []; // syllable and alias records, checked once all phones are known

  const lines = text.split('\n');
  if (lines[lines.length - 1] === '') lines.pop();
  lines.forEach((line, index) => {
    const lineNo = index + 1;
    if (line === '' || line.startsWith('#')) return;
    const fields = line.split('\t');
    if (!sawHeader) {
      if (fields.join('\t') !== HEADER.join('\t')) {
        fail(lineNo, `expected the header "${HEADER.join('<TAB>')}"`);
      }
      sawHeader = true;
      return;
    }
    if (fields.length !== HEADER.length) fail(lineNo, `expected ${HEADER.length} fields, found ${fields.length}`);
    const [kind, symbol, initial, final] = fields;
    if (!KINDS.has(kind)) fail(lineNo, `unknown kind "${kind}"`);
    if (!/^\S+$/.test(symbol) || symbol === NONE) fail(lineNo, 'empty or blank symbol');

    if (PHONE_KINDS.has(kind)) {
      // The separate-tone mode cuts the last byte off every token, so a
      // phone symbol ending in a digit would lose part of its name.
      if (!/^[a-z]+$/.test(symbol)) fail(lineNo, `phone symbol "${symbol}" must be lower-case letters`);
      if (kind === 'erhua') {
        if (initial !== NONE) fail(lineNo, 'erhua records leave the initial as "-"');
        if (!set.finals.includes(final)) fail(lineNo, `erhua base "${final}" is not a final defined above`);
        if (symbol !== final + 'r') fail(lineNo, `erhua final must be its base plus r`);
        if (set.erhuaByBase.has(final)) fail(lineNo, `second erhua form of "${final}"`);
        set.erhua.push({ symbol, base: final });
        set.erhuaByBase.set(final, symbol);
        set.erhuaSymbols.set(symbol, final);
        // e + r spells er, a final already: the run-time step writes e's
        // erhua form as that final, so it is no new phone and gets no ids.
        if (set.finals.includes(symbol)) return;
      } else if (initial !== NONE || final !== NONE) {
        fail(lineNo, `${kind} records leave initial and final as "-"`);
      }
      if (phoneSymbols.has(symbol)) fail(lineNo, `phone "${symbol}" defined twice`);
      phoneSymbols.add(symbol);
      if (kind === 'initial') set.initials.push(symbol);
      if (kind === 'final') set.finals.push(symbol);
      if (kind === 'pause') set.pauses.push(symbol);
      set.phoneRecords.push({ kind, symbol });
    } else if (kind === 'tone') {
      if (!/^[0-9]$/.test(symbol)) fail(lineNo, 'a tone is one digit');
      if (set.tones.includes(symbol)) fail(lineNo, `tone "${symbol}" defined twice`);
      set.tones.push(symbol);
    } else {
      if (spellings.has(symbol)) fail(lineNo, `spelling "${symbol}" defined twice`);
      spellings.add(symbol);
      pending.push({ lineNo, kind, symbol, initial, final });
    }
  });
  if (!sawHeader) throw new PhonesFormatError(`${name}: no header line`);

  for (const { lineNo, kind, symbol, initial, final } of pending) {
    if (initial !== NONE && !set.initials.includes(initial)) fail(lineNo, `unknown initial "${initial}"`);
    if (!set.finals.includes(final)) fail(lineNo, `unknown final "${final}"`);
    const phones = { initial: initial === NONE ? '' : initial, final };
    if (kind === 'syllable') {
      const key = `${phones.initial} ${final}`;
      if (set.inverse.has(key)) {
        fail(lineNo, `"${symbol}" has the same phones as "${set.inverse.get(key)}"; phones must convert back to one spelling`);
      }
      set.inverse.set(key, symbol);
      set.syllables.set(symbol, phones);
    } else {
      set.aliases.set(symbol, phones);
    }
  }
  // 0 is the tone byte of initials and the pause in separate-tone mode.
  for (const tone of ['0', '1', '2', '3', '4', '5']) {
    if (!set.tones.includes(tone)) throw new PhonesFormatError(`${name}: tone ${tone} missing`);
  }
  if (set.pauses.length === 0) throw new PhonesFormatError(`${name}: no pause phone`);
  return set;
}

export function loadPhoneSet(path) {
  return parsePhonesTsv(readFileSync(path, 'utf8'), path);
}
