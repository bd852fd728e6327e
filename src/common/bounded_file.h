// Reading files whose size nobody vouches for: a configuration, a table or a
// text named by a user may be a FIFO, a device or far larger than any real
// one. Every reader of the tool, the front end and the library goes through
// here, so that each refuses the same things with the file named.

#ifndef TOLVAREN_TTS_COMMON_BOUNDED_FILE_H_
#define TOLVAREN_TTS_COMMON_BOUNDED_FILE_H_

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "absl/status/status.h"
#include "absl/status/statusor.h"

namespace tolvaren {

// The largest file each kind of reader takes (docs/files.md), with ample
// headroom over the shipped ones: configurations are 2 KB, the largest
// table (the segmenter dictionary) is 5 MB.
inline constexpr std::size_t kMaxConfigurationBytes = std::size_t{16} << 20;
inline constexpr std::size_t kMaxTableBytes = std::size_t{64} << 20;
inline constexpr std::size_t kMaxTextFileBytes = std::size_t{64} << 20;
// The longest line read from standard input.
inline constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

// The whole of the regular file `path`, at most `max_bytes` long. Anything
// else is refused before a byte is read, and opening never blocks (a FIFO
// with no writer included):
//   NotFound            it cannot be opened;
//   DataLoss            it is a folder (the read fails);
//   FailedPrecondition  it is a FIFO, a device or a socket;
//   OutOfRange          it holds more than `max_bytes`.
// Each message names `path`.
[[nodiscard]] absl::StatusOr<std::string> ReadBoundedFile(
    const std::string& path, std::size_t max_bytes);

// What an entry that is neither a regular file nor a folder is, for
// messages: "a FIFO", "a character device", "a block device", "a socket".
const char* SpecialFileKind(mode_t mode);

// The checks of ReadBoundedFile on the opened file: `fd` receives the
// descriptor (left open, also on failure once opened; -1 when not) and
// `size` its size.
[[nodiscard]] absl::Status OpenBoundedFile(const std::string& path,
                                           std::size_t max_bytes, int& fd,
                                           std::size_t& size);

// The same checks without keeping the bytes, for files that a library
// reads itself after us.
[[nodiscard]] absl::Status CheckBoundedFile(const std::string& path,
                                            std::size_t max_bytes);

// The lines of a descriptor as they arrive (standard input), each at most
// `max_bytes` long. A longer line is skipped up to its newline and reported
// as kTooLong, so one runaway line does not end a long-running reader.
class LineReader {
 public:
  enum class Result { kLine, kTooLong, kEnd, kError };

  LineReader(int fd, std::size_t max_bytes) : fd_(fd), max_bytes_(max_bytes) {}

  // The next line, without its '\n'; the last one counts without a newline.
  // kError leaves errno set by the failed read.
  Result Next(std::string& line);

 private:
  bool Fill();  // false at the end or on an error (error_ then set)

  int fd_;
  std::size_t max_bytes_;
  std::string buffer_;
  std::size_t start_ = 0;
  bool ended_ = false;
  bool error_ = false;
  int errno_ = 0;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_COMMON_BOUNDED_FILE_H_
