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
  return size >= sizeof(BlockTrailer) &&
         std::memcmp(data + size - sizeof(kBlockMagic), kBlockMagic,
                     sizeof(kBlockMagic)) == 0;
}

template <typename T>
const T* At(const char* data, std::uint64_t offset) {
  return reinterpret_cast<const T*>(data + offset);
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
  BlockTrailer trailer;
  std::memcpy(&trailer, data + size - sizeof(trailer), sizeof(trailer));
  if (tolvaren::ContentChecksum(reinterpret_cast<const char*>(&trailer),
                                kTrailerFields) != trailer.trailer_checksum) {
    return Bad(name, "its trailer is damaged or it is cut short");
  }
  if (trailer.version != kFormatVersion) {
    return Bad(name, "it is of format version " +
                         std::to_string(trailer.version) +
                         ", this program reads version " +
                         std::to_string(kFormatVersion));
  }
  const BlockLayout layout = LayoutOf(trailer);
  if (trailer.nodes == 0 || layout.end + sizeof(trailer) != size) {
    return Bad(name, "it holds " + std::to_string(size) +
                         " bytes where its trailer promises " +
                         std::to_string(layout.end + sizeof(trailer)));
  }
  const absl::StatusOr<std::uint64_t> body =
      storage->mapped.has_value()
          ? tolvaren::FileChecksum(storage->mapped->fd(), name, layout.end)
          : tolvaren::ContentChecksum(data, layout.end);
  if (!body.ok()) return Bad(name, std::string(body.status().message()));
  if (*body != trailer.body_checksum) {
    return Bad(name, "its checksum does not match: the file is damaged");
  }
  storage_ = std::move(storage);
  facts_ = {trailer.min_weight, trailer.median_weight, trailer.frequency_sum};
  node_count_ = trailer.nodes;
  edge_count_ = trailer.edges;
  word_count_ = trailer.words;
  tag_count_ = trailer.tags;
  tag_bytes_ = trailer.tag_bytes;
  weights_ = At<double>(data, layout.weights);
  node_edges_ = At<std::uint32_t>(data, layout.node_edges);
  edges_ = At<Edge>(data, layout.edges);
  word_tags_ = At<std::uint32_t>(data, layout.word_tags);
  tag_offsets_ = At<std::uint32_t>(data, layout.tag_offsets);
  tag_text_ = data + layout.tag_text;
  root_index_.assign(kIndexedRunes, 0);
  const std::uint32_t root_end = std::min(node_edges_[1], edge_count_);
  for (std::uint32_t at = 0; at < root_end; ++at) {
    if (edges_[at].rune < kIndexedRunes) root_index_[edges_[at].rune] = at + 1;
  }
  return absl::OkStatus();
}

// Every index read from the block is checked where it is followed: an edge
// that leads outside its section is no edge.
const SegmenterDictionary::Edge* SegmenterDictionary::StepFrom(
    std::uint32_t node, Rune rune) const {
  const std::uint32_t begin = node_edges_[node];
  const std::uint32_t end = node_edges_[node + 1];
  if (begin > end || end > edge_count_) return nullptr;
  const Edge* last = edges_ + end;
  const Edge* found = std::lower_bound(
      edges_ + begin, last, rune,
      [](const Edge& edge, Rune value) { return edge.rune < value; });
  if (found == last || found->rune != rune || found->child >= node_count_ ||
      found->word > word_count_) {
    return nullptr;
  }
  return found;
}

const SegmenterDictionary::Edge* SegmenterDictionary::Step(const Edge* from,
                                                           Rune rune) const {
  if (from == nullptr) {
    if (node_count_ == 0) return nullptr;
    if (rune >= kIndexedRunes) return StepFrom(0, rune);
    const std::uint32_t at = root_index_[rune];
    if (at == 0) return nullptr;
    const Edge& edge = edges_[at - 1];
    return edge.child < node_count_ && edge.word <= word_count_ ? &edge
                                                                : nullptr;
  }
  return from->child == 0 ? nullptr : StepFrom(from->child, rune);
}

std::string_view SegmenterDictionary::Tag(const Edge& edge) const {
  const std::uint32_t tag = word_tags_[edge.word - 1];
  if (tag >= tag_count_) return {};
  const std::uint32_t begin = tag_offsets_[tag];
  const std::uint32_t end = tag_offsets_[tag + 1];
  if (begin > end || end > tag_bytes_) return {};
  return std::string_view(tag_text_ + begin, end - begin);
}

}  // namespace speechnn
