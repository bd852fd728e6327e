import assert from 'node:assert/strict';
import { test } from 'node:test';
import { parseWordList, pruneNeutralWords, restoreFullTones } from './neutral_words.mjs';

test('a listed word is kept only where CC-CEDICT reads its last syllable neutral', () => {
  const cedict = [
    { simplified: '朋友', pinyin: 'peng2 you5' },
    { simplified: '介绍', pinyin: 'jie4 shao4' },
    { simplified: '东西', pinyin: 'dong1 xi1' },
    { simplified: '东西', pinyin: 'dong1 xi5' },
    { simplified: '学问', pinyin: 'xue2 wen4' },
    { simplified: '笑语', pinyin: 'xiao4 yu5 r5' },  // syllables do not match
    { simplified: '时候', pinyin: 'shi2 hou5' },
    { simplified: '过去', pinyin: 'guo4 qu5' },
  ];
  const words = parseWordList('# header\n朋友\n\n介绍\r\n东西\n朋友\n学问\n笑语\n母亲\n时候\n过去\n');
  assert.deepEqual(words, ['朋友', '介绍', '东西', '朋友', '学问', '笑语', '母亲', '时候', '过去']);
  assert.deepEqual(pruneNeutralWords(words, cedict), ['朋友', '东西']);
});

test('read speech gets back the full tone of complements, locatives and listed words', () => {
  const entries = new Map([
    ['来', ['l', 'ai2']], ['里', ['l', 'i3']], ['候', ['h', 'ou4']], ['友', ['iu3']],
    ['是', ['sh', 'iii4']], ['起来', ['q', 'i3', 'l', 'ai5']], ['那里', ['n', 'a4', 'l', 'i5']],
    ['时候', ['sh', 'iii2', 'h', 'ou5']], ['朋友', ['p', 'eng2', 'iu5']],
    ['老是', ['l', 'ao3', 'sh', 'i5']],  // spelled unlike 是 itself: left alone
    ['回来', ['h', 'ui2', 'l', 'ai2']],
  ]);
  assert.equal(restoreFullTones(entries), 3);
  assert.deepEqual(entries.get('起来'), ['q', 'i3', 'l', 'ai2']);
  assert.deepEqual(entries.get('那里'), ['n', 'a4', 'l', 'i3']);
  assert.deepEqual(entries.get('时候'), ['sh', 'iii2', 'h', 'ou4']);
  assert.deepEqual(entries.get('朋友'), ['p', 'eng2', 'iu5']);
  assert.deepEqual(entries.get('老是'), ['l', 'ao3', 'sh', 'i5']);
});
