import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { parsePhonesTsv, PhonesFormatError } from './phones.mjs';
import { parseSyllable } from './pinyin_text.mjs';

const TSV = readFileSync(join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'resources', 'dict', 'phones.tsv'), 'utf8');
const phones = parsePhonesTsv(TSV);

describe('pinyin to phones', () => {
  test('tone marks, digits and ü notations all read the same', () => {
    const read = (t) => { const s = parseSyllable(t); return s && s.base + s.tone; };
    const cases = {
      'zhōng': 'zhong1', 'Zhong1': 'zhong1', 'nǚ': 'nv3', 'nu\u0308\u030C': 'nv3', 'lu:e4': 'lve4', 'lv3': 'lv3',
      'ma\u0306': 'ma3', 'de': 'de5', 'de0': 'de5', 'ḿ': 'm2', 'ǹg': 'ng4', 'ế': 'ê2', 'mā1': 'ma1',
    };
    for (const [input, expected] of Object.entries(cases)) assert.equal(read(input), expected, input);
    for (const bad of ['', 'xx-5', 'zhong 1', '3D', 'zhōng2', 'mǎ̀', 'la:4', '，']) assert.equal(read(bad), null, bad);
  });

  test('tricky spellings: y/w, ü, zi/zhi, iou/uei/uen, interjections', () => {
    const cases = {
      yi: 'i', you: 'iu', yan: 'ian', yong: 'iong', yo: 'io', yu: 'v', yue: 've', yuan: 'van', yun: 'vn',
      wu: 'u', wo: 'uo', wei: 'ui', wen: 'un', weng: 'ueng',
      ju: 'j v', xue: 'x ve', juan: 'j van', qun: 'q vn', lv: 'l v', lu: 'l u', nve: 'n ve', lue: 'l ve', xv: 'x v',
      zi: 'z ii', si: 's ii', zhi: 'zh iii', ri: 'r iii', ji: 'j i', liu: 'l iu', gui: 'g ui', lun: 'l un',
      ng: 'eng', hng: 'h eng', n: 'en', m: 'en', hm: 'h en', 'ê': 'ei',
      y: null, w: null, zhv: null, bue: null, r: null, ger: null,
    };
    for (const [syllable, expected] of Object.entries(cases)) {
      const p = phones.syllableToPhones(syllable);
      assert.equal(p && [p.initial, p.final].filter(Boolean).join(' '), expected, syllable);
    }
  });

  test('inventory: 21 initials, 39 finals, all but er with an erhua form', () => {
    assert.equal(phones.initials.length, 21);
    assert.equal(phones.finals.length, 39);
    const withErhua = new Set(phones.erhua.map((e) => e.base));
    assert.deepEqual(phones.finals.filter((f) => !withErhua.has(f)), ['er']);
    assert.ok(phones.syllables.size >= 405 && phones.syllables.size <= 420, `${phones.syllables.size} syllables`);
  });
});

describe('phones back to pinyin', () => {
  test('every syllable survives the round trip, plain with every tone and as erhua', () => {
    for (const [syllable, { initial, final }] of phones.syllables) {
      for (let tone = 1; tone <= 5; tone++) assert.equal(phones.phonesToSyllable(initial, final + tone), syllable + tone);
      const erhua = phones.erhuaByBase.get(final);
      if (erhua) assert.equal(phones.phonesToSyllable(initial, `${erhua}2`), `${syllable}r2`, syllable);
    }
  });

  test('token sequences as word2phone stores them', () => {
    const back = (text) => phones.phonesToPinyin(text.split(' '))?.join(' ') ?? null;
    assert.equal(back('j in1 t ian1'), 'jin1 tian1');
    assert.equal(back('uanr1 iu3 ui4 un2 eng2'), 'wanr1 you3 wei4 wen2 eng2');
    assert.equal(back('l iu2 h uar1 zh iiir4 g er4 er2 n v3 j v3'), 'liu2 huar1 zhir4 ger4 er2 nv3 ju3');
    for (const bad of ['zh', 'zh i1', 'a6', 'j u3']) assert.equal(back(bad), null, bad);
  });
});

describe('identifiers', () => {
  const combined = phones.combinedIds();
  const separate = phones.separateIds();
  const dense = (pairs) => pairs.every(([, id], i) => id === i + 1) && new Set(pairs.map(([s]) => s)).size === pairs.length;

  test('dense from 1, and separate-tone symbols are the combined ones without tone', () => {
    assert.ok(dense(combined) && dense(separate) && dense(phones.toneIds()));
    assert.deepEqual(new Set(separate.map(([s]) => s)), new Set(combined.map(([s]) => s.replace(/[1-5]$/, ''))));
    const symbols = new Set(combined.map(([s]) => s));
    for (const s of ['b', 'sp', 'a1', 'a5', 'iii3', 'uanr1', 'iiir5', 'er4']) assert.ok(symbols.has(s), s);
    assert.deepEqual(phones.toneIds().map(([t]) => t), ['0', '1', '2', '3', '4', '5']);
  });

  test('a phone appended to phones.tsv leaves every existing id alone', () => {
    const grown = parsePhonesTsv(`${TSV}final\tueai\t-\t-\n`);
    const after = new Map(grown.combinedIds());
    for (const [symbol, id] of combined) assert.equal(after.get(symbol), id, symbol);
    assert.equal(after.get('ueai1'), combined.length + 1);
    assert.equal(new Map(grown.separateIds()).get('ueai'), separate.length + 1);
  });
});

test('phones.tsv mistakes are refused', () => {
  const minimal = 'kind\tsymbol\tinitial\tfinal\ninitial\tb\t-\t-\nfinal\ta\t-\t-\npause\tsp\t-\t-\n' +
    '0 1 2 3 4 5'.split(' ').map((t) => `tone\t${t}\t-\t-\n`).join('') + 'syllable\tba\tb\ta\n';
  assert.equal(parsePhonesTsv(`# comment\n\n${minimal}`).phonesToSyllable('b', 'a3'), 'ba3');
  const broken = [
    minimal.replace('kind\tsymbol', 'type\tsymbol'), `${minimal}syllable\tpa\tb\n`, `${minimal}initial\tb\t-\t-\n`,
    `${minimal}syllable\tbo\tb\to\n`, `${minimal}syllable\tbah\tb\ta\n`, `${minimal}initial\tb2\t-\t-\n`,
    `${minimal}erhua\tax\t-\ta\n`, minimal.replace('tone\t0\t-\t-\n', ''),
  ];
  for (const text of broken) assert.throws(() => parsePhonesTsv(text), PhonesFormatError, text);
});
