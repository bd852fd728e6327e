import assert from 'node:assert/strict';
import { dirname, join } from 'node:path';
import { describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { loadPhoneSet } from './phones.mjs';
import { buildWord2Phone, DROP, pronounce, rankCedictChars, sortedByUtf8 } from './word2phone.mjs';

const phones = loadPhoneSet(join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'resources', 'dict', 'phones.tsv'));
const say = (word, reading) => {
  const r = pronounce(word, reading, phones);
  return r.tokens ? r.tokens.join(' ') : r.drop;
};

describe('one reading to phones', () => {
  test('one syllable per character (in code points), or the entry is dropped', () => {
    assert.equal(say('中国', 'Zhong1 guo2'), 'zh ong1 g uo2');
    assert.equal(say('𰻝𰻝面', 'biáng biáng miàn'), 'b iang2 b iang2 m ian4');
    assert.equal(say('中国', 'zhōng'), DROP.count);
    assert.equal(say('兙', 'shi2 ke4'), DROP.count);
  });

  test('non-Han keys and spellings outside the inventory are dropped', () => {
    for (const key of ['3D打印', '阿Ｑ', '饱食终日，无所用心', '中 国']) assert.equal(say(key, 'a1 a1'), DROP.nonHan, key);
    assert.equal(say('二〇', 'èr líng'), 'er4 l ing2');
    assert.equal(say('丆', 'xx5'), DROP.unmapped);
    assert.equal(say('枝大于本', 'zh dà yú běn'), DROP.unmapped);
  });

  test('儿 keeps its own syllable; erhua spellings become er5', () => {
    assert.equal(say('哪儿', 'na3 r5'), 'n a3 er5');
    assert.equal(say('哪儿', 'nǎr'), 'n a3 er5');
    assert.equal(say('花儿朵', 'huār duǒ'), 'h ua1 er5 d uo3');
    assert.equal(say('哪里', 'nǎr'), DROP.count, 'nothing to split without a following 儿');
    assert.equal(say('女儿', 'nǚ ér'), 'n v3 er2');
  });

  test('一 and 不 in base tones, other readings untouched', () => {
    assert.equal(say('一模一样', 'yì mú yí yàng'), 'i1 m u2 i1 iang4');
    assert.equal(say('不是', 'bú shì'), 'b u4 sh iii4');
    assert.equal(say('不', 'fǒu'), 'f ou3');
    assert.equal(say('衣', 'yì'), 'i4');
  });
});

describe('choosing among sources and readings', () => {
  const entry = (simplified, pinyin, ...definitions) => ({ simplified, pinyin, definitions });
  const build = ({ pp = {}, ppChars = {}, cc = [], p4 = {}, p4Chars = {} }) => {
    const map = (o) => new Map(Object.entries(o));
    const { entries, stats } = buildWord2Phone({
      pinyinPro: { chars: map(ppChars), words: map(pp) }, cedict: cc, pinyin4: { chars: map(p4Chars), words: map(p4) },
    }, new Map(), phones);
    return { get: (k) => entries.get(k)?.join(' '), stats };
  };

  test('pinyin-pro over CC-CEDICT over pinyin@4; an unusable entry passes to the next', () => {
    const r = build({
      pp: { 东西: 'dōng xi', 枝大于本: 'zh dà yú běn' }, ppChars: { 乐: ['lè', 'yuè'] },
      cc: [entry('东西', 'dong1 xi1', 'east and west'), entry('南北', 'nan2 bei3', 'north and south')],
      p4: { 东西: 'dōng xī', 南北: 'nán běi', 枝大于本: 'zhī dà yú běn' }, p4Chars: { 乐: ['yuè'], 𠀀: ['hē'] },
    });
    assert.deepEqual(['东西', '南北', '枝大于本', '乐', '𠀀'].map(r.get),
      ['d ong1 x i5', 'n an2 b ei3', 'zh iii1 d a4 v2 b en3', 'l e4', 'h e1']);
    const [pp, cc, p4] = r.stats;
    assert.deepEqual([pp.used.words, cc.used.words, p4.used.words, pp.used.chars, p4.used.chars], [1, 1, 1, 1, 1]);
    assert.equal(pp.dropped.get(DROP.unmapped), 1);
  });

  test('CC-CEDICT prefers ordinary words to proper nouns and cross-references', () => {
    const r = build({
      cc: [
        entry('黄山', 'Huang2 shan1', 'Huangshan, mountain in Anhui'), entry('黄山', 'huang2 shan5', 'yellow hill'),
        entry('么么', 'yao1 yao1', 'variant of 幺幺'), entry('么么', 'mo2 mo2', 'tiny'),
        entry('长长', 'zhang3 zhang3', 'surname Zhang'),
      ],
    });
    assert.deepEqual(['黄山', '么么', '长长'].map(r.get), ['h uang2 sh an5', 'm o2 m o2', 'zh ang3 zh ang3']);
  });

  test('a CC-CEDICT character takes the reading its frequent words use', () => {
    const cands = (...readings) => readings.map((t, i) => ({ tokens: t.split(' '), pref: [0, 0, i] }));
    const chars = new Map([['乐', cands('l e4', 'iue4')], ['子', cands('z ii3', 'z ii5')]]);
    const words = new Map([
      ['音乐', ['in1', 'iue4']], ['快乐', ['k', 'uai4', 'l', 'e4']], ['乐园', ['l', 'e4', 'van2']],
      ['桌子', ['zh', 'uo1', 'z', 'ii5']], ['孩子', ['h', 'ai2', 'z', 'ii5']],
    ]);
    const ranked = rankCedictChars(chars, words, new Map([['音乐', 5000], ['快乐', 100], ['乐园', 100]]));
    assert.deepEqual(ranked.get('乐'), ['iue4'], 'one frequent word outweighs two rarer ones');
    assert.deepEqual(rankCedictChars(chars, words, new Map()).get('乐'), ['l', 'e4'], 'unweighted, the count decides');
    assert.deepEqual(ranked.get('子'), ['z', 'ii3'], 'neutral-tone uses do not vote');
  });
});

test('keys sort by UTF-8 bytes, not UTF-16 units', () => {
  // U+FF21 sorts after U+20000's surrogates in UTF-16 but before it in UTF-8.
  const keys = sortedByUtf8(new Map([['𠀀', 1], ['\uFF21', 2], ['中', 3], ['一', 4]])).map(([k]) => k);
  assert.deepEqual(keys, ['一', '中', '\uFF21', '𠀀']);
});

