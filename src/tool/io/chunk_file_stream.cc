#include "tool/io/chunk_file_stream.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "tool/io/chunk_file.h"

namespace tolvaren {
namespace {

// Copies all of `from` (read from its start) to `to`.
bool CopyAll(int from, int to) {
  char buffer[1 << 16];
  off_t at = 0;
  for (;;) {
    const ssize_t got = ::pread(from, buffer, sizeof(buffer), at);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (!WriteAll(to, buffer, static_cast<std::size_t>(got))) return false;
    at += got;
  }
}

}  // namespace

ChunkFileStream::ChunkFileStream(std::string path)
    : path_(std::move(path)), scratch_path_(TemporaryPathTemplate(path_)) {
  // Created with O_EXCL and mode 0600 by mkstemp. It has the temporary
  // files' name, so what a killed run leaves is removed as theirs is.
  scratch_ = ::mkstemp(scratch_path_.data());
  if (scratch_ < 0) scratch_path_.clear();
  counts_.push_back(0);
}

ChunkFileStream::~ChunkFileStream() {
  if (scratch_ < 0) return;
  ::close(scratch_);
  ::unlink(scratch_path_.c_str());
}

void ChunkFileStream::Append(const std::vector<float>& chunk) {
  ++counts_.front();
  counts_.push_back(chunk.size());
  if (scratch_ < 0) {
    held_.push_back(chunk);
    return;
  }
  if (scratch_errno_ == 0 &&
      !WriteAll(scratch_, chunk.data(), chunk.size() * sizeof(float))) {
    scratch_errno_ = errno;
  }
}

absl::Status ChunkFileStream::Finish() {
  if (scratch_ < 0) return WriteChunkFile(path_, held_);
  if (scratch_errno_ != 0) {
    return absl::DataLossError(std::strerror(scratch_errno_));
  }
  return ReplaceFile(path_, [this](int fd) {
    return WriteAll(fd, counts_.data(), counts_.size() * sizeof(uint64_t)) &&
           CopyAll(scratch_, fd);
  });
}

}  // namespace tolvaren
