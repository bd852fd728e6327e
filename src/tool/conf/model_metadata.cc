#include "tool/conf/model_metadata.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>

namespace tolvaren {
namespace {

// ModelProto, GraphProto, ValueInfoProto and StringStringEntryProto fields.
constexpr uint64_t kModelGraph = 7;
constexpr uint64_t kModelMetadata = 14;
constexpr uint64_t kGraphInput = 11;
constexpr uint64_t kValueInfoName = 1;
constexpr uint64_t kEntryKey = 1;
constexpr uint64_t kEntryValue = 2;
// A metadata entry or an input's description is small; anything larger is
// not what these fields hold.
constexpr uint64_t kMaxSmallMessage = uint64_t{1} << 20;

enum WireType : uint64_t {
  kVarint = 0,
  kFixed64 = 1,
  kBytes = 2,
  kFixed32 = 5
};

// Bytes of a file or of a message in memory, read field by field up to
// `end`.
class FieldReader {
 public:
  FieldReader(std::istream& in, uint64_t end) : in_(in), end_(end) {}

  bool ok() const { return static_cast<bool>(in_); }
  uint64_t position() {
    return ok() ? static_cast<uint64_t>(in_.tellg()) : end_;
  }
  bool AtEnd() { return position() >= end_; }

  std::optional<uint64_t> Varint() {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (AtEnd()) return std::nullopt;
      const int byte = in_.get();
      if (byte == EOF) return std::nullopt;
      value |= static_cast<uint64_t>(byte & 0x7f) << shift;
      if ((byte & 0x80) == 0) return value;
    }
    return std::nullopt;
  }

  // The length of a length-delimited field, when it fits before `end`.
  std::optional<uint64_t> Length() {
    const std::optional<uint64_t> length = Varint();
    if (!length || *length > end_ - position()) return std::nullopt;
    return length;
  }

  bool Skip(uint64_t wire_type) {
    uint64_t bytes = 0;
    switch (wire_type) {
      case kVarint:
        return Varint().has_value();
      case kFixed64:
        bytes = 8;
        break;
      case kFixed32:
        bytes = 4;
        break;
      case kBytes: {
        const std::optional<uint64_t> length = Length();
        if (!length) return false;
        bytes = *length;
        break;
      }
      default:  // groups, long deprecated, and no wire type at all
        return false;
    }
    if (bytes > end_ - position()) return false;
    in_.seekg(static_cast<std::streamoff>(bytes), std::ios::cur);
    return ok();
  }

  std::optional<std::string> Bytes(uint64_t length) {
    std::string bytes(length, '\0');
    if (!in_.read(bytes.data(), static_cast<std::streamsize>(length))) {
      return std::nullopt;
    }
    return bytes;
  }

 private:
  std::istream& in_;
  uint64_t end_;
};

// The length-delimited fields, by number, of the small message of `length`
// bytes at the reader's position.
std::optional<std::map<uint64_t, std::string>> SmallMessage(FieldReader& reader,
                                                            uint64_t length) {
  if (length > kMaxSmallMessage) return std::nullopt;
  const std::optional<std::string> bytes = reader.Bytes(length);
  if (!bytes) return std::nullopt;
  std::istringstream message(*bytes);
  FieldReader fields(message, length);
  std::map<uint64_t, std::string> strings;
  while (!fields.AtEnd()) {
    const std::optional<uint64_t> tag = fields.Varint();
    if (!tag) return std::nullopt;
    if ((*tag & 7) != kBytes) {
      if (!fields.Skip(*tag & 7)) return std::nullopt;
      continue;
    }
    const std::optional<uint64_t> size = fields.Length();
    if (!size) return std::nullopt;
    const std::optional<std::string> value = fields.Bytes(*size);
    if (!value) return std::nullopt;
    strings[*tag >> 3] = *value;
  }
  return strings;
}

bool ReadGraphInputs(FieldReader& reader, uint64_t end,
                     std::vector<std::string>& inputs) {
  while (reader.position() < end) {
    const std::optional<uint64_t> tag = reader.Varint();
    if (!tag) return false;
    if ((*tag >> 3) != kGraphInput || (*tag & 7) != kBytes) {
      if (!reader.Skip(*tag & 7)) return false;
      continue;
    }
    const std::optional<uint64_t> length = reader.Length();
    if (!length) return false;
    const auto fields = SmallMessage(reader, *length);
    if (!fields) return false;
    const auto name = fields->find(kValueInfoName);
    if (name != fields->end()) inputs.push_back(name->second);
  }
  return reader.ok() && reader.position() == end;
}

bool ReadModel(FieldReader& reader, ModelMetadata& metadata) {
  while (!reader.AtEnd()) {
    const std::optional<uint64_t> tag = reader.Varint();
    if (!tag) return false;
    const uint64_t field = *tag >> 3;
    const bool wanted = field == kModelGraph || field == kModelMetadata;
    if (!wanted || (*tag & 7) != kBytes) {
      if (!reader.Skip(*tag & 7)) return false;
      continue;
    }
    const std::optional<uint64_t> length = reader.Length();
    if (!length) return false;
    if (field == kModelGraph) {
      if (!ReadGraphInputs(reader, reader.position() + *length,
                           metadata.inputs)) {
        return false;
      }
      continue;
    }
    const auto entry = SmallMessage(reader, *length);
    if (!entry) return false;
    const auto key = entry->find(kEntryKey);
    const auto value = entry->find(kEntryValue);
    if (key != entry->end()) {
      metadata.custom[key->second] =
          value == entry->end() ? std::string() : value->second;
    }
  }
  return reader.ok();
}

}  // namespace

absl::StatusOr<ModelMetadata> ReadModelMetadata(const std::string& path) {
  std::error_code error;
  // A FIFO or a device would block or never end.
  if (!std::filesystem::is_regular_file(path, error)) {
    return absl::NotFoundError("no model file " + path);
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  std::ifstream in(path, std::ios::binary);
  if (error || !in) return absl::NotFoundError("cannot open " + path);
  FieldReader reader(in, size);
  ModelMetadata metadata;
  if (!ReadModel(reader, metadata)) {
    return absl::InvalidArgumentError(path + " is not a well-formed model");
  }
  return metadata;
}

}  // namespace tolvaren
