// A file mapped read-only into memory for as long as its owner lives: its
// pages are the page cache's own, shared by every process that maps it and
// read only where they are used. The file is checked like any bounded read
// first (common/bounded_file.h), so a FIFO or device is never mapped.
// Whoever replaces a mapped file must do it by renaming a new one into
// place (as the build does); cutting the file short under a running process
// would end it.

#ifndef TOLVAREN_TTS_COMMON_MAPPED_FILE_H_
#define TOLVAREN_TTS_COMMON_MAPPED_FILE_H_

#include <cstddef>
#include <string>

#include "absl/status/statusor.h"

namespace tolvaren {

class MappedFile {
 public:
  // The regular file `path` of at most `max_bytes`, mapped; the same
  // refusals and codes as ReadBoundedFile. An empty file maps to no bytes.
  [[nodiscard]] static absl::StatusOr<MappedFile> Open(const std::string& path,
                                                       std::size_t max_bytes);
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  const char* data() const { return static_cast<const char*>(data_); }
  std::size_t size() const { return size_; }
  // The file, open for as long as the mapping: to read it without touching
  // the mapping's pages (a checksum through a small buffer).
  int fd() const { return fd_; }

 private:
  MappedFile(int fd, void* data, std::size_t size)
      : fd_(fd), data_(data), size_(size) {}
  void Release();

  int fd_ = -1;
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_COMMON_MAPPED_FILE_H_
