// The word segmenter: cppjieba behind the few cuts the front end uses. This
// is the only place that sees cppjieba.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_H_

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "absl/status/statusor.h"
#include "speech_neural_network/word_tag.h"

namespace speechnn {

// The segmenter's resource files, as the front configuration names them.
struct SegmenterFiles {
  std::string dict;
  std::string hmm;
  std::string user_dict;  // may be empty; may list files split by '|' or ';'
  std::string idf;
  std::string stop_word;
};

// A word cut in two: the parts spell the word.
using WordSplit = std::pair<std::string, std::string>;

class Segmenter {
 public:
  // Checks every file first (cppjieba ends the process when one cannot be
  // opened or parsed, see segmenter_files.h); the error's message is the
  // line that names the first bad file, and the line in it.
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
  // cppjieba's dictionary trie, HMM model and the two cuts over them
  // (segmenter.cc).
  struct Parts;
  explicit Segmenter(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> parts_;
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_H_
