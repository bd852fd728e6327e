// The chunked float output file.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tool/logger.h"
#include "tool/tool.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the output format is little-endian; add byte swapping here");

namespace tolvaren {
namespace {
constexpr char kLogSource[] = "./src/tool/tool";

// Writes all of `size` bytes, retrying short writes and interruptions.
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

std::string Directory(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Writes the chunks to `fd` and closes it; logs and returns false when
// either fails (a full disk, an I/O error), so no failure passes as written.
bool WriteAndClose(int fd, const std::vector<std::vector<float>>& chunks,
                   const std::string& path) {
  const bool written = WriteChunks(fd, chunks);
  const int write_errno = errno;
  const bool closed = ::close(fd) == 0;
  if (written && closed) return true;
  LOG_ERROR("Failed to write file {}: {}", path,
            std::strerror(written ? errno : write_errno));
  return false;
}

}  // namespace

bool saveWavBufferToFile(const std::string& path,
                         const std::vector<std::vector<float>>& chunks) {
  // A name the file system cannot hold is an open failure like any other.
  const std::size_t slash = path.rfind('/');
  const std::string name =
      slash == std::string::npos ? path : path.substr(slash + 1);
  const long name_max = ::pathconf(Directory(path).c_str(), _PC_NAME_MAX);
  if (name.empty() ||
      (name_max > 0 && name.size() > static_cast<std::size_t>(name_max))) {
    LOG_ERROR("无法打开文件：{}", path);
    return false;
  }

  // Special files (devices, pipes) and symbolic links are written in place,
  // as an ordinary open would; a regular file is replaced only once its new
  // contents are complete.
  struct stat target;
  if (::lstat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
      LOG_ERROR("无法打开文件：{}", path);
      return false;
    }
    return WriteAndClose(fd, chunks, path);
  }

  std::string temp_path = Directory(path) + "/.tolvaren_tts.XXXXXX";
  const int fd = ::mkstemp(temp_path.data());
  if (fd < 0) {
    LOG_ERROR("无法打开文件：{}", path);
    return false;
  }
  // mkstemp creates the file private to its owner; give it the permissions
  // a plain open would have.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);

  if (!WriteAndClose(fd, chunks, path)) {
    ::unlink(temp_path.c_str());
    return false;
  }
  if (::rename(temp_path.c_str(), path.c_str()) != 0) {
    LOG_ERROR("无法打开文件：{}", path);
    ::unlink(temp_path.c_str());
    return false;
  }
  return true;
}

}  // namespace tolvaren
