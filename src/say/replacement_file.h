// A file of tolvaren_say's output (the audio of -o, a WAV of --output-dir,
// the timings), written under a short temporary name in its folder that
// takes the place of the named path only once complete.

#ifndef TOLVAREN_TTS_SAY_REPLACEMENT_FILE_H_
#define TOLVAREN_TTS_SAY_REPLACEMENT_FILE_H_

#include <memory>
#include <string>

namespace tolvaren_say {

// Whether `folder` is, or lies in, /dev or /proc, after its links: the
// links there (/dev/stdout, /proc/self/fd/1) are the system's own, and
// replacing one as root would break it for everyone.
bool IsSystemFolder(const std::string& folder);

// Whether `path` is the null device itself (not a link, which may be the
// system's own, as /dev/stdout is): writing there replaces nothing, and any
// number of outputs may go there.
bool IsNullDevice(const std::string& path);

class ReplacementFile {
 public:
  // Checks `path` and creates its temporary, recorded for the signal
  // handlers. Refused, without creating anything: a path in a system
  // folder (`hint` is added to that message), a folder, FIFO, device or
  // socket, a name the file system cannot hold. A symbolic link at `path`
  // is replaced, never written through. The null device itself
  // (/dev/null) is the one exception: it is written directly, as every Unix
  // tool writes it. Null, with the reason in `error`.
  static std::unique_ptr<ReplacementFile> Open(const std::string& path,
                                               const std::string& hint,
                                               std::string& error);
  // A file not committed leaves nothing behind.
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

  // "cannot write PATH: " and the reason errno holds.
  std::string WriteError() const;
  // Closes the temporary and puts it in the place of the path.
  bool Commit(std::string& error);

 private:
  ReplacementFile(int fd, int slot, std::string path, std::string temporary)
      : fd_(fd),
        slot_(slot),
        path_(std::move(path)),
        temporary_(std::move(temporary)) {}

  int fd_;
  int slot_;  // in signal_cleanup's record
  std::string path_;
  std::string temporary_;  // empty for the null device
  bool committed_ = false;
};

}  // namespace tolvaren_say

#endif  // TOLVAREN_TTS_SAY_REPLACEMENT_FILE_H_
