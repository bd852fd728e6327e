// Word merges before sandhi: joins neighbours of a tagged word list so that
// the per-word sandhi and erhua steps see whole units.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_WORD_MERGES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_WORD_MERGES_H_

#include <functional>
#include <string>
#include <vector>

#include "speech_neural_network/word_tag.h"

namespace speechnn {

// The finals of a word (empty when they cannot be read), for the third-tone
// merges.
using FinalsLookup =
    std::function<std::vector<std::string>(const std::string& word)>;

// 不 takes the word after it; a 不 at the end (or before a mark) stays alone
// as an adverb.
WordTagList MergeBu(const WordTagList& words);
// X 一 X with a verb X becomes X一X, then 一 takes the word after it; a
// demonstrative joined to 一 (这一, 那一, 每一, 哪一) first gives it back, so
// that 一 takes the sandhi of the word after it (这一问题 yi2 wen4).
WordTagList MergeYi(const WordTagList& words);
// Two equal neighbours become one word.
WordTagList MergeReduplication(const WordTagList& words);
// Neighbours wholly in the third tone join, up to three characters.
WordTagList MergeThreeTones(const WordTagList& words,
                            const FinalsLookup& finals_of);
// Neighbours with a third tone on each side of the boundary join, likewise.
WordTagList MergeThreeTones2(const WordTagList& words,
                             const FinalsLookup& finals_of);
// 儿 joins the word before it.
WordTagList MergeEr(const WordTagList& words);

// All six, in this order.
WordTagList MergeForSandhi(const WordTagList& tagged,
                           const FinalsLookup& finals_of);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_WORD_MERGES_H_
