#include "tool/io/wav_file.h"

#include <functional>

#include "tool/io/chunk_file.h"
#include "tool/io/wav_stream.h"

namespace tolvaren {
namespace {

// A whole WAV file whose samples `write` hands to the stream.
absl::Status WriteWav(const std::string& path, int32_t sample_rate,
                      WavSamples format,
                      const std::function<bool(WavStream&)>& write) {
  return ReplaceFile(path, [&](int fd) {
    WavStream stream(fd, format, sample_rate, /*header=*/true);
    return stream.Begin() && write(stream) && stream.End();
  });
}

}  // namespace

absl::Status WriteWavFile(const std::string& path,
                          const std::vector<std::vector<float>>& chunks,
                          int32_t sample_rate, WavSamples samples) {
  return WriteWav(path, sample_rate, samples, [&chunks](WavStream& stream) {
    for (const std::vector<float>& chunk : chunks) {
      if (!stream.Write(chunk.data(), chunk.size())) return false;
    }
    return true;
  });
}

absl::Status WriteWavFile(const std::string& path, const float* samples,
                          std::size_t count, int32_t sample_rate,
                          WavSamples format) {
  return WriteWav(path, sample_rate, format, [&](WavStream& stream) {
    return stream.Write(samples, count);
  });
}

}  // namespace tolvaren
