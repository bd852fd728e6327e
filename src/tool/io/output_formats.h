// The audio file formats the tool can write, by name: one table, so that a
// new format is one writer and one entry here.

#ifndef TOLVAREN_TTS_TOOL_IO_OUTPUT_FORMATS_H_
#define TOLVAREN_TTS_TOOL_IO_OUTPUT_FORMATS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "absl/status/status.h"

namespace tolvaren {

// Writes an utterance's chunks (concatenated, they are its waveform) at
// `sample_rate` to `path`.
using AudioWriter = absl::Status (*)(
    const std::string& path, const std::vector<std::vector<float>>& chunks,
    int32_t sample_rate);

struct OutputFormat {
  const char* name;
  AudioWriter write;
};

// "chunks": the tool's own chunk file (no rate recorded);
// "wav_float32", "wav_pcm16": mono WAV.
const std::vector<OutputFormat>& OutputFormats();

// The format called `name`, or nullptr.
const OutputFormat* FindOutputFormat(std::string_view name);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_OUTPUT_FORMATS_H_
