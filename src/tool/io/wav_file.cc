#include "tool/io/wav_file.h"

#include <sndfile.h>

#include <cstdio>

namespace tolvaren {

absl::Status WriteWavFile(const std::string& path,
                          const std::vector<std::vector<float>>& chunks,
                          int32_t sample_rate, WavSamples samples) {
  const bool pcm16 = samples == WavSamples::kPcm16;
  SF_INFO info = {};
  info.samplerate = sample_rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | (pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
  SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
  if (out == nullptr) {
    return absl::UnavailableError("cannot create " + path + ": " +
                                  sf_strerror(nullptr));
  }
  if (pcm16) {
    // Clip rather than wrap around when converting floats to integers.
    sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  }
  bool complete = true;
  for (const std::vector<float>& chunk : chunks) {
    const auto size = static_cast<sf_count_t>(chunk.size());
    if (size > 0 && sf_write_float(out, chunk.data(), size) != size) {
      complete = false;
      break;
    }
  }
  const std::string write_error = complete ? "" : sf_strerror(out);
  if (sf_close(out) != 0 || !complete) {
    std::remove(path.c_str());
    return absl::DataLossError("cannot write " + path + ": " + write_error);
  }
  return absl::OkStatus();
}

}  // namespace tolvaren
