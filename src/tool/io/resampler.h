// Sample-rate conversion with libsamplerate: the audio is resampled, never
// relabelled with another rate. The resampled signal keeps the engine's
// ceiling (±kSampleCeiling): a band-limited signal can peak between its
// samples, and a new rate puts samples there, so the converter's output goes
// through a peak limiter of its own (which leaves a signal within the
// ceiling as it is).

#ifndef TOLVAREN_TTS_TOOL_IO_RESAMPLER_H_
#define TOLVAREN_TTS_TOOL_IO_RESAMPLER_H_

#include <cstddef>
#include <memory>
#include <vector>

#include "absl/status/status.h"
#include "absl/status/statusor.h"
#include "tool/synth/peak_limiter.h"

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
  // `output` (the limiter holds back its look-ahead). With `last`, what the
  // converter and the limiter still hold comes out too and the next call
  // starts a new signal.
  [[nodiscard]] absl::Status Process(const float* input, std::size_t count,
                                     bool last, std::vector<float>& output);

 private:
  Resampler(SRC_STATE_tag* state, int to_rate, double ratio)
      : state_(state), ratio_(ratio), limiter_(PeakLimiter::ForRate(to_rate)) {}

  SRC_STATE_tag* state_;
  double ratio_;
  PeakLimiter limiter_;
  std::vector<float> converted_;
};

// A whole signal at once.
[[nodiscard]] absl::StatusOr<std::vector<float>> Resample(
    const std::vector<float>& samples, int from_rate, int to_rate);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_RESAMPLER_H_
