import assert from 'node:assert/strict';
import { test } from 'node:test';
import { parseWordList, pruneNeutralWords, restoreFullTones, restoreReadSpeechTones } from './neutral_words.mjs';

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
  // A word ending in one that careful reading keeps full is left out too.
  assert.deepEqual(pruneNeutralWords(words, cedict, new Set(['朋友'])), ['东西']);
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

test('the words the training labels read full give their tone to every entry they end', () => {
  const entries = new Map([
    ['关系', ['g', 'uan1', 'x', 'i5']], ['没关系', ['m', 'ei2', 'g', 'uan1', 'x', 'i5']],
    ['饺子', ['j', 'iao3', 'z', 'ii5']], ['部分', ['b', 'u4', 'f', 'en4']],
    ['系', ['x', 'i4']], ['关系户', ['g', 'uan1', 'x', 'i5', 'h', 'u4']],
  ]);
  const words = [['关系', ['g', 'uan1', 'x', 'i4']], ['部分', ['b', 'u4', 'f', 'en4']]];
  assert.equal(restoreReadSpeechTones(entries, words), 3);
  assert.deepEqual(entries.get('没关系'), ['m', 'ei2', 'g', 'uan1', 'x', 'i4']);
  assert.deepEqual(entries.get('关系户'), ['g', 'uan1', 'x', 'i4', 'h', 'u4']);
  assert.deepEqual(entries.get('饺子'), ['j', 'iao3', 'z', 'ii5']);
});
