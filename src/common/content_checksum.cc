#include "common/content_checksum.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

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

// Exactly `size` bytes of `fd` from `offset` into `into`; a file that ends
// sooner has shrunk since its size was taken.
absl::Status ReadExactlyAt(int fd, const std::string& path, char* into,
                           std::size_t size, std::size_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got =
        pread(fd, into + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      return absl::DataLossError(
          "cannot read " + path + ": " +
          (got < 0 ? std::strerror(errno) : "it shrank while being read"));
    }
    done += static_cast<std::size_t>(got);
  }
  return absl::OkStatus();
}

absl::StatusOr<uint64_t> FileChecksum(int fd, const std::string& path,
                                      std::size_t size) {
  // A bounded buffer: a model of any size is checked in the same memory.
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  const std::unique_ptr<char[]> buffer(new char[kChunk]);
  ChecksumLanes lanes;
  std::size_t done = 0;
  std::size_t held = 0;  // bytes in `buffer` not yet taken
  while (done < size) {
    const std::size_t want = std::min(kChunk - held, size - done);
    if (absl::Status read =
            ReadExactlyAt(fd, path, buffer.get() + held, want, done);
        !read.ok()) {
      return read;
    }
    done += want;
    held += want;
    const std::size_t taken = lanes.Blocks(buffer.get(), held);
    std::memmove(buffer.get(), buffer.get() + taken, held - taken);
    held -= taken;
  }
  return lanes.Finish(size, buffer.get(), held);
}

}  // namespace tolvaren
