#include "speech_neural_network/lexicon/segmenter_dictionary.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "common/bounded_file.h"
#include "common/content_checksum.h"
#include "common/mapped_file.h"
#include "speech_neural_network/lexicon/segmenter_dictionary_block.h"
#include "speech_neural_network/lexicon/segmenter_files.h"

namespace speechnn {

// The bytes the views point into: a mapped file or a block of our own. Held
// by pointer, so that moving the dictionary moves no byte.
struct SegmenterDictionary::Storage {
  std::optional<tolvaren::MappedFile> mapped;
  std::string owned;
  const char* data = nullptr;
  std::size_t size = 0;
};

namespace {

absl::Status Bad(const std::string& name, const std::string& why) {
  return absl::InvalidArgumentError("Bad jieba file: " + name + ": " + why);
}

bool IsBlock(const char* data, std::size_t size) {
  return size >= sizeof(kBlockMagic) &&
         std::memcmp(data, kBlockMagic, sizeof(kBlockMagic)) == 0;
}

template <typename T>
const T* At(const char* data, std::uint64_t offset) {
  return reinterpret_cast<const T*>(data + offset);
}

// Every index the lookups follow stays inside its section, so that a block
// damaged in a way its checksum missed still cannot lead a read astray.
absl::Status CheckLinks(const BlockHeader& header, const std::uint32_t* nodes,
                        const SegmenterDictionary::Edge* edges,
                        const std::uint32_t* tags,
                        const std::uint32_t* tag_offsets,
                        const std::string& name) {
  if (header.nodes == 0 || nodes[0] != 0 ||
      nodes[header.nodes] != header.edges) {
    return Bad(name, "its trie does not cover its edges");
  }
  for (std::uint32_t node = 0; node < header.nodes; ++node) {
    if (nodes[node + 1] < nodes[node]) {
      return Bad(name, "its trie's nodes are out of order");
    }
    for (std::uint32_t at = nodes[node]; at < nodes[node + 1]; ++at) {
      const SegmenterDictionary::Edge& edge = edges[at];
      if (edge.child >= header.nodes || edge.word > header.words ||
          (at > nodes[node] && edges[at - 1].rune >= edge.rune)) {
        return Bad(name, "its trie has an edge out of range or order");
      }
    }
  }
  for (std::uint32_t word = 0; word < header.words; ++word) {
    if (tags[word] >= header.tags) return Bad(name, "a word's tag is missing");
  }
  if (tag_offsets[0] != 0 || tag_offsets[header.tags] != header.tag_bytes ||
      !std::is_sorted(tag_offsets, tag_offsets + header.tags + 1)) {
    return Bad(name, "its tags are out of range");
  }
  return absl::OkStatus();
}

}  // namespace

SegmenterDictionary::SegmenterDictionary() = default;
SegmenterDictionary::SegmenterDictionary(SegmenterDictionary&&) noexcept =
    default;
SegmenterDictionary& SegmenterDictionary::operator=(
    SegmenterDictionary&&) noexcept = default;
SegmenterDictionary::~SegmenterDictionary() = default;

absl::StatusOr<SegmenterDictionary> SegmenterDictionary::Open(
    const std::string& path) {
  absl::StatusOr<tolvaren::MappedFile> mapped =
      tolvaren::MappedFile::Open(path, tolvaren::kMaxTableBytes);
  if (mapped.ok() && IsBlock(mapped->data(), mapped->size())) {
    auto storage = std::make_unique<Storage>();
    storage->data = mapped->data();
    storage->size = mapped->size();
    storage->mapped.emplace(*std::move(mapped));
    SegmenterDictionary dictionary;
    if (absl::Status attached = dictionary.Attach(std::move(storage), path);
        !attached.ok()) {
      return attached;
    }
    return dictionary;
  }
  // A text dictionary: the checks name what the text gets wrong.
  if (absl::Status checked = CheckSegmenterDictionary(path); !checked.ok()) {
    return checked;
  }
  absl::StatusOr<std::string> text =
      tolvaren::ReadBoundedFile(path, tolvaren::kMaxTableBytes);
  if (!text.ok()) return text.status();
  DictionaryWeights weights;
  const std::vector<DictionaryWord> words = ReadMainDictionary(*text, weights);
  return FromBlock(Compile(words, weights), path);
}

absl::StatusOr<SegmenterDictionary> SegmenterDictionary::FromBlock(
    std::string bytes, const std::string& name) {
  auto storage = std::make_unique<Storage>();
  storage->owned = std::move(bytes);
  storage->data = storage->owned.data();
  storage->size = storage->owned.size();
  SegmenterDictionary dictionary;
  if (absl::Status attached = dictionary.Attach(std::move(storage), name);
      !attached.ok()) {
    return attached;
  }
  return dictionary;
}

absl::Status SegmenterDictionary::Attach(std::unique_ptr<Storage> storage,
                                         const std::string& name) {
  const char* data = storage->data;
  const std::size_t size = storage->size;
  if (!IsBlock(data, size)) {
    return Bad(name, "it is not a compiled segmenter dictionary");
  }
  if (size < sizeof(BlockHeader)) {
    return Bad(name, "it is cut short within its header");
  }
  BlockHeader header;
  std::memcpy(&header, data, sizeof(header));
  if (header.version != kFormatVersion) {
    return Bad(name, "it is of format version " +
                         std::to_string(header.version) +
                         ", this program reads version " +
                         std::to_string(kFormatVersion));
  }
  const BlockLayout layout = LayoutOf(header);
  if (header.size != size || layout.end != size) {
    return Bad(name, "it holds " + std::to_string(size) +
                         " bytes where its header promises " +
                         std::to_string(header.size) +
                         " (cut short or padded)");
  }
  if (tolvaren::ContentChecksum(data + sizeof(header), size - sizeof(header)) !=
      header.checksum) {
    return Bad(name, "its checksum does not match: the file is damaged");
  }
  const auto* nodes = At<std::uint32_t>(data, layout.node_edges);
  const auto* edges = At<Edge>(data, layout.edges);
  const auto* tags = At<std::uint32_t>(data, layout.word_tags);
  const auto* tag_offsets = At<std::uint32_t>(data, layout.tag_offsets);
  if (absl::Status links =
          CheckLinks(header, nodes, edges, tags, tag_offsets, name);
      !links.ok()) {
    return links;
  }
  storage_ = std::move(storage);
  facts_ = {header.min_weight, header.median_weight, header.frequency_sum};
  node_count_ = header.nodes;
  weights_ = At<double>(data, layout.weights);
  node_edges_ = nodes;
  edges_ = edges;
  word_tags_ = tags;
  tag_offsets_ = tag_offsets;
  tag_text_ = data + layout.tag_text;
  return absl::OkStatus();
}

const SegmenterDictionary::Edge* SegmenterDictionary::StepFrom(
    std::uint32_t node, Rune rune) const {
  const Edge* first = edges_ + node_edges_[node];
  const Edge* last = edges_ + node_edges_[node + 1];
  const Edge* found = std::lower_bound(
      first, last, rune,
      [](const Edge& edge, Rune value) { return edge.rune < value; });
  return found != last && found->rune == rune ? found : nullptr;
}

const SegmenterDictionary::Edge* SegmenterDictionary::Step(const Edge* from,
                                                           Rune rune) const {
  if (from == nullptr) return node_count_ == 0 ? nullptr : StepFrom(0, rune);
  return from->child == 0 ? nullptr : StepFrom(from->child, rune);
}

std::string_view SegmenterDictionary::Tag(const Edge& edge) const {
  const std::uint32_t tag = word_tags_[edge.word - 1];
  return std::string_view(tag_text_ + tag_offsets_[tag],
                          tag_offsets_[tag + 1] - tag_offsets_[tag]);
}

}  // namespace speechnn
