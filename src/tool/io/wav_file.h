// Standard mono WAV files (see wav_header.h for the header each format
// gets).

#ifndef TOLVAREN_TTS_TOOL_IO_WAV_FILE_H_
#define TOLVAREN_TTS_TOOL_IO_WAV_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "tool/io/wav_header.h"

namespace tolvaren {

// Writes the samples of `chunks`, in order, as one mono WAV file at
// `sample_rate`, with WriteChunkFile's promises (complete or not at all; a
// link replaced, a FIFO, device or folder refused) and statuses. 16-bit PCM
// clips samples beyond [-1, 1] rather than wrapping them.
[[nodiscard]] absl::Status WriteWavFile(
    const std::string& path, const std::vector<std::vector<float>>& chunks,
    int32_t sample_rate, WavSamples samples);

// The same for one run of `count` samples.
[[nodiscard]] absl::Status WriteWavFile(const std::string& path,
                                        const float* samples, std::size_t count,
                                        int32_t sample_rate, WavSamples format);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_WAV_FILE_H_
