// Standard mono WAV files, written with libsndfile.

#ifndef TOLVAREN_TTS_TOOL_IO_WAV_FILE_H_
#define TOLVAREN_TTS_TOOL_IO_WAV_FILE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "absl/status/status.h"

namespace tolvaren {

enum class WavSamples { kFloat32, kPcm16 };

// Writes the samples of `chunks`, in order, as one mono WAV file at
// `sample_rate`. 16-bit PCM clips samples beyond [-1, 1] rather than
// wrapping them. Unavailable when the file cannot be created; DataLoss
// when writing fails, and then no partial file is left.
[[nodiscard]] absl::Status WriteWavFile(
    const std::string& path, const std::vector<std::vector<float>>& chunks,
    int32_t sample_rate, WavSamples samples);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_WAV_FILE_H_
