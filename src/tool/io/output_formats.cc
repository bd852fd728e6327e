#include "tool/io/output_formats.h"

#include "tool/io/chunk_file.h"
#include "tool/io/wav_file.h"

namespace tolvaren {
namespace {

absl::Status WriteChunks(const std::string& path,
                         const std::vector<std::vector<float>>& chunks,
                         int32_t /*sample_rate*/) {
  return WriteChunkFile(path, chunks);
}

absl::Status WriteWavFloat32(const std::string& path,
                             const std::vector<std::vector<float>>& chunks,
                             int32_t sample_rate) {
  return WriteWavFile(path, chunks, sample_rate, WavSamples::kFloat32);
}

absl::Status WriteWavPcm16(const std::string& path,
                           const std::vector<std::vector<float>>& chunks,
                           int32_t sample_rate) {
  return WriteWavFile(path, chunks, sample_rate, WavSamples::kPcm16);
}

}  // namespace

const std::vector<OutputFormat>& OutputFormats() {
  static const std::vector<OutputFormat> formats = {
      {"chunks", WriteChunks},
      {"wav_float32", WriteWavFloat32},
      {"wav_pcm16", WriteWavPcm16},
  };
  return formats;
}

const OutputFormat* FindOutputFormat(std::string_view name) {
  for (const OutputFormat& format : OutputFormats()) {
    if (name == format.name) return &format;
  }
  return nullptr;
}

}  // namespace tolvaren
