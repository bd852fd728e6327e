#include "tool/io/chunk_file_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "tool/io/chunk_file.h"

namespace tolvaren {
namespace {

// A file without a name in `folder`: gone when closed or when the process
// dies. Where the file system cannot make one, a named one removed at once.
int OpenScratch(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR)) return fd;
  std::string name = folder + "/.tolvaren_tts.scratch.XXXXXX";
  const int named = ::mkstemp(name.data());
  if (named >= 0) ::unlink(name.c_str());
  return named;
}

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
    : path_(std::move(path)), scratch_(OpenScratch(FolderOf(path_))) {
  counts_.push_back(0);
}

ChunkFileStream::~ChunkFileStream() {
  if (scratch_ >= 0) ::close(scratch_);
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
