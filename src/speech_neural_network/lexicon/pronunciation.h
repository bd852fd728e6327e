// Grapheme to phoneme: the word2phone dictionary, with backward maximum
// matching over its words as the fallback for words it lacks.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_PRONUNCIATION_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_PRONUNCIATION_H_

#include <string>
#include <string_view>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/lexicon/word_phone_table.h"
#include "speech_neural_network/word_tag.h"

namespace speechnn {

class Lexicon {
 public:
  // The dictionary as loaded ("word" -> "phones"); filled before use.
  WordPhoneTable& mutable_words() { return words_; }
  const WordPhoneTable& words() const { return words_; }

  // Appends one initial (possibly empty) and one final per character, or
  // fails (the message says why) and leaves both lists as they were.
  [[nodiscard]] absl::Status GetInitialsFinals(
      const std::string& word, std::vector<std::string>& word_initials,
      std::vector<std::string>& word_finals) const;
  // Whether word2phone holds `word` itself.
  bool HasEntry(const std::string& word) const {
    return words_.Find(word) != nullptr;
  }
  // Whether GetInitialsFinals can read `word`.
  bool HasReading(const std::string& word) const;
  // `finals` (one per character of `word`) with each neutral syllable given
  // the tone its character has on its own, where that reading is the same
  // syllable (一个 i1 e5 gives i1 e4): the tone that 一 and 不 react to.
  std::vector<std::string> CitationFinals(
      const std::string& word, const std::vector<std::string>& finals) const;

 private:
  // The word's own entry, when it gives one syllable per character.
  bool ReadEntry(const std::string& word, std::vector<std::string>& initials,
                 std::vector<std::string>& finals) const;
  // The word as the dictionary's words inside it, matched from its end;
  // false when a character has no reading.
  bool ReadByBackwardMatching(const std::string& word,
                              std::vector<std::string>& initials,
                              std::vector<std::string>& finals) const;

  WordPhoneTable words_;
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_PRONUNCIATION_H_
