#include "say/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/bounded_file.h"
#include "say/signal_cleanup.h"
#include "tool/io/chunk_file.h"

namespace tolvaren_say {
namespace {

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Why the entry at `path` may not be replaced; "" when it may.
std::string Unreplaceable(const std::string& path, const std::string& hint,
                          bool exists, const struct stat& status) {
  if (IsSystemFolder(tolvaren::FolderOf(path))) {
    return path + " is in a system folder; it is left as it is" + hint;
  }
  // Only a regular file or a link is ever replaced; a FIFO would block the
  // run and a device is no file.
  if (exists && S_ISDIR(status.st_mode)) return path + " is a folder";
  if (exists && !S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) {
    return path + " is " + tolvaren::SpecialFileKind(status.st_mode) +
           ", not a file; it is left as it is" + hint;
  }
  if (absl::Status name = tolvaren::CheckOutputName(path); !name.ok()) {
    return std::string(name.message());
  }
  return "";
}

}  // namespace

bool IsNullDevice(const std::string& path) {
  struct stat target {};
  struct stat null {};
  return lstat(path.c_str(), &target) == 0 && S_ISCHR(target.st_mode) &&
         stat("/dev/null", &null) == 0 && target.st_rdev == null.st_rdev;
}

bool IsSystemFolder(const std::string& folder) {
  // The links resolved as far as the folder exists: a folder yet to be
  // made under /dev is in /dev too.
  std::error_code failed;
  const std::string real =
      std::filesystem::weakly_canonical(folder, failed).string();
  if (failed) return false;
  for (const std::string system : {"/dev", "/proc"}) {
    if (real == system || real.rfind(system + "/", 0) == 0) return true;
  }
  return false;
}

std::unique_ptr<ReplacementFile> ReplacementFile::Open(const std::string& path,
                                                       const std::string& hint,
                                                       std::string& error) {
  // lstat: a symbolic link, whatever it points to, is replaced by the
  // rename in Commit and never written through.
  if (IsNullDevice(path)) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      error = SystemError("cannot open " + path);
      return nullptr;
    }
    return std::unique_ptr<ReplacementFile>(
        new ReplacementFile(fd, -1, path, ""));
  }
  struct stat status {};
  const bool exists = lstat(path.c_str(), &status) == 0;
  error = Unreplaceable(path, hint, exists, status);
  if (!error.empty()) return nullptr;
  std::string temporary = tolvaren::TemporaryPathTemplate(path);
  int fd = -1;
  int slot = -1;
  {
    const SignalsHeld held;
    fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd >= 0 && (slot = RecordTemporary(temporary)) < 0) {
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
  fchmod(fd, tolvaren::ReplacementMode(exists ? &status : nullptr));
  return std::unique_ptr<ReplacementFile>(
      new ReplacementFile(fd, slot, path, std::move(temporary)));
}

ReplacementFile::~ReplacementFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temporary_.empty()) {
    const SignalsHeld held;
    unlink(temporary_.c_str());
    ForgetTemporary(slot_);
  }
}

std::string ReplacementFile::WriteError() const {
  return SystemError("cannot write " + path_);
}

bool ReplacementFile::Commit(std::string& error) {
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    error = WriteError();
    return false;
  }
  if (temporary_.empty()) {  // the null device
    committed_ = true;
    return true;
  }
  const SignalsHeld held;
  if (rename(temporary_.c_str(), path_.c_str()) != 0) {
    error = SystemError("cannot create " + path_);
    return false;
  }
  ForgetTemporary(slot_);
  committed_ = true;
  return true;
}

}  // namespace tolvaren_say
