#include "tool/synth/cache_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <random>
#include <set>
#include <utility>

#include "absl/strings/str_format.h"
#include "tool/logger.h"

namespace tolvaren {
namespace {

constexpr char kFailedSuffix[] = ".unsaved";
constexpr std::size_t kRandomLetters = 6;
// How often a served entry's time is brought forward.
constexpr std::time_t kMarkUsedEvery = 86400;

// Whether this process already did `what` for `key`; records it if not.
bool FirstTime(const std::string& key) {
  static std::mutex mutex;
  static std::set<std::string>* seen = new std::set<std::string>();
  const std::lock_guard<std::mutex> lock(mutex);
  return seen->insert(key).second;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// "<entry>.ort.XXXXXX": a temporary of Begin (or of an earlier version).
bool IsTemporaryName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.size() - dot - 1 != kRandomLetters ||
      !EndsWith(name.substr(0, dot), ".ort")) {
    return false;
  }
  for (std::size_t at = dot + 1; at < name.size(); ++at) {
    if (!std::isalnum(static_cast<unsigned char>(name[at]))) return false;
  }
  return true;
}

// Creates the missing folders of `path`, each private to this user. An
// existing one is left as it is: Open judges the last.
void MakeFolders(const std::string& path) {
  for (std::size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    mkdir(path.substr(0, at).c_str(), 0700);
  }
}

// Why the opened folder `fd` cannot hold entries; "" when it can.
std::string Unusable(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return std::strerror(errno);
  if (info.st_uid != geteuid()) {
    return absl::StrFormat("it belongs to user %d, not to this user (%d)",
                           info.st_uid, geteuid());
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return absl::StrFormat("others may write to it (mode %04o)",
                           info.st_mode & 07777);
  }
  // The runtime writes an entry by path: that path must lead here.
  struct stat through {};
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  if (stat(proc.c_str(), &through) != 0 || through.st_dev != info.st_dev ||
      through.st_ino != info.st_ino) {
    return "/proc/self/fd does not reach it";
  }
  return "";
}

std::string RandomLetters() {
  static constexpr char kLetters[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::random_device device;
  std::string letters;
  for (std::size_t i = 0; i < kRandomLetters; ++i) {
    letters += kLetters[device() % (sizeof(kLetters) - 1)];
  }
  return letters;
}

}  // namespace

void LogCacheWarningOnce(const std::string& key, const std::string& text) {
  if (FirstTime("warning:" + key)) LOG_WARNING("Warning: {}", text);
}

std::optional<CacheFolder> CacheFolder::Open(const std::string& configured) {
  std::string path = configured;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  MakeFolders(path);
  const int fd =
      open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  std::string reason;
  if (fd < 0) {
    const int open_errno = errno;
    struct stat info {};
    reason = lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)
                 ? "it is a symbolic link"
             : open_errno == ENOTDIR ? "it is not a folder"
                                     : std::strerror(open_errno);
  } else {
    reason = Unusable(fd);
  }
  if (!reason.empty()) {
    if (fd >= 0) close(fd);
    LogCacheWarningOnce("folder:" + path,
                        "the model cache folder " + path + " is not used: " +
                            reason + "; the models are loaded without it");
    return std::nullopt;
  }
  CacheFolder folder(fd, path);
  if (FirstTime("clean:" + path)) folder.RemoveStale(std::time(nullptr));
  return folder;
}

