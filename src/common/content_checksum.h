// A 64-bit checksum of a run of bytes: every byte counts, and it runs at
// memory speed, so a file of megabytes is checked in about a millisecond.
// The model cache names its entries by it and the compiled segmenter
// dictionary carries it, so its values never change.

#ifndef TOLVAREN_TTS_COMMON_CONTENT_CHECKSUM_H_
#define TOLVAREN_TTS_COMMON_CONTENT_CHECKSUM_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "absl/status/status.h"
#include "absl/status/statusor.h"

namespace tolvaren {

// The checksum taken a piece at a time: whole 32-byte blocks first, then
// the tail and the total length.
class ChecksumLanes {
 public:
  static constexpr std::size_t kBlock = 32;

  // Takes the whole blocks of `size` bytes; returns how many bytes that was.
  std::size_t Blocks(const char* data, std::size_t size);
  // The checksum of `total` bytes whose last `size` (fewer than a block)
  // are `tail`.
  uint64_t Finish(uint64_t total, const char* tail, std::size_t size) const;

 private:
  uint64_t lane_[4] = {0x243F6A8885A308D3ULL, 0x13198A2E03707344ULL,
                       0xA4093822299F31D0ULL, 0x082EFA98EC4E6C89ULL};
};

uint64_t ContentChecksum(const char* data, std::size_t size);
// ContentChecksum of the first `size` bytes of the open file `fd` (named
// `path` in the messages), read a piece at a time; DataLoss when the file
// is shorter.
[[nodiscard]] absl::StatusOr<uint64_t> FileChecksum(int fd,
                                                    const std::string& path,
                                                    std::size_t size);

// Exactly `size` bytes of the open file `fd` (named `path` in the
// messages) from `offset` into `into`; DataLoss when the file ends sooner.
[[nodiscard]] absl::Status ReadExactlyAt(int fd, const std::string& path,
                                         char* into, std::size_t size,
                                         std::size_t offset);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_COMMON_CONTENT_CHECKSUM_H_
