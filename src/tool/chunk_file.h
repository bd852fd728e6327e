// Reading the chunked float files that tolvaren_tts writes.

#ifndef TOLVAREN_TTS_TOOL_CHUNK_FILE_H_
#define TOLVAREN_TTS_TOOL_CHUNK_FILE_H_

#include <string>
#include <vector>

namespace tolvaren {

// Reads every sample of a chunk file, in order. On a file that cannot be
// read, is truncated, has trailing bytes or counts that do not fit its size,
// returns false and describes the problem in `error`.
bool ReadChunkFile(const std::string& path, std::vector<float>& samples,
                   std::string& error);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_CHUNK_FILE_H_
