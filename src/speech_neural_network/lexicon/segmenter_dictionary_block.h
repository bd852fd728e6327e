// The header and section layout of a compiled segmenter dictionary
// (segmenter_dictionary.h), shared by its compiler and its reader.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_DICTIONARY_BLOCK_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_DICTIONARY_BLOCK_H_

#include <cstdint>

#include "speech_neural_network/lexicon/segmenter_dictionary.h"

namespace speechnn {

inline constexpr char kBlockMagic[8] = {'T', 'V', 'R', 'N', 'S', 'E', 'G', 'D'};

struct BlockHeader {
  char magic[8];
  std::uint32_t version;
  std::uint32_t words;
  std::uint32_t nodes;
  std::uint32_t edges;
  std::uint32_t tags;
  std::uint32_t tag_bytes;
  double min_weight;
  double median_weight;
  double frequency_sum;
  std::uint64_t size;
  std::uint64_t checksum;  // of every byte after the header
};
static_assert(sizeof(BlockHeader) == 72, "the header is 72 bytes");
static_assert(sizeof(SegmenterDictionary::Edge) == 12, "an edge is 12 bytes");

// Where each section starts, from the counts alone (64-bit: no count can
// make it wrap).
struct BlockLayout {
  std::uint64_t weights, node_edges, edges, word_tags, tag_offsets, tag_text,
      end;
};

inline BlockLayout LayoutOf(const BlockHeader& header) {
  BlockLayout layout{};
  std::uint64_t at = sizeof(BlockHeader);
  layout.weights = at;
  at += 8ull * header.words;
  layout.node_edges = at;
  at += 4ull * (header.nodes + 1ull);
  layout.edges = at;
  at += 12ull * header.edges;
  layout.word_tags = at;
  at += 4ull * header.words;
  layout.tag_offsets = at;
  at += 4ull * (header.tags + 1ull);
  layout.tag_text = at;
  at += header.tag_bytes;
  layout.end = at;
  return layout;
}

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_DICTIONARY_BLOCK_H_
