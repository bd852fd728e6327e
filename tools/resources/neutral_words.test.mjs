import assert from 'node:assert/strict';
import { test } from 'node:test';
import { parseWordList, pruneNeutralWords } from './neutral_words.mjs';

test('a listed word is kept only where CC-CEDICT reads its last syllable neutral', () => {
  const cedict = [
    { simplified: '朋友', pinyin: 'peng2 you5' },
    { simplified: '介绍', pinyin: 'jie4 shao4' },
    { simplified: '东西', pinyin: 'dong1 xi1' },
    { simplified: '东西', pinyin: 'dong1 xi5' },
    { simplified: '学问', pinyin: 'xue2 wen4' },
    { simplified: '笑语', pinyin: 'xiao4 yu5 r5' },  // syllables do not match
  ];
  const words = parseWordList('# header\n朋友\n\n介绍\r\n东西\n朋友\n学问\n笑语\n母亲\n');
  assert.deepEqual(words, ['朋友', '介绍', '东西', '朋友', '学问', '笑语', '母亲']);
  assert.deepEqual(pruneNeutralWords(words, cedict), ['朋友', '东西']);
});
