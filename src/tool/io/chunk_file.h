// The chunked float file that tolvaren_tts writes, one per text: a uint64
// chunk count C, C uint64 sample counts, then all samples as 32-bit floats
// (all little-endian, mono, no header, no rate).

#ifndef TOLVAREN_TTS_TOOL_IO_CHUNK_FILE_H_
#define TOLVAREN_TTS_TOOL_IO_CHUNK_FILE_H_

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
// folder); Unavailable when the file cannot be created (including a name
// beyond the file system's limit); DataLoss, with the system's reason as the
// message, when writing or closing failed.
[[nodiscard]] absl::Status WriteChunkFile(
    const std::string& path, const std::vector<std::vector<float>>& chunks);

// Every sample of a chunk file, in order. NotFound when it cannot be
// opened; DataLoss when it is truncated, has trailing bytes or counts that
// do not fit its size.
[[nodiscard]] absl::StatusOr<std::vector<float>> ReadChunkFile(
    const std::string& path);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_CHUNK_FILE_H_