CacheFolder::CacheFolder(CacheFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

CacheFolder::~CacheFolder() {
  if (fd_ >= 0) close(fd_);
}

absl::StatusOr<FileBytes> CacheFolder::Read(const std::string& name) const {
  return ReadRegularFile(fd_, name, kMaxModelBytes, FinalLink::kRefuse);
}

void CacheFolder::MarkUsed(const std::string& name) const {
  struct stat info {};
  if (fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      info.st_mtime < std::time(nullptr) - kMarkUsedEvery) {
    utimensat(fd_, name.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
  }
}

void CacheFolder::Remove(const std::string& name) const {
  unlinkat(fd_, name.c_str(), 0);
}

bool CacheFolder::SaveFailedRecently(const std::string& name) const {
  struct stat info {};
  const std::string record = name + kFailedSuffix;
  return fstatat(fd_, record.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(info.st_mode) &&
         info.st_mtime > std::time(nullptr) - kFailedSaveRetryAfter;
}

void CacheFolder::RememberFailedSave(const std::string& name,
                                     const std::string& reason) const {
  const std::string record = name + kFailedSuffix;
  unlinkat(fd_, record.c_str(), 0);
  const int fd =
      openat(fd_, record.c_str(),
             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const std::string line = reason + "\n";
  static_cast<void>(write(fd, line.data(), line.size()));
  close(fd);
}

absl::StatusOr<PendingEntry> CacheFolder::Begin(const std::string& name) const {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temporary = name + "." + RandomLetters();
    const int fd =
        openat(fd_, temporary.c_str(),
               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) return PendingEntry(fd_, fd, name, temporary);
    if (errno != EEXIST) {
      return absl::FailedPreconditionError(absl::StrFormat(
          "cannot create a file in %s: %s", path_, std::strerror(errno)));
    }
  }
  return absl::FailedPreconditionError("cannot find a free temporary name in " +
                                       path_);
}

absl::Status CacheFolder::Commit(PendingEntry& pending,
                                 const EntryFacts& facts) const {
  // Read through the descriptor made at Begin: the bytes sealed are those
  // of the file created then, whatever its name leads to now.
  absl::StatusOr<FileBytes> body =
      ReadOpenedFile(pending.fd_, pending.temporary_, kMaxModelBytes);
  if (!body.ok()) {
    return absl::DataLossError("the runtime wrote no usable copy (" +
                               std::string(body.status().message()) + ")");
  }
  const std::string trailer = EntryTrailer(body->data.get(), body->size, facts);
  if (pwrite(pending.fd_, trailer.data(), trailer.size(),
             static_cast<off_t>(body->size)) !=
          static_cast<ssize_t>(trailer.size()) ||
      renameat(fd_, pending.temporary_.c_str(), fd_, pending.name_.c_str()) !=
          0) {
    return absl::UnavailableError(std::strerror(errno));
  }
  pending.committed_ = true;
  return absl::OkStatus();
}

void CacheFolder::RemoveStale(std::time_t now) const {
  const int listing_fd = dup(fd_);
  if (listing_fd < 0) return;
  DIR* listing = fdopendir(listing_fd);
  if (listing == nullptr) {
    close(listing_fd);
    return;
  }
  // The copy shares the folder's reading position, wherever an earlier
  // listing left it.
  rewinddir(listing);
  while (const dirent* item = readdir(listing)) {
    const std::string name = item->d_name;
    std::time_t lifetime = 0;
    if (EndsWith(name, ".ort")) {
      lifetime = kEntryUnusedFor;
    } else if (IsTemporaryName(name)) {
      lifetime = kTemporaryAbandonedAfter;
    } else if (EndsWith(name, std::string(".ort") + kFailedSuffix)) {
      lifetime = kFailedSaveRetryAfter;
    } else {
      continue;
    }
    struct stat info {};
    if (fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISDIR(info.st_mode) && info.st_mtime < now - lifetime) {
      unlinkat(fd_, name.c_str(), 0);
    }
  }
  closedir(listing);
}

PendingEntry::PendingEntry(int folder_fd, int fd, std::string name,
                           std::string temporary)
    : folder_fd_(folder_fd),
      fd_(fd),
      name_(std::move(name)),
      temporary_(std::move(temporary)),
      writer_path_("/proc/self/fd/" + std::to_string(folder_fd) + "/" +
                   temporary_) {}

PendingEntry::PendingEntry(PendingEntry&& other) noexcept
    : folder_fd_(other.folder_fd_),
      fd_(std::exchange(other.fd_, -1)),
      name_(std::move(other.name_)),
      temporary_(std::move(other.temporary_)),
      writer_path_(std::move(other.writer_path_)),
      committed_(other.committed_) {}

PendingEntry::~PendingEntry() {
  if (fd_ < 0) return;
  close(fd_);
  if (!committed_) unlinkat(folder_fd_, temporary_.c_str(), 0);
}

}  // namespace tolvaren
