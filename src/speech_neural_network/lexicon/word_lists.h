// The fixed punctuation and word lists that the merges, sandhi, erhua and id
// steps consult. Built once, never changed.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_WORD_LISTS_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_WORD_LISTS_H_

#include <string>
#include <vector>

namespace speechnn {

using WordList = std::vector<std::string>;

// Marks spoken as a pause.
const WordList& PausePunctuation();
// Quotation marks: never spoken.
const WordList& QuoteMarks();
// Words that keep their erhua whatever their tag.
const WordList& ErhuaKeepWords();
// Words whose 儿 is a syllable of its own.
const WordList& ErhuaSkipWords();
// Words whose 子 keeps the neutral tone of a suffix.
const WordList& ZiSuffixWords();
// Two-character words whose second syllable is in the neutral tone.
const WordList& NeutralToneWords();

// True when `word` is an exact entry of `list`.
bool ListContains(const WordList& list, const std::string& word);

// A pause mark or a quotation mark: an entry that is never glued to a word.
bool IsMark(const std::string& word);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_WORD_LISTS_H_
