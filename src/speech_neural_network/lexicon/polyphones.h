// Polyphonic characters standing as words of their own, read by their tag
// and the words around them where the dictionary's one reading is the
// wrong one: 为 wei2 as a copula (设置为二十六度, 以人民为中心), 应 ying1 and
// 干 gan4 as verbs, 倒 dao4 and 只 zhi3 as adverbs, 得 dei3 'must' and de5
// after a verb, 地 de5 after an adverb, 长 chang2 after a degree adverb,
// 还 huan2 before a person, 好 hao4 'be fond of'; inside a longer word, the
// verb of 数一数 and 量了量, 地 joined to the word after it, 朝阳 the sun.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_POLYPHONES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_POLYPHONES_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "speech_neural_network/word_tag.h"

namespace speechnn {

// The final (with its tone) that replaces the word's one final, the tag
// the tone rules are to see (得 'must' is a verb, not the particle), and
// the initial where it changes too (长 zhang3 -> chang2).
struct PolyphoneReading {
  std::string final;
  std::string tag;
  std::string initial = {};  // empty: the word's initial stands
};

// The reading of character `at` of `phrase[k]` (whose characters are
// `chars`) in its phrase (the words between two pauses), or nothing when
// the dictionary's reading stands.
std::optional<PolyphoneReading> ReadPolyphone(const WordTagList& phrase,
                                              std::size_t k,
                                              std::wstring_view chars,
                                              std::size_t at);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_POLYPHONES_H_
