// The library's WAV writer: the tools' own file writer behind a Status.

#include "tolvaren_tts/wav.h"

#include <cstdint>
#include <limits>
#include <string>

#include "library/wav_samples.h"
#include "tool/io/wav_file.h"

namespace tolvaren_tts {

Status WriteWavSamples(const std::string& path, const float* samples,
                       std::size_t count, int sample_rate, WavFormat format) {
  if (sample_rate <= 0) {
    return Status(StatusCode::kInvalidArgument,
                  "the sample rate must be a positive number");
  }
  // The header holds the bytes per second in 32 bits.
  const uint64_t sample_bytes = format == WavFormat::kPcm16 ? 2 : 4;
  const uint64_t limit = std::numeric_limits<uint32_t>::max() / sample_bytes;
  if (static_cast<uint64_t>(sample_rate) > limit) {
    return Status(StatusCode::kInvalidArgument,
                  "the sample rate " + std::to_string(sample_rate) +
                      " is too high for a WAV file of this format: at most " +
                      std::to_string(limit));
  }
  const absl::Status written = tolvaren::WriteWavFile(
      path, samples, count, sample_rate,
      format == WavFormat::kPcm16 ? tolvaren::WavSamples::kPcm16
                                  : tolvaren::WavSamples::kFloat32);
  if (written.ok()) return Status();
  const std::string message(written.message());
  if (absl::IsFailedPrecondition(written)) {
    return Status(StatusCode::kInvalidArgument, message);
  }
  if (absl::IsUnavailable(written)) {
    return Status(StatusCode::kNotFound, message);
  }
  return Status(StatusCode::kInternal, "cannot write " + path + ": " + message);
}

Status WriteWav(const std::string& path, const Audio& audio, WavFormat format) {
  return WriteWavSamples(path, audio.samples.data(), audio.samples.size(),
                         audio.sample_rate, format);
}

}  // namespace tolvaren_tts
