#include "tool/synth/cache_entry.h"

#include <cstring>

#include "tool/synth/model_cache.h"

namespace tolvaren {
namespace {

constexpr char kTag[8] = {'T', 'V', 'R', 'N', 'O', 'R', 'T', '2'};
constexpr std::size_t kSealAt = 48;
constexpr std::size_t kTagAt = 56;

// The trailer's first 48 bytes: model checksum, body size, version field.
std::string Fields(std::size_t body_size, const EntryFacts& facts) {
  std::string fields(kSealAt, '\0');
  const uint64_t size = body_size;
  std::memcpy(fields.data(), &facts.model_checksum, 8);
  std::memcpy(fields.data() + 8, &size, 8);
  // A version the field cannot hold is represented by its checksum too.
  std::string version = facts.runtime_version;
  if (version.size() > kEntryVersionSize) {
    const uint64_t whole = ContentChecksum(version.data(), version.size());
    version.resize(kEntryVersionSize - 8);
    version.append(reinterpret_cast<const char*>(&whole), 8);
  }
  std::memcpy(fields.data() + 16, version.data(), version.size());
  return fields;
}

uint64_t Seal(const char* body, std::size_t size, const std::string& fields) {
  std::string sealed = fields;
  const uint64_t body_checksum = ContentChecksum(body, size);
  sealed.append(reinterpret_cast<const char*>(&body_checksum), 8);
  return ContentChecksum(sealed.data(), sealed.size());
}

}  // namespace

std::string EntryTrailer(const char* body, std::size_t size,
                         const EntryFacts& facts) {
  std::string trailer = Fields(size, facts);
  const uint64_t seal = Seal(body, size, trailer);
  trailer.append(reinterpret_cast<const char*>(&seal), 8);
  trailer.append(kTag, 8);
  return trailer;
}

absl::StatusOr<std::size_t> EntryBody(const char* data, std::size_t size,
                                      const EntryFacts& facts) {
  if (size <= kEntryTrailerSize) {
    return absl::DataLossError("it is too short to be a sealed copy");
  }
  const std::size_t body = size - kEntryTrailerSize;
  const char* trailer = data + body;
  uint64_t stated_size = 0;
  uint64_t seal = 0;
  std::memcpy(&stated_size, trailer + 8, 8);
  std::memcpy(&seal, trailer + kSealAt, 8);
  if (std::memcmp(trailer + kTagAt, kTag, 8) != 0 || stated_size != body ||
      seal != Seal(data, body, std::string(trailer, kSealAt))) {
    return absl::DataLossError("its seal does not match its bytes");
  }
  const std::string expected = Fields(body, facts);
  if (std::memcmp(trailer + 16, expected.data() + 16, kEntryVersionSize) != 0) {
    return absl::FailedPreconditionError("it was made by another runtime");
  }
  if (std::memcmp(trailer, expected.data(), 8) != 0) {
    return absl::FailedPreconditionError("it was made from another model");
  }
  return body;
}

}  // namespace tolvaren
