// Keeping only what can be said: symbols without a sound are removed before
// segmentation, and every segmented word is made readable by the lexicon.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SPEAKABLE_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SPEAKABLE_H_

#include <set>
#include <string>
#include <vector>

#include "speech_neural_network/lexicon/pronunciation.h"
#include "speech_neural_network/word_tag.h"

namespace speechnn {

// Removes the symbols that are never spoken (IsSilentSymbol: emoji,
// dingbats, control characters ...) and have no reading, before the
// segmenter could glue them to a neighbouring word. ASCII stays.
void DropSilentSymbols(const Lexicon& lexicon, std::wstring& sentence);

// Makes every word of a tagged sentence speakable. Words with a reading,
// pauses and quotation marks stay as they are. In any other word, Latin
// words get their whole-word reading or are spelled (each letter a word of
// its own), characters with a reading are kept, silent symbols are dropped,
// and any other character is dropped too; such a character is appended to
// `first_unreadable` when it is not yet in `met`, and added to `met`.
void MakeWordsSpeakable(const Lexicon& lexicon, WordTagList& words,
                        std::set<wchar_t>& met,
                        std::vector<wchar_t>& first_unreadable);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SPEAKABLE_H_
