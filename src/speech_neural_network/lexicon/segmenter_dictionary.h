// The segmenter's dictionary as a trie laid out flat in one block of bytes,
// the same block in memory as on disk. The build compiles the shipped text
// dictionary into this form once (tools/resources/compile_segmenter_dict.cc)
// and start-up maps the result; a text dictionary named in its place is
// compiled in memory, with the same result.
//
// Block (integers in the machine's own byte order, sections from offset 0,
// 4-byte aligned, the weights 8-byte aligned):
//   weights       double[words]: log of the word's share of all frequency
//   node edges    uint32[nodes + 1]: node n's edges are
//                 edges[node_edges[n], node_edges[n + 1]); node 0 is the root
//   edges         {rune, child node (0: none), word + 1 (0: none)}, sorted
//                 by rune within a node
//   word tags     uint32[words]: index of the tag
//   tag offsets   uint32[tags + 1] into the tag text
//   tag text, then zeros to 8 bytes
//   trailer       72 bytes: version, the four counts, the tag text size,
//                 the smallest and the median weight, the frequency sum,
//                 the checksum of all before it, the checksum of the
//                 trailer's fields, "TVRNSEGD"
// At start-up only the trailer is read from the mapping: the body's
// checksum is taken from the file through a small buffer, so the pages of
// the mapping become resident only where lookups go. Each lookup still
// keeps every index inside its section.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_DICTIONARY_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_DICTIONARY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "absl/status/statusor.h"

namespace speechnn {

using Rune = std::uint32_t;

// One word of a dictionary text: its characters, weight and tag.
struct DictionaryWord {
  std::vector<Rune> runes;
  double weight = 0;
  std::string tag;
};

// What the weights of a dictionary were computed with; user words are
// weighed with the main dictionary's.
struct DictionaryWeights {
  double min = 0;
  double median = 0;
  double frequency_sum = 0;
};

class SegmenterDictionary {
 public:
  static constexpr std::uint32_t kFormatVersion = 1;
  static constexpr Rune kIndexedRunes = 0x10000;

  struct Edge {
    Rune rune;
    std::uint32_t child;
    std::uint32_t word;
  };

  // An empty dictionary: every step finds nothing.
  SegmenterDictionary();
  SegmenterDictionary(SegmenterDictionary&&) noexcept;
  SegmenterDictionary& operator=(SegmenterDictionary&&) noexcept;
  ~SegmenterDictionary();

  // The compiled block in `path`, mapped; a text dictionary there (checked
  // line by line first) is compiled in memory. A damaged, cut short or
  // foreign block is refused with a message that names the file.
  [[nodiscard]] static absl::StatusOr<SegmenterDictionary> Open(
      const std::string& path);
  // The words in order (a later word replaces an earlier one of the same
  // runes), compiled into a block.
  static std::string Compile(const std::vector<DictionaryWord>& words,
                             const DictionaryWeights& weights);
  // The checked block `bytes`; `name` is used in the messages.
  [[nodiscard]] static absl::StatusOr<SegmenterDictionary> FromBlock(
      std::string bytes, const std::string& name);

  // The edge for `rune` below `from` (nullptr: the root); nullptr when none.
  const Edge* Step(const Edge* from, Rune rune) const;
  // Of an edge that Step gave, with a word.
  double Weight(const Edge& edge) const { return weights_[edge.word - 1]; }
  std::string_view Tag(const Edge& edge) const;
  const DictionaryWeights& weights() const { return facts_; }
  bool empty() const { return node_count_ == 0; }

 private:
  struct Storage;
  [[nodiscard]] absl::Status Attach(std::unique_ptr<Storage> storage,
                                    const std::string& name);
  const Edge* StepFrom(std::uint32_t node, Rune rune) const;

  std::unique_ptr<Storage> storage_;
  DictionaryWeights facts_;
  std::uint32_t node_count_ = 0;
  std::uint32_t edge_count_ = 0;
  std::uint32_t word_count_ = 0;
  std::uint32_t tag_count_ = 0;
  std::uint32_t tag_bytes_ = 0;
  const double* weights_ = nullptr;
  const std::uint32_t* node_edges_ = nullptr;
  const Edge* edges_ = nullptr;
  const std::uint32_t* word_tags_ = nullptr;
  const std::uint32_t* tag_offsets_ = nullptr;
  const char* tag_text_ = nullptr;
  // The root's edge + 1 (0: none) for each rune below kIndexedRunes, built
  // at load: nearly every lookup starts there, and the root has some twenty
  // thousand edges.
  std::vector<std::uint32_t> root_index_;
};

// The words of a main dictionary text ("word frequency tag" lines, checked),
// weighed as log(frequency / sum of frequencies); `weights` receives the
// smallest, the median and the sum.
std::vector<DictionaryWord> ReadMainDictionary(std::string_view text,
                                               DictionaryWeights& weights);
// The words of a user dictionary text ("word", "word tag" or "word
// frequency tag" lines, checked; empty lines skipped), weighed with the
// main dictionary's `weights`: its median when no frequency is given.
void ReadUserDictionary(std::string_view text, const DictionaryWeights& weights,
                        std::vector<DictionaryWord>& words);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_DICTIONARY_H_
