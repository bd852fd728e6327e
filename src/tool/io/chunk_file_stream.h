// A chunk file written while its chunks are still being made.
//
// The file begins with every chunk's sample count, known only once the
// last chunk exists, so the samples first go to a scratch file in the
// target's folder, under the temporary files' name (removed when done; a
// killed run's is removed by RemoveStaleTemporaryFiles like theirs), and
// only the counts are held. Finish then writes the counts and copies the
// samples into the file through ReplaceFile: the bytes are those
// WriteChunkFile writes, and the file appears complete or not at all.

#ifndef TOLVAREN_TTS_TOOL_IO_CHUNK_FILE_STREAM_H_
#define TOLVAREN_TTS_TOOL_IO_CHUNK_FILE_STREAM_H_

#include <cstdint>
#include <string>
#include <vector>

#include "absl/status/status.h"

namespace tolvaren {

class ChunkFileStream {
 public:
  // Nothing is created at `path` until Finish.
  explicit ChunkFileStream(std::string path);
  ~ChunkFileStream();
  ChunkFileStream(const ChunkFileStream&) = delete;
  ChunkFileStream& operator=(const ChunkFileStream&) = delete;

  // Adds a chunk. Where no scratch file can be made (an unwritable or
  // missing folder) chunks are held in memory instead, and Finish reports
  // what writing the file reports; a failed scratch write is reported by
  // Finish, with nothing written at `path`.
  void Append(const std::vector<float>& chunk);

  // Writes the file with WriteChunkFile's statuses.
  [[nodiscard]] absl::Status Finish();

 private:
  std::string path_;
  std::string scratch_path_;
  int scratch_ = -1;
  int scratch_errno_ = 0;  // of a failed scratch write
  std::vector<uint64_t> counts_;
  std::vector<std::vector<float>> held_;  // when there is no scratch file
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_CHUNK_FILE_STREAM_H_
