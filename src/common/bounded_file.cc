#include "common/bounded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvaren {
namespace {

std::string TooLarge(const std::string& path, std::size_t max_bytes) {
  return path + " is larger than " + std::to_string(max_bytes >> 10) +
         " KiB; it is not read";
}

// Closes the descriptor on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

absl::Status OpenBoundedFile(const std::string& path, std::size_t max_bytes,
                             int& fd, std::size_t& size) {
  // O_NONBLOCK: opening a FIFO with no writer would otherwise wait for one.
  fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return absl::NotFoundError("cannot open " + path + ": " +
                               std::strerror(errno));
  }
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    return absl::DataLossError("cannot read " + path + ": " +
                               std::strerror(errno));
  }
  if (S_ISDIR(status.st_mode)) {
    return absl::DataLossError("cannot read " + path + ": it is a folder");
  }
  if (!S_ISREG(status.st_mode)) {
    return absl::FailedPreconditionError(path + " is " +
                                         SpecialFileKind(status.st_mode) +
                                         ", not a file; it is not read");
  }
  size = static_cast<std::size_t>(status.st_size);
  if (size > max_bytes) {
    return absl::OutOfRangeError(TooLarge(path, max_bytes));
  }
  return absl::OkStatus();
}

const char* SpecialFileKind(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

absl::StatusOr<std::string> ReadBoundedFile(const std::string& path,
                                            std::size_t max_bytes) {
  int raw_fd = -1;
  std::size_t size = 0;
  const absl::Status opened = OpenBoundedFile(path, max_bytes, raw_fd, size);
  const Descriptor fd(raw_fd);
  if (!opened.ok()) return opened;
  std::string text;
  text.reserve(size);
  // The size is read again as the bytes come: a file growing while it is
  // read still stops at the bound.
  char block[1 << 16];
  while (true) {
    const ssize_t got = read(fd.get(), block, sizeof(block));
    if (got < 0) {
      if (errno == EINTR) continue;
      return absl::DataLossError("cannot read " + path + ": " +
                                 std::strerror(errno));
    }
    if (got == 0) break;
    if (text.size() + static_cast<std::size_t>(got) > max_bytes) {
      return absl::OutOfRangeError(TooLarge(path, max_bytes));
    }
    text.append(block, static_cast<std::size_t>(got));
  }
  return text;
}

absl::Status CheckBoundedFile(const std::string& path, std::size_t max_bytes) {
  int raw_fd = -1;
  std::size_t size = 0;
  const absl::Status opened = OpenBoundedFile(path, max_bytes, raw_fd, size);
  const Descriptor fd(raw_fd);
  return opened;
}

bool LineReader::Fill() {
  if (ended_ || error_) return false;
  char block[1 << 16];
  while (true) {
    const ssize_t got = read(fd_, block, sizeof(block));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error_ = true;
      errno_ = errno;
      return false;
    }
    if (got == 0) {
      ended_ = true;
      return false;
    }
    buffer_.append(block, static_cast<std::size_t>(got));
    return true;
  }
}

LineReader::Result LineReader::Next(std::string& line) {
  bool too_long = false;
  while (true) {
    const std::size_t newline = buffer_.find('\n', start_);
    const std::size_t held =
        (newline == std::string::npos ? buffer_.size() : newline) - start_;
    if (held > max_bytes_) {
      // Only the bound's worth is ever kept: the rest is dropped as it
      // comes, up to the line's end.
      too_long = true;
      buffer_.erase(0, newline == std::string::npos ? buffer_.size() : newline);
      start_ = 0;
      continue;
    }
    if (newline != std::string::npos) {
      line.assign(buffer_, start_, newline - start_);
      start_ = newline + 1;
      if (start_ > (std::size_t{1} << 16)) {
        buffer_.erase(0, start_);
        start_ = 0;
      }
      return too_long ? Result::kTooLong : Result::kLine;
    }
    if (!Fill()) {
      if (error_) {
        errno = errno_;
        return Result::kError;
      }
      if (start_ >= buffer_.size() && !too_long) return Result::kEnd;
      line.assign(buffer_, start_, std::string::npos);
      buffer_.clear();
      start_ = 0;
      return too_long ? Result::kTooLong : Result::kLine;
    }
  }
}

}  // namespace tolvaren
