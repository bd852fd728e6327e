// Corrections to word2phone, applied after every source so that they win
// and survive each regeneration: resources/dict/pronunciation_overlay.tsv.
//
// One correction a line, "WORD<TAB>PINYIN" with numbered tones
// ("结果\tjie2 guo3"); blank lines and lines starting with '#' are ignored.
// A correction replaces the word's entry or adds one.

import { readFileSync } from 'node:fs';
import { pronounce } from './word2phone.mjs';

export class OverlayFormatError extends Error {}

// Returns [[word, tokens]...] in file order; throws OverlayFormatError naming
// the file and line for a line that is not a correction the phone set can
// spell with one syllable per character.
export function parseOverlay(text, phones, name = 'pronunciation_overlay.tsv') {
  const corrections = [];
  text.replace(/\r\n/g, '\n').split('\n').forEach((raw, index) => {
    const line = raw.trim();
    if (line === '' || line.startsWith('#')) return;
    const fields = line.split('\t');
    const where = `${name}:${index + 1}`;
    if (fields.length !== 2) throw new OverlayFormatError(`${where}: expected WORD<TAB>PINYIN, got "${line}"`);
    const [word, reading] = fields.map((f) => f.trim());
    const result = pronounce(word, reading, phones);
    if (result.drop) throw new OverlayFormatError(`${where}: cannot read "${line}" (${result.detail})`);
    corrections.push([word, result.tokens]);
  });
  return corrections;
}

export function readOverlay(file, phones) {
  return parseOverlay(readFileSync(file, 'utf8'), phones, file);
}

// Applies `corrections` to `entries` (word -> tokens) in place; returns how
// many of them changed an existing entry and how many added one.
export function applyOverlay(entries, corrections) {
  let replaced = 0;
  let added = 0;
  for (const [word, tokens] of corrections) {
    if (entries.has(word)) replaced++;
    else added++;
    entries.set(word, tokens);
  }
  return { replaced, added };
}
