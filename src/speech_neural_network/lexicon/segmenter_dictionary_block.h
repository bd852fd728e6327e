// The trailer and section layout of a compiled segmenter dictionary
// (segmenter_dictionary.h), shared by its compiler and its reader.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_DICTIONARY_BLOCK_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_DICTIONARY_BLOCK_H_

#include <cstddef>
#include <cstdint>

#include "speech_neural_network/lexicon/segmenter_dictionary.h"

namespace speechnn {

inline constexpr char kBlockMagic[8] = {'T', 'V', 'R', 'N', 'S', 'E', 'G', 'D'};

// The block's last bytes: what the sections hold, and the checksums that
// find a damaged one.
struct BlockTrailer {
  std::uint32_t version;
  std::uint32_t words;
  std::uint32_t nodes;
  std::uint32_t edges;
  std::uint32_t tags;
  std::uint32_t tag_bytes;
  double min_weight;
  double median_weight;
  double frequency_sum;
  std::uint64_t body_checksum;     // of every byte before the trailer
  std::uint64_t trailer_checksum;  // of the fields above
  char magic[8];
};
static_assert(sizeof(BlockTrailer) == 72, "the trailer is 72 bytes");
static_assert(sizeof(SegmenterDictionary::Edge) == 12, "an edge is 12 bytes");
inline constexpr std::size_t kTrailerFields = 56;

// Where each section starts, from the counts alone (64-bit: no count can
// make it wrap); `end` is where the trailer starts.
struct BlockLayout {
  std::uint64_t weights, node_edges, edges, word_tags, tag_offsets, tag_text,
      end;
};

inline BlockLayout LayoutOf(const BlockTrailer& trailer) {
  BlockLayout layout{};
  std::uint64_t at = 0;
  layout.weights = at;
  at += 8ull * trailer.words;
  layout.node_edges = at;
  at += 4ull * (trailer.nodes + 1ull);
  layout.edges = at;
  at += 12ull * trailer.edges;
  layout.word_tags = at;
  at += 4ull * trailer.words;
  layout.tag_offsets = at;
  at += 4ull * (trailer.tags + 1ull);
  layout.tag_text = at;
  at += trailer.tag_bytes;
  // The trailer's doubles stay 8-byte aligned.
  layout.end = (at + 7) & ~std::uint64_t{7};
  return layout;
}

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_DICTIONARY_BLOCK_H_
