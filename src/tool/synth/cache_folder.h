// The folder of pre-optimised models, held open and checked so that what
// it serves and what is saved into it can come from this user alone.
//
// A folder that another user owns, that others may write to, or that is a
// symbolic link is not used: whoever can write there could plant an entry
// the engine would run, or swap a file being saved for a link to a file of
// this user's. Every name inside is reached through the folder opened once
// and checked (never again by its path), links at entry names are not
// followed, and new files are created exclusively.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_CACHE_FOLDER_H_
#define TOLVAREN_TTS_TOOL_SYNTH_CACHE_FOLDER_H_

#include <ctime>
#include <optional>
#include <string>

#include "absl/status/status.h"
#include "absl/status/statusor.h"
#include "tool/synth/cache_entry.h"
#include "tool/synth/model_cache.h"

namespace tolvaren {

// How long things left in the folder live. An entry is marked used at most
// once a day, so one unused for this long belongs to a model that was
// replaced or removed (or a runtime no longer installed).
inline constexpr std::time_t kEntryUnusedFor = 30 * 86400;
// A temporary this old is a save that was killed: a live one takes seconds.
inline constexpr std::time_t kTemporaryAbandonedAfter = 3600;
// After a failed save, later starts skip the save for this long.
inline constexpr std::time_t kFailedSaveRetryAfter = 86400;

// Logs `text` as a warning the first time this process asks with `key`.
void LogCacheWarningOnce(const std::string& key, const std::string& text);

class PendingEntry;

class CacheFolder {
 public:
  // The folder `path`, created with mode 0700 (and any missing folder above
  // it) when absent, its leftovers removed on the first open of the
  // process; nullopt after one warning when it cannot be used.
  static std::optional<CacheFolder> Open(const std::string& path);
  CacheFolder(CacheFolder&& other) noexcept;
  CacheFolder& operator=(CacheFolder&&) = delete;
  CacheFolder(const CacheFolder&) = delete;
  ~CacheFolder();

  const std::string& path() const { return path_; }

  // The entry `name`'s bytes; NotFound when there is none. Only a regular
  // file is read, never through a link.
  [[nodiscard]] absl::StatusOr<FileBytes> Read(const std::string& name) const;
  // Records that entry `name` was served, so that it is not taken for stale.
  void MarkUsed(const std::string& name) const;
  // Removes entry `name` (one the runtime could not use).
  void Remove(const std::string& name) const;

  // Whether a save of `name` failed less than kFailedSaveRetryAfter ago.
  bool SaveFailedRecently(const std::string& name) const;
  // Remembers that saving `name` failed, and why.
  void RememberFailedSave(const std::string& name,
                          const std::string& reason) const;
  // A new, empty temporary file for entry `name`.
  [[nodiscard]] absl::StatusOr<PendingEntry> Begin(
      const std::string& name) const;
  // Seals what was written to `pending` and renames it to its entry name.
  [[nodiscard]] absl::Status Commit(PendingEntry& pending,
                                    const EntryFacts& facts) const;

  // Removes stale entries, abandoned temporaries and expired failure
  // records, judged by their age at `now`.
  void RemoveStale(std::time_t now) const;

 private:
  CacheFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  int fd_;
  std::string path_;
};

// A temporary file in the folder, on its way to becoming an entry; removed
// when dropped before it was committed. Its folder must outlive it.
class PendingEntry {
 public:
  PendingEntry(PendingEntry&& other) noexcept;
  PendingEntry& operator=(PendingEntry&&) = delete;
  PendingEntry(const PendingEntry&) = delete;
  ~PendingEntry();

  // A path to the temporary file that goes through the folder opened and
  // checked, so that a writer given it by path reaches this very file
  // wherever the folder's own path now leads.
  const std::string& writer_path() const { return writer_path_; }

 private:
  friend class CacheFolder;
  PendingEntry(int folder_fd, int fd, std::string name, std::string temporary);

  int folder_fd_;
  int fd_;
  std::string name_;
  std::string temporary_;
  std::string writer_path_;
  bool committed_ = false;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_CACHE_FOLDER_H_
