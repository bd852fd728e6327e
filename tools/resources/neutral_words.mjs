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
// speech does not keep full (nor ends in a word of `readFull`, the words of
// read_speech_tones.tsv), in the order listed, each once.
export function pruneNeutralWords(candidates, cedict, readFull = new Set()) {
  const neutral = new Set();
  for (const { simplified, pinyin } of cedict) {
    const syllables = pinyin.trim().split(/\s+/);
    if (syllables.length === [...simplified].length && /5$/.test(syllables[syllables.length - 1])) {
      neutral.add(simplified);
    }
  }
  return [...new Set(candidates)].filter((word) => neutral.has(word) && !keepsFullTone(word, [...word].pop()) &&
    !readFull.has([...word].slice(-2).join('')));
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

// [initial, final] per syllable of an entry's tokens ('' for no initial).
function syllablesOf(tokens) {
  const syllables = [];
  let initial = '';
  for (const token of tokens) {
    if (/[1-5]$/.test(token)) {
      syllables.push([initial, token]);
      initial = '';
    } else {
      initial = token;
    }
  }
  return syllables;
}

// The lexical neutral tones careful reading keeps full, derived from the
// polyphone training labels by tools/polyphone/read_speech_tones.py
// (resources/dict/read_speech_tones.tsv; `words` as parseOverlay gives
// them: two-character words with their full reading). Every entry whose
// neutral syllable ends one of these words with the same spelling takes the
// word's full tone (关系, 没关系, 大部分), in place. Returns the number of
// entries changed.
export function restoreReadSpeechTones(entries, words) {
  const full = new Map(words.map(([word, tokens]) => [word, syllablesOf(tokens)[1]]));
  let changed = 0;
  for (const [word, tokens] of entries) {
    const chars = [...word];
    const syllables = syllablesOf(tokens);
    if (chars.length < 2 || syllables.length !== chars.length) continue;
    let touched = false;
    for (let i = 1; i < chars.length; i++) {
      const [initial, final] = syllables[i];
      const listed = full.get(chars[i - 1] + chars[i]);
      if (final.endsWith('5') && listed !== undefined && listed[0] === initial &&
          listed[1].slice(0, -1) === final.slice(0, -1)) {
        syllables[i] = listed;
        touched = true;
      }
    }
    if (touched) {
      entries.set(word, syllables.flatMap(([initial, final]) => (initial === '' ? [final] : [initial, final])));
      changed++;
    }
  }
  return changed;
}
