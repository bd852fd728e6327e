// The chunked float file that tolvaren_tts writes, one per text: a uint64
// chunk count C, C uint64 sample counts, then all samples as 32-bit floats
// (all little-endian, mono, no header, no rate).

#ifndef TOLVAREN_TTS_TOOL_IO_CHUNK_FILE_H_
#define TOLVAREN_TTS_TOOL_IO_CHUNK_FILE_H_

#include <sys/stat.h>

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "absl/status/statusor.h"

namespace tolvaren {

// Writes `chunks` to `path`. The file appears complete or not at all: data
// go to a temporary file in the same folder that replaces `path` only after
// a successful close. A regular file keeps its permissions; a symbolic link
// is replaced, never written through. FailedPrecondition, before anything is
// written, when `path` is another kind of entry (a pipe, a device, a
// folder); Unavailable, with the reason, when the file cannot be created
// (including a name beyond the file system's limit); DataLoss, with the
// system's reason as the message, when writing or closing failed.
[[nodiscard]] absl::Status WriteChunkFile(
    const std::string& path, const std::vector<std::vector<float>>& chunks);

// Writes a file's whole contents to a descriptor; false, with errno set,
// when a write fails.
using FileContentWriter = std::function<bool(int fd)>;

// Writes `path` through `write` with WriteChunkFile's promises: complete or
// not at all, a link replaced rather than written through, the same
// statuses.
[[nodiscard]] absl::Status ReplaceFile(const std::string& path,
                                       const FileContentWriter& write);

// Writes all of `size` bytes to `fd`, retrying short writes and
// interruptions; false, with errno set, on failure.
bool WriteAll(int fd, const void* data, std::size_t size);

// Unavailable, with the reason as the message, when the last component of
// `path` is longer than its folder's file system allows. WriteChunkFile
// checks this too (and refuses an empty name); callers check first to learn
// it before the audio is made.
[[nodiscard]] absl::Status CheckOutputName(const std::string& path);

// The mkstemp template of the temporary file that replaces `path`: a short
// fixed name in the same folder, whatever the length of `path`'s own name.
std::string TemporaryPathTemplate(const std::string& path);

// The permissions of a file that replaces the entry `existing` (lstat's;
// null when there is none): a regular file of this user keeps its
// read/write/execute bits, never set-user-ID, set-group-ID or sticky;
// anything else (another user's file, a link, nothing) gives what a plain
// open would, 0666 less the umask.
mode_t ReplacementMode(const struct stat* existing);

// The folder `path` lies in ("." for a bare name).
std::string FolderOf(const std::string& path);

// Removes from `folder` the temporary files that WriteChunkFile leaves
// behind when its process is killed mid-write, if they are older than
// `max_age_seconds` at `now` (younger ones may belong to a run still
// writing). Only regular files with the temporary files' own name pattern
// are touched. Returns how many were removed.
std::size_t RemoveStaleTemporaryFiles(const std::string& folder,
                                      std::time_t now = std::time(nullptr),
                                      std::time_t max_age_seconds = 86400);

// Every sample of a chunk file, in order. NotFound when it cannot be
// opened; FailedPrecondition, without opening it, for a FIFO, device or
// socket; DataLoss when it is truncated, has trailing bytes or counts that
// do not fit its size.
[[nodiscard]] absl::StatusOr<std::vector<float>> ReadChunkFile(
    const std::string& path);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_CHUNK_FILE_H_
