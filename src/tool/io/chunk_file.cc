// The chunked float file that tolvaren_tts writes: a uint64 chunk count C,
// C uint64 sample counts, then all samples as 32-bit floats (little-endian,
// mono, no header).

#include "tool/io/chunk_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

#include "common/bounded_file.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the output format is little-endian; add byte swapping here");

namespace tolvaren {

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

namespace {

bool WriteChunks(int fd, const std::vector<std::vector<float>>& chunks) {
  // Counts first, so a reader learns every chunk's size before the samples.
  std::vector<uint64_t> counts;
  counts.reserve(chunks.size() + 1);
  counts.push_back(chunks.size());
  for (const auto& chunk : chunks) counts.push_back(chunk.size());
  if (!WriteAll(fd, counts.data(), counts.size() * sizeof(uint64_t))) {
    return false;
  }
  for (const auto& chunk : chunks) {
    if (!WriteAll(fd, chunk.data(), chunk.size() * sizeof(float))) {
      return false;
    }
  }
  return true;
}

// Writes to `fd` through `write` and closes it; DataLoss when either fails
// (a full disk, an I/O error), so no failure passes as written.
absl::Status WriteAndClose(int fd, const FileContentWriter& write) {
  const bool written = write(fd);
  const int write_errno = errno;
  const bool closed = ::close(fd) == 0;
  if (written && closed) return absl::OkStatus();
  return absl::DataLossError(std::strerror(written ? errno : write_errno));
}

absl::Status CannotOpen(const std::string& path, int error) {
  return absl::UnavailableError("cannot create " + path + ": " +
                                std::strerror(error));
}

// Temporary files are this prefix and mkstemp's six letters or digits.
constexpr char kTemporaryPrefix[] = ".tolvaren_tts.";
constexpr std::size_t kTemporarySuffix = 6;

bool IsTemporaryName(const std::string& name) {
  const std::size_t prefix = sizeof(kTemporaryPrefix) - 1;
  if (name.size() != prefix + kTemporarySuffix ||
      name.compare(0, prefix, kTemporaryPrefix) != 0) {
    return false;
  }
  for (std::size_t i = prefix; i < name.size(); ++i) {
    const char c = name[i];
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                       (c >= 'A' && c <= 'Z');
    if (!alnum) return false;
  }
  return true;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

mode_t ReplacementMode(const struct stat* existing) {
  if (existing != nullptr && S_ISREG(existing->st_mode) &&
      existing->st_uid == ::geteuid()) {
    return existing->st_mode & 0777;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string TemporaryPathTemplate(const std::string& path) {
  return FolderOf(path) + "/" + kTemporaryPrefix + "XXXXXX";
}

absl::Status CheckOutputName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string name =
      slash == std::string::npos ? path : path.substr(slash + 1);
  const long name_max = ::pathconf(FolderOf(path).c_str(), _PC_NAME_MAX);
  if (name_max > 0 && name.size() > static_cast<std::size_t>(name_max)) {
    return absl::UnavailableError(
        "cannot create " + path + ": the file name is " +
        std::to_string(name.size()) + " bytes long, the file system allows " +
        std::to_string(name_max));
  }
  return absl::OkStatus();
}

std::size_t RemoveStaleTemporaryFiles(const std::string& folder,
                                      std::time_t now,
                                      std::time_t max_age_seconds) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  std::size_t removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsTemporaryName(name)) continue;
    const std::string path = folder + "/" + name;
    struct stat info;
    // lstat: a link with the pattern's name is not ours to follow.
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (now - info.st_mtime <= max_age_seconds) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

absl::Status WriteChunkFile(const std::string& path,
                            const std::vector<std::vector<float>>& chunks) {
  return ReplaceFile(path,
                     [&chunks](int fd) { return WriteChunks(fd, chunks); });
}

absl::Status ReplaceFile(const std::string& path,
                         const FileContentWriter& write) {
  // A name the file system cannot hold is an open failure like any other.
  if (absl::Status name = CheckOutputName(path); !name.ok()) return name;
  if (path.empty() || path.back() == '/') {
    return absl::UnavailableError("cannot create " + path +
                                  ": the file name is empty");
  }

  // Only a regular file is ever replaced, and only once its new contents are
  // complete. A symbolic link is itself replaced, never written through (it
  // could point anywhere the process may write); any other entry (a pipe
  // would block the run, a device is not an audio file) is refused.
  struct stat target;
  const bool exists = ::lstat(path.c_str(), &target) == 0;
  if (exists && !S_ISREG(target.st_mode) && !S_ISLNK(target.st_mode)) {
    return absl::FailedPreconditionError(path + " is not a regular file");
  }

  std::string temp_path = TemporaryPathTemplate(path);
  // Created with O_EXCL and mode 0600 by mkstemp.
  const int fd = ::mkstemp(temp_path.data());
  if (fd < 0) {
    return CannotOpen(path, errno);
  }
  ::fchmod(fd, ReplacementMode(exists ? &target : nullptr));

  if (absl::Status written = WriteAndClose(fd, write); !written.ok()) {
    ::unlink(temp_path.c_str());
    return written;
  }
  if (::rename(temp_path.c_str(), path.c_str()) != 0) {
    const int rename_errno = errno;
    ::unlink(temp_path.c_str());
    return CannotOpen(path, rename_errno);
  }
  return absl::OkStatus();
}

absl::StatusOr<std::vector<float>> ReadChunkFile(const std::string& path) {
  // A FIFO would block the open below and a device never ends; the size
  // itself is checked against the counts the file declares.
  if (absl::Status usable =
          CheckBoundedFile(path, std::numeric_limits<std::size_t>::max());
      absl::IsFailedPrecondition(usable)) {
    return usable;
  }
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file.is_open()) {
    return absl::NotFoundError("cannot open " + path);
  }
  const std::streamoff end = file.tellg();
  if (end < 0) {
    return absl::DataLossError("cannot read " + path);
  }
  const auto size = static_cast<uint64_t>(end);
  file.seekg(0);

  uint64_t chunk_count = 0;
  if (size < sizeof(chunk_count) ||
      !file.read(reinterpret_cast<char*>(&chunk_count), sizeof(chunk_count))) {
    return absl::DataLossError(path + " is too short to be a chunk file");
  }
  // Each chunk needs at least its 8-byte count: a count that the file size
  // cannot hold is not ours (or is truncated), whatever its value.
  if (chunk_count > (size - 8) / 8) {
    return absl::DataLossError(path + " declares " +
                               std::to_string(chunk_count) +
                               " chunks, more than its size allows");
  }
  std::vector<uint64_t> counts(chunk_count);
  if (chunk_count > 0 &&
      !file.read(reinterpret_cast<char*>(counts.data()),
                 static_cast<std::streamsize>(chunk_count * 8))) {
    return absl::DataLossError("cannot read the chunk counts of " + path);
  }
  const uint64_t data_bytes = size - 8 - 8 * chunk_count;
  uint64_t total = 0;
  for (const uint64_t count : counts) {
    if (count > data_bytes / 4 || total > data_bytes / 4 - count) {
      return absl::DataLossError(path + " declares more samples than it holds");
    }
    total += count;
  }
  if (total * 4 != data_bytes) {
    return absl::DataLossError(path + " holds " + std::to_string(data_bytes) +
                               " bytes of samples, but its counts need " +
                               std::to_string(total * 4));
  }
  std::vector<float> samples(total);
  if (total > 0 && !file.read(reinterpret_cast<char*>(samples.data()),
                              static_cast<std::streamsize>(total * 4))) {
    return absl::DataLossError("cannot read the samples of " + path);
  }
  return samples;
}

}  // namespace tolvaren
