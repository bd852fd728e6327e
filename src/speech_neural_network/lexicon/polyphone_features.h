// The context features the polyphone model scores, as 64-bit FNV-1a hashes
// of their UTF-8 names. tools/polyphone/features.py builds the same names:
// a change here is a change there, and the model is retrained.
//   b             always on
//   c-3= .. c+3=  the characters around it (^ and $ past the sentence)
//   l2= r2= lr=   the two characters before, after, and on either side
//   w= w-1= w+1= w+2=  its word and the words around it
//   t= t-1= t+1= t-2= t+2=  the tags of the words around it
//   p=            its place in its word: "0/1", "1/2" ...
//   d=            the reading before the model ("zh ang3", "- ui2")

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_POLYPHONE_FEATURES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_POLYPHONE_FEATURES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "speech_neural_network/word_tag.h"

namespace speechnn {

std::uint64_t HashFeature(std::string_view name);

// A sentence's words (all of them, punctuation included) laid out once for
// the features of any of its characters.
class PolyphoneSentence {
 public:
  explicit PolyphoneSentence(const WordTagList& words);

  // The features of character `at` of word `word`, whose reading so far is
  // `initial` (empty for none) and `final`.
  std::vector<std::uint64_t> Features(std::size_t word, std::size_t at,
                                      std::string_view initial,
                                      std::string_view final) const;
  // The word's characters, decoded once for the whole sentence.
  std::wstring_view WordChars(std::size_t word) const {
    return std::wstring_view(wide_).substr(starts_[word],
                                           starts_[word + 1] - starts_[word]);
  }
  const std::string& WordText(std::size_t word) const {
    return words_[word].first;
  }

 private:
  const WordTagList& words_;
  std::vector<std::string_view> chars_;  // UTF-8, into words_
  std::wstring wide_;                    // the same characters decoded
  std::vector<std::size_t> starts_;      // of each word in both, and the end
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_POLYPHONE_FEATURES_H_
