#include "tool/synth/model_cache.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "absl/strings/str_format.h"

namespace tolvaren {

absl::StatusOr<MappedFile> MappedFile::Open(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return absl::NotFoundError("cannot open " + path + ": " +
                               std::strerror(errno));
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return absl::FailedPreconditionError(path + " is not a regular file");
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  if (size == 0) {
    close(fd);
    return absl::FailedPreconditionError(path + " is empty");
  }
  void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  const int map_errno = errno;
  close(fd);
  if (mapped == MAP_FAILED) {
    return absl::InternalError("cannot map " + path + ": " +
                               std::strerror(map_errno));
  }
  return MappedFile(static_cast<const char*>(mapped), size);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

MappedFile::~MappedFile() { Release(); }

void MappedFile::DropResidentPages() const {
  // Never written through, so the private mapping holds no copy of its own
  // that would be lost: the pages are the file's.
  if (data_ != nullptr) madvise(const_cast<char*>(data_), size_, MADV_DONTNEED);
}

void MappedFile::Release() {
  if (data_ != nullptr) munmap(const_cast<char*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

uint64_t ContentChecksum(const char* data, std::size_t size) {
  // Four independent multiply-xor lanes over 8-byte words keep the
  // multiplier busy; the tail and the length are folded in at the end.
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15ULL;
  uint64_t lanes[4] = {0x243F6A8885A308D3ULL, 0x13198A2E03707344ULL,
                       0xA4093822299F31D0ULL, 0x082EFA98EC4E6C89ULL};
  std::size_t at = 0;
  for (; at + 32 <= size; at += 32) {
    for (int lane = 0; lane < 4; ++lane) {
      uint64_t word;
      std::memcpy(&word, data + at + 8 * lane, 8);
      lanes[lane] = (lanes[lane] ^ word) * kMul;
      lanes[lane] ^= lanes[lane] >> 29;
    }
  }
  uint64_t hash = size * kMul;
  for (const uint64_t lane : lanes) hash = (hash ^ lane) * kMul;
  for (; at < size; ++at) {
    hash = (hash ^ static_cast<unsigned char>(data[at])) * kMul;
  }
  hash ^= hash >> 31;
  return hash;
}

uint64_t ProcessorChecksum() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  std::string identity;
  bool have_name = false;
  bool have_flags = false;
  while ((!have_name || !have_flags) && std::getline(cpuinfo, line)) {
    if (!have_name && line.rfind("model name", 0) == 0) {
      identity += line + "\n";
      have_name = true;
    } else if (!have_flags && (line.rfind("flags", 0) == 0 ||
                               line.rfind("Features", 0) == 0)) {
      identity += line + "\n";
      have_flags = true;
    }
  }
  if (identity.empty()) return 0;
  return ContentChecksum(identity.data(), identity.size());
}

std::string CacheEntryName(const std::string& model_path,
                           uint64_t model_checksum,
                           const std::string& runtime_version,
                           uint64_t processor_checksum) {
  std::string stem = model_path.substr(model_path.find_last_of('/') + 1);
  if (const std::size_t dot = stem.rfind('.');
      dot != std::string::npos && dot > 0) {
    stem.resize(dot);
  }
  return absl::StrFormat(
      "%s-%016x-ort%s-%08x.ort", stem, model_checksum, runtime_version,
      static_cast<uint32_t>(processor_checksum ^ (processor_checksum >> 32)));
}

std::string ResolveModelCacheFolder(const std::string& configured) {
  if (configured != "auto") return configured;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME");
      xdg != nullptr && xdg[0] == '/') {
    return std::string(xdg) + "/tolvaren_tts";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home) {
    return std::string(home) + "/.cache/tolvaren_tts";
  }
  return "";
}

}  // namespace tolvaren
