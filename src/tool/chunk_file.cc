#include "tool/chunk_file.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>

namespace tolvaren {

bool ReadChunkFile(const std::string& path, std::vector<float>& samples,
                   std::string& error) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file.is_open()) {
    error = "cannot open " + path;
    return false;
  }
  const std::streamoff end = file.tellg();
  if (end < 0) {
    error = "cannot read " + path;
    return false;
  }
  const auto size = static_cast<uint64_t>(end);
  file.seekg(0);

  uint64_t chunk_count = 0;
  if (size < sizeof(chunk_count) ||
      !file.read(reinterpret_cast<char*>(&chunk_count), sizeof(chunk_count))) {
    error = path + " is too short to be a chunk file";
    return false;
  }
  // Each chunk needs at least its 8-byte count: a count that the file size
  // cannot hold is not ours (or is truncated), whatever its value.
  if (chunk_count > (size - 8) / 8) {
    error = path + " declares " + std::to_string(chunk_count) +
            " chunks, more than its size allows";
    return false;
  }
  std::vector<uint64_t> counts(chunk_count);
  if (chunk_count > 0 &&
      !file.read(reinterpret_cast<char*>(counts.data()),
                 static_cast<std::streamsize>(chunk_count * 8))) {
    error = "cannot read the chunk counts of " + path;
    return false;
  }
  const uint64_t data_bytes = size - 8 - 8 * chunk_count;
  uint64_t total = 0;
  for (const uint64_t count : counts) {
    if (count > data_bytes / 4 || total > data_bytes / 4 - count) {
      error = path + " declares more samples than it holds";
      return false;
    }
    total += count;
  }
  if (total * 4 != data_bytes) {
    error = path + " holds " + std::to_string(data_bytes) +
            " bytes of samples, but its counts need " +
            std::to_string(total * 4);
    return false;
  }
  samples.resize(total);
  if (total > 0 && !file.read(reinterpret_cast<char*>(samples.data()),
                              static_cast<std::streamsize>(total * 4))) {
    error = "cannot read the samples of " + path;
    return false;
  }
  return true;
}

}  // namespace tolvaren
