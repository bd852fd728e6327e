// The word2phone dictionary as loaded: read once, looked up for every word of
// every sentence.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_WORD_PHONE_TABLE_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_WORD_PHONE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace speechnn {

// The file's text in one buffer and the entries as (word, phones) views into
// it, sorted by word: two allocations for the whole dictionary instead of
// one per word and per pronunciation. An open-addressing index of entry
// numbers finds a word with one hash and about one comparison: every word of
// every sentence is looked up several times (the merges, the readings, the
// pieces of words the dictionary lacks).
class WordPhoneTable {
 public:
  using Entry = std::pair<std::string_view, std::string_view>;
  using const_iterator = std::vector<Entry>::const_iterator;

  WordPhoneTable() = default;
  // The views point into text_, so a copy would point into the original.
  WordPhoneTable(const WordPhoneTable&) = delete;
  WordPhoneTable& operator=(const WordPhoneTable&) = delete;

  // Replaces the contents with the entries of `text`: a line "word phones"
  // is split at its first space; a line without a space holds no entry; of
  // a word listed twice, the later line counts.
  void Assign(std::string text);

  // The phones of `word`, or null when it has no entry.
  const std::string_view* Find(std::string_view word) const;
  bool contains(std::string_view word) const { return Find(word) != nullptr; }
  std::size_t count(std::string_view word) const { return contains(word); }
  // Throws std::out_of_range when `word` has no entry.
  std::string_view at(std::string_view word) const;

  // The text the entries were read from.
  std::string_view text() const { return text_; }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  // The length in bytes of the longest word: no longer text has an entry.
  std::size_t longest_word() const { return longest_word_; }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

 private:
  void BuildIndex();

  std::string text_;
  std::vector<Entry> entries_;
  std::size_t longest_word_ = 0;
  // entry number + 1 per slot, 0 for none; a power of two, at most three
  // quarters full
  std::vector<std::uint32_t> slots_;
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_WORD_PHONE_TABLE_H_
