#include "common/content_checksum.h"

#include <cstring>

namespace tolvaren {
namespace {

// Four independent multiply-xor lanes over 8-byte words keep the
// multiplier busy; the tail and the length are folded in at the end.
constexpr uint64_t kMul = 0x9E3779B97F4A7C15ULL;

}  // namespace

std::size_t ChecksumLanes::Blocks(const char* data, std::size_t size) {
  std::size_t at = 0;
  for (; at + kBlock <= size; at += kBlock) {
    for (int i = 0; i < 4; ++i) {
      uint64_t word;
      std::memcpy(&word, data + at + 8 * i, 8);
      lane_[i] = (lane_[i] ^ word) * kMul;
      lane_[i] ^= lane_[i] >> 29;
    }
  }
  return at;
}

uint64_t ChecksumLanes::Finish(uint64_t total, const char* tail,
                               std::size_t size) const {
  uint64_t hash = total * kMul;
  for (const uint64_t value : lane_) hash = (hash ^ value) * kMul;
  for (std::size_t at = 0; at < size; ++at) {
    hash = (hash ^ static_cast<unsigned char>(tail[at])) * kMul;
  }
  return hash ^ (hash >> 31);
}

uint64_t ContentChecksum(const char* data, std::size_t size) {
  ChecksumLanes lanes;
  const std::size_t done = lanes.Blocks(data, size);
  return lanes.Finish(size, data + done, size - done);
}

}  // namespace tolvaren
