#include "tool/synth/model_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "absl/strings/str_format.h"

namespace tolvaren {

absl::StatusOr<FileBytes> ReadRegularFile(int folder_fd,
                                          const std::string& path,
                                          std::size_t max_size,
                                          FinalLink link) {
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC |
                    (link == FinalLink::kRefuse ? O_NOFOLLOW : 0);
  const int fd = openat(folder_fd, path.c_str(), flags);
  if (fd < 0) {
    const int open_errno = errno;
    const std::string reason = open_errno == ELOOP && link == FinalLink::kRefuse
                                   ? "it is a symbolic link"
                                   : std::strerror(open_errno);
    return open_errno == ENOENT
               ? absl::NotFoundError("cannot open " + path + ": " + reason)
               : absl::FailedPreconditionError("cannot open " + path + ": " +
                                               reason);
  }
  absl::StatusOr<FileBytes> bytes = ReadOpenedFile(fd, path, max_size);
  close(fd);
  return bytes;
}

absl::StatusOr<std::size_t> RegularFileSize(int fd, const std::string& path,
                                            std::size_t max_size) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    return absl::FailedPreconditionError(path + " is not a regular file");
  }
  if (info.st_size == 0) {
    return absl::FailedPreconditionError(path + " is empty");
  }
  if (static_cast<uint64_t>(info.st_size) > max_size) {
    return absl::FailedPreconditionError(
        absl::StrFormat("%s is %d bytes long, more than the %d allowed", path,
                        info.st_size, max_size));
  }
  return static_cast<std::size_t>(info.st_size);
}

absl::StatusOr<FileBytes> ReadOpenedFile(int fd, const std::string& path,
                                         std::size_t max_size) {
  const absl::StatusOr<std::size_t> size = RegularFileSize(fd, path, max_size);
  if (!size.ok()) return size.status();
  FileBytes bytes;
  bytes.size = *size;
  bytes.data.reset(new char[bytes.size]);
  if (absl::Status read =
          ReadExactlyAt(fd, path, bytes.data.get(), bytes.size, 0);
      !read.ok()) {
    return read;
  }
  return bytes;
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
  // A relative HOME, like a relative XDG_CACHE_HOME, would put the cache
  // wherever the run happens to start: it counts as unset.
  if (const char* home = std::getenv("HOME");
      home != nullptr && home[0] == '/') {
    return std::string(home) + "/.cache/tolvaren_tts";
  }
  return "";
}

}  // namespace tolvaren
