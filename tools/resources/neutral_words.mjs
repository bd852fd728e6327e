// The lexical neutral-tone words the front end uses: the candidate list of
// resources/dict/neutral_tone_words.txt, kept only where CC-CEDICT also
// reads the word's last syllable in the neutral tone (tone 5). A list word
// that a general dictionary reads with full tones (介绍, 母亲, 笑语) would
// otherwise lose a tone it keeps in careful speech.

import { readFileSync } from 'node:fs';

// One word per line; blank lines and lines starting with '#' are ignored.
export function parseWordList(text) {
  return text.replace(/\r\n/g, '\n').split('\n').map((line) => line.trim())
    .filter((line) => line !== '' && !line.startsWith('#'));
}

export function readWordList(file) {
  return parseWordList(readFileSync(file, 'utf8'));
}

// Words of `candidates` that some CC-CEDICT entry (of `cedict`, as
// readCedict gives them) reads with a neutral last syllable, in the order
// listed, each once.
export function pruneNeutralWords(candidates, cedict) {
  const neutral = new Set();
  for (const { simplified, pinyin } of cedict) {
    const syllables = pinyin.trim().split(/\s+/);
    if (syllables.length === [...simplified].length && /5$/.test(syllables[syllables.length - 1])) {
      neutral.add(simplified);
    }
  }
  return [...new Set(candidates)].filter((word) => neutral.has(word));
}
