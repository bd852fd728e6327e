// Reading one pinyin syllable as the three sources write it, into a toneless
// spelling plus a tone digit.
//
// The sources disagree on notation: pinyin-pro and pinyin@4 use tone marks
// (zhōng, nǚ, ḿ, ê̄), CC-CEDICT uses trailing digits and "u:" for ü (nu:3),
// and neutral syllables carry either no mark at all or the digit 5. Working
// on the NFD form turns every marked letter into a base letter followed by
// combining marks, so one small table covers precomposed and decomposed
// input alike.

const TONE_MARKS = new Map([
  ['\u0304', 1], // macron: ā
  ['\u0301', 2], // acute: á
  ['\u030C', 3], // caron: ǎ
  ['\u0306', 3], // breve: ă, a common stand-in for the caron in hand-typed pinyin
  ['\u0300', 4], // grave: à
]);
const DIAERESIS = '\u0308';
const CIRCUMFLEX = '\u0302';

// Returns { base, tone } with base in lower case, ü written v and ê kept as ê,
// tone 1-5 (5 for a syllable without mark or digit), or null when the text is
// not a single syllable in any of the notations above.
export function parseSyllable(raw) {
  if (typeof raw !== 'string') return null;
  let text = raw.trim().normalize('NFD').toLowerCase();
  if (text === '') return null;

  let tone = 0;
  const digit = /([0-5])$/.exec(text);
  if (digit) {
    tone = Number(digit[1]);
    // Some data writes the neutral tone as 0; the resources only know 5.
    if (tone === 0) tone = 5;
    text = text.slice(0, -1);
  }

  let base = '';
  for (let i = 0; i < text.length; i++) {
    const ch = text[i];
    const markTone = TONE_MARKS.get(ch);
    if (markTone !== undefined) {
      // Two tones on one syllable (a mark and a digit, or two marks) means
      // the text is not what we think it is.
      if (tone !== 0 && tone !== markTone) return null;
      tone = markTone;
    } else if (ch === DIAERESIS) {
      if (!base.endsWith('u')) return null;
      base = base.slice(0, -1) + 'v';
    } else if (ch === CIRCUMFLEX) {
      if (!base.endsWith('e')) return null;
      base = base.slice(0, -1) + 'ê';
    } else if (ch === ':') {
      // CC-CEDICT's u: for ü.
      if (!base.endsWith('u')) return null;
      base = base.slice(0, -1) + 'v';
    } else if (ch >= 'a' && ch <= 'z') {
      base += ch;
    } else {
      return null;
    }
  }
  if (base === '' || !/^[a-zê]+$/.test(base)) return null;
  return { base, tone: tone === 0 ? 5 : tone };
}

// Splits a reading such as "zhōng guó" or "Zhong1 guo2" into its syllable
// texts. Consecutive spaces are tolerated.
export function splitReading(text) {
  return text.trim().split(/\s+/).filter((s) => s !== '');
}
