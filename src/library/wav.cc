// The library's WAV writer: the tools' own file writer behind a Status.

#include "tolvaren_tts/wav.h"

#include "library/wav_samples.h"
#include "tool/io/wav_file.h"

namespace tolvaren_tts {

Status WriteWavSamples(const std::string& path, const float* samples,
                       std::size_t count, int sample_rate, WavFormat format) {
  if (sample_rate <= 0) {
    return Status(StatusCode::kInvalidArgument,
                  "the sample rate must be a positive number");
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
