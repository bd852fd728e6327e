// The word segmenter: the few cuts the front end uses, over the compiled
// dictionary (segmenter_dictionary.h) and cppjieba's HMM for words no
// dictionary lists. Only the segmenter's files see cppjieba.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_H_

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "absl/status/statusor.h"
#include "speech_neural_network/lexicon/segmenter_files.h"
#include "speech_neural_network/word_tag.h"

namespace speechnn {

// A word cut in two: the parts spell the word.
using WordSplit = std::pair<std::string, std::string>;

class Segmenter {
 public:
  // Checks every file first (cppjieba's HMM loader ends the process on a
  // file it cannot parse, see segmenter_files.h); the error's message is the
  // line that names the first bad file, and the line in it. The main
  // dictionary may be compiled or text.
  [[nodiscard]] static absl::StatusOr<std::unique_ptr<Segmenter>> Create(
      const SegmenterFiles& files);
  ~Segmenter();
  Segmenter(const Segmenter&) = delete;
  Segmenter& operator=(const Segmenter&) = delete;

  // Words of a UTF-8 sentence with their part-of-speech tags.
  WordTagList Tag(const std::string& sentence) const;
  // All dictionary words inside `word`; the pieces may overlap.
  std::vector<std::string> FullCut(const std::string& word) const;
  // The mixed cut with the HMM: pieces that tile `word`.
  std::vector<std::string> MixedCut(const std::string& word) const;
  // The word cut at its shortest search piece; nothing when no such cut
  // spells the word.
  std::optional<WordSplit> SplitWord(const std::string& word) const;

 private:
  // The dictionaries, the HMM model and the cuts over them (segmenter.cc).
  struct Parts;
  explicit Segmenter(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> parts_;
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_H_
