// Sample-rate conversion with libsamplerate: the audio is resampled, never
// relabelled with another rate.

#ifndef TOLVAREN_TTS_TOOL_IO_RESAMPLER_H_
#define TOLVAREN_TTS_TOOL_IO_RESAMPLER_H_

#include <cstddef>
#include <memory>
#include <vector>

#include "absl/status/status.h"
#include "absl/status/statusor.h"

struct SRC_STATE_tag;

namespace tolvaren {

// Rates a resampler accepts, in Hz.
inline constexpr int kMinSampleRate = 1000;
inline constexpr int kMaxSampleRate = 768000;

// Mono float audio from one rate to another, piece by piece: the pieces of
// one signal, given in order, come out as the resampled signal.
class Resampler {
 public:
  // InvalidArgument for a rate outside [kMinSampleRate, kMaxSampleRate].
  [[nodiscard]] static absl::StatusOr<std::unique_ptr<Resampler>> Create(
      int from_rate, int to_rate);
  ~Resampler();

  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  // Appends the resampled samples of the next `count` input samples to
  // `output`. With `last`, what the converter still holds comes out too and
  // the next call starts a new signal.
  [[nodiscard]] absl::Status Process(const float* input, std::size_t count,
                                     bool last, std::vector<float>& output);

 private:
  Resampler(SRC_STATE_tag* state, double ratio)
      : state_(state), ratio_(ratio) {}

  SRC_STATE_tag* state_;
  double ratio_;
};

// A whole signal at once.
[[nodiscard]] absl::StatusOr<std::vector<float>> Resample(
    const std::vector<float>& samples, int from_rate, int to_rate);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_RESAMPLER_H_
