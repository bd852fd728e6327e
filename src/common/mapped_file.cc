#include "common/mapped_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/bounded_file.h"

namespace tolvaren {

absl::StatusOr<MappedFile> MappedFile::Open(const std::string& path,
                                            std::size_t max_bytes) {
  int fd = -1;
  std::size_t size = 0;
  const absl::Status opened = OpenBoundedFile(path, max_bytes, fd, size);
  if (!opened.ok()) {
    if (fd >= 0) close(fd);
    return opened;
  }
  if (size == 0) return MappedFile(fd, nullptr, 0);
  void* data = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) {
    const int map_errno = errno;
    close(fd);
    return absl::DataLossError("cannot map " + path + ": " +
                               std::strerror(map_errno));
  }
  return MappedFile(fd, data, size);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

MappedFile::~MappedFile() { Release(); }

void MappedFile::Release() {
  if (data_ != nullptr) munmap(data_, size_);
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  data_ = nullptr;
  size_ = 0;
}

}  // namespace tolvaren
