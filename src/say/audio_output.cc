#include "say/audio_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/bounded_file.h"
#include "say/signal_cleanup.h"
#include "tool/io/chunk_file.h"

namespace tolvaren_say {
namespace {

// Whether `folder` is, or lies in, /dev or /proc, after its links.
bool IsSystemFolder(const std::string& folder) {
  char* resolved = realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return false;
  const std::string real = resolved;
  std::free(resolved);
  for (const std::string system : {"/dev", "/proc"}) {
    if (real == system || real.rfind(system + "/", 0) == 0) return true;
  }
  return false;
}

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

std::unique_ptr<AudioOutput> AudioOutput::Open(const std::string& path,
                                               const StreamFormat& format,
                                               std::string& error) {
  std::unique_ptr<AudioOutput> output;
  if (path == "-") {
    output.reset(new AudioOutput(STDOUT_FILENO, false, path, "", format));
  } else {
    output = OpenFile(path, format, error);
    if (output == nullptr) return nullptr;
  }
  if (!output->stream_.Begin()) {
    error = output->WriteError();
    return nullptr;
  }
  return output;
}

std::unique_ptr<AudioOutput> AudioOutput::OpenFile(const std::string& path,
                                                   const StreamFormat& format,
                                                   std::string& error) {
  // The links there (/dev/stdout, /proc/self/fd/1) are the system's own:
  // replacing one as root would break it for everyone.
  if (IsSystemFolder(tolvaren::FolderOf(path))) {
    error = path +
            " is in a system folder; it is left as it is (-o - "
            "writes to standard output)";
    return nullptr;
  }
  // lstat: a symbolic link, whatever it points to, is replaced by the
  // rename below and never written through. Only a regular file or a link
  // is ever replaced; a FIFO would block the run and a device is no file.
  struct stat status {};
  const bool exists = lstat(path.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) {
    error = path + " is a folder";
    return nullptr;
  }
  if (exists && !S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) {
    error = path + " is " + tolvaren::SpecialFileKind(status.st_mode) +
            ", not a file; it is left as it is (-o - writes to standard "
            "output)";
    return nullptr;
  }
  if (absl::Status name = tolvaren::CheckOutputName(path); !name.ok()) {
    error = std::string(name.message());
    return nullptr;
  }
  std::string temporary = tolvaren::TemporaryPathTemplate(path);
  int fd = -1;
  {
    const SignalsHeld held;
    fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd >= 0 && !RecordTemporary(temporary)) {
      close(fd);
      unlink(temporary.c_str());
      errno = ENAMETOOLONG;
      fd = -1;
    }
  }
  if (fd < 0) {
    error = SystemError("cannot create " + path);
    return nullptr;
  }
  // mkstemp makes the file private: a file replaced keeps its permissions,
  // a new one gets those a plain open would give it.
  mode_t mode = 0;
  if (exists && S_ISREG(status.st_mode)) {
    mode = status.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd, mode);
  return std::unique_ptr<AudioOutput>(
      new AudioOutput(fd, true, path, temporary, format));
}

AudioOutput::~AudioOutput() {
  if (owned_ && fd_ >= 0) close(fd_);
  if (!finished_ && !temporary_.empty()) {
    const SignalsHeld held;
    unlink(temporary_.c_str());
    ForgetTemporary();
  }
}

std::string AudioOutput::WriteError() const {
  return SystemError("cannot write " + path_);
}

bool AudioOutput::Write(const float* samples, std::size_t count,
                        std::string& error) {
  if (stream_.Write(samples, count)) return true;
  error = WriteError();
  return false;
}

bool AudioOutput::Finish(std::string& error) {
  // A file longer than a WAV header can count keeps the unknown sizes.
  if (!stream_.End()) {
    error = WriteError();
    return false;
  }
  if (temporary_.empty()) {
    finished_ = true;
    return true;
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    error = SystemError("cannot write " + path_);
    return false;
  }
  const SignalsHeld held;
  if (rename(temporary_.c_str(), path_.c_str()) != 0) {
    error = SystemError("cannot create " + path_);
    return false;
  }
  ForgetTemporary();
  finished_ = true;
  return true;
}

}  // namespace tolvaren_say
