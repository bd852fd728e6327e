// A learned reading for polyphonic characters: per character, a linear
// score over the features of its context (polyphone_features.h), one row
// of weights per reading; the highest score is the reading. The weights
// are trained by tools/polyphone/ and shipped as a text table.
//
// File (UTF-8 text, LF):
//   tolvaren-polyphone-model 1
//   characters N
//   N lines: CHARACTER<TAB>FEATURES<TAB>READING[<TAB>READING...]
//     a reading is "INITIAL FINAL" in the phone set ("-" for no initial);
//     FEATURES counts the weight lines that follow the inventory for it
//   words M
//   M lines: a word of several characters the model reads (see
//     ReadWithModel)
//   then per character, in inventory order, FEATURES lines:
//     HASH<TAB>W1 W2 ... (16 hex digits, one weight per reading)

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_POLYPHONE_MODEL_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_POLYPHONE_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "absl/status/statusor.h"

namespace speechnn {

// One reading as the phone set spells it.
struct PhoneReading {
  std::string initial;  // empty for none
  std::string final;    // with its tone digit
};

class PolyphoneModel {
 public:
  static constexpr int kFormatVersion = 1;
  // Larger files are refused unread: the shipped table is a few megabytes.
  static constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;
  // The most readings one character may have.
  static constexpr std::size_t kMaxReadings = 8;

  // Reads and checks the table at `path`; every error names the file.
  [[nodiscard]] static absl::StatusOr<PolyphoneModel> Load(
      const std::string& path);
  // The same from the file's text; `name` is used in the messages.
  [[nodiscard]] static absl::StatusOr<PolyphoneModel> Parse(
      const std::string& text, const std::string& name);

  bool Knows(wchar_t character) const {
    return characters_.count(character) != 0;
  }
  // Whether the table lists `word` as one its dictionary reading does not
  // settle.
  bool Lists(const std::string& word) const { return words_.count(word) != 0; }
  std::size_t size() const { return characters_.size(); }
  // The reading scored highest for `character` given the hashes of its
  // features; null when the character is not in the inventory.
  const PhoneReading* Choose(wchar_t character,
                             const std::vector<std::uint64_t>& features) const;

 private:
  struct Character {
    std::vector<PhoneReading> readings;
    std::uint32_t number = 0;  // from 1, in inventory order
  };
  // One open-addressing index over every character's features: a feature
  // is looked up with one hash, for every feature of every polyphone read.
  struct Row {
    std::uint64_t feature = 0;
    std::uint32_t character = 0;  // Character::number; 0 for an empty slot
    std::uint32_t offset = 0;     // of its readings.size() weights in weights_
  };
  std::size_t SlotOf(std::uint64_t feature, std::uint32_t character) const;
  // False when the character already has a row for the feature.
  bool AddRow(std::uint64_t feature, std::uint32_t character,
              std::uint32_t offset);

  std::unordered_map<wchar_t, Character> characters_;
  std::unordered_set<std::string> words_;
  std::vector<Row> rows_;  // a power of two, at most three quarters full
  std::vector<float> weights_;
};

class PolyphoneSentence;

// Re-reads the characters that the model knows of word `word` of
// `sentence`, where the word's dictionary entry does not settle them: a
// word of one character, a word without an entry of its own ('p' in
// `decided_by`, one letter per character), or a word the table lists. A
// rule's reading ('r') stands, and so does a longer word's neutral tone
// where the model would only give the syllable its full tone or take it
// (but for the particles 的 地 得 着);
// a syllable the model read is marked 'm'.
// `separate_tone`: initials carry the tone byte 0 ("zh0") as in the
// separate-tone resources.
void ReadWithModel(const PolyphoneModel& model,
                   const PolyphoneSentence& sentence, std::size_t word,
                   bool separate_tone, std::vector<std::string>& initials,
                   std::vector<std::string>& finals, std::string& decided_by);

// The tag the tone steps are to see for a particle character (的 地 得 着)
// that the model read alone as a word: its particle tag where the reading is
// neutral, a content tag where it is not, or nothing where the segmenter's
// tag already agrees. The tone steps read these characters by tag alone.
std::optional<std::string> ParticleTagFor(wchar_t character,
                                          const std::string& final,
                                          const std::string& tag);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_POLYPHONE_MODEL_H_
