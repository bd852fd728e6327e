#include "tool/io/wav_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "tool/io/chunk_file.h"

namespace tolvaren {

bool WavStream::Begin() {
  if (!header_) return true;
  // A pipe or terminal has no position: its header is never reached again.
  start_ = ::lseek(fd_, 0, SEEK_CUR);
  const std::vector<unsigned char> header =
      WavHeader(samples_, rate_, std::nullopt);
  return WriteAll(fd_, header.data(), header.size());
}

bool WavStream::Write(const float* samples, std::size_t count) {
  std::vector<unsigned char> bytes;
  EncodeSamples(samples, count, samples_, bytes);
  if (!WriteAll(fd_, bytes.data(), bytes.size())) return false;
  frames_ += count;
  return true;
}

bool WavStream::Rewritable() const {
  struct stat status {};
  if (start_ < 0 || ::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
    return false;
  }
  // Appending, every write lands at the end, the header's new sizes too.
  const int flags = ::fcntl(fd_, F_GETFL);
  return flags >= 0 && (flags & O_APPEND) == 0;
}

bool WavStream::End() {
  if (!header_ || !Rewritable()) return true;
  const std::vector<unsigned char> header = WavHeader(samples_, rate_, frames_);
  std::size_t done = 0;
  while (done < header.size()) {
    const ssize_t written =
        ::pwrite(fd_, header.data() + done, header.size() - done,
                 start_ + static_cast<off_t>(done));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace tolvaren
