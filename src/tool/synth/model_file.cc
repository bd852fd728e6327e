#include "tool/synth/model_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "tool/synth/model_cache.h"

namespace tolvaren {

absl::StatusOr<ModelFile> ModelFile::Open(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return absl::NotFoundError("cannot open " + path + ": " +
                               std::strerror(errno));
  }
  const absl::StatusOr<std::size_t> size =
      RegularFileSize(fd, path, kMaxModelBytes);
  if (!size.ok()) {
    close(fd);
    return size.status();
  }
  return ModelFile(fd, path, *size);
}

ModelFile::ModelFile(int fd, std::string path, std::size_t size)
    : fd_(fd), path_(std::move(path)), size_(size) {
  const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
  struct stat mine {};
  struct stat through {};
  const bool reached =
      fstat(fd_, &mine) == 0 && stat(proc.c_str(), &through) == 0 &&
      mine.st_dev == through.st_dev && mine.st_ino == through.st_ino;
  runtime_path_ = reached ? proc : path_;
}

ModelFile::ModelFile(ModelFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      runtime_path_(std::move(other.runtime_path_)),
      size_(other.size_) {}

ModelFile::~ModelFile() {
  if (fd_ >= 0) close(fd_);
}

absl::StatusOr<uint64_t> ModelFile::Checksum() const {
  struct stat info {};
  if (fstat(fd_, &info) != 0 || static_cast<uint64_t>(info.st_size) != size_) {
    return absl::DataLossError(path_ + " changed while it was loaded");
  }
  return FileChecksum(fd_, path_, size_);
}

}  // namespace tolvaren
