// Grapheme to phoneme: the word2phone dictionary, with the segmenter's cuts
// as the fallback for words it lacks.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_PRONUNCIATION_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_PRONUNCIATION_H_

#include <string>
#include <string_view>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/lexicon/segmenter.h"
#include "speech_neural_network/lexicon/word_phone_table.h"
#include "speech_neural_network/word_tag.h"

namespace speechnn {

class Lexicon {
 public:
  // The dictionary as loaded ("word" -> "phones"); filled before use.
  WordPhoneTable& mutable_words() { return words_; }
  // The segmenter for the fallbacks; null reads from the dictionary alone.
  void set_segmenter(const Segmenter* segmenter) { segmenter_ = segmenter; }

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
  std::string_view Lookup(const std::string& word) const;
  // Pronunciations of words missing from word2phone: from the segmenter's
  // full cut, and from a cut that tiles the word, read piece by piece or
  // character by character.
  std::string FullCutPronunciation(const std::string& word) const;
  std::string PiecewisePronunciation(const std::string& word) const;

  WordPhoneTable words_;
  const Segmenter* segmenter_ = nullptr;
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_PRONUNCIATION_H_
