// The audio of a vocoder that hands out a short-time spectrum instead of
// samples, leaving the transforms to the tool, which does them with an FFT
// (a vocoder graph does them as dense matrix products, most of its work).
//
// Such a vocoder's outputs, by name: kSpectrumOutput, float [T, 2 bins]
// (the real parts of bins 0 .. n_fft / 2, then their imaginary parts; n_fft
// = 2 (bins - 1)), and optionally a periodic source, kSourceOutput float
// [hop T + n_fft] (samples -n_fft / 2 .. hop T + n_fft / 2 of the frames),
// with the real gain per bin kSourceGainOutput float [T, bins] its STFT is
// scaled by. The audio, hop samples per frame, is the inverse STFT (see
// ShortTimeFourier) of the spectrum plus the gain times the source's STFT.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_SPECTRAL_AUDIO_H_
#define TOLVAREN_TTS_TOOL_SYNTH_SPECTRAL_AUDIO_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "absl/status/status.h"
#include "tool/synth/ort_session.h"
#include "tool/synth/short_time_fourier.h"

namespace tolvaren {

inline constexpr char kSpectrumOutput[] = "spectrum";
inline constexpr char kSourceOutput[] = "source";
inline constexpr char kSourceGainOutput[] = "source_gain";

// Where a spectral vocoder's outputs are among a run's outputs.
struct SpectralOutputs {
  std::size_t spectrum = 0;
  std::optional<std::size_t> source;  // with source_gain, or neither
  std::optional<std::size_t> source_gain;
};

// The spectral outputs of `session`, or none when its vocoder gives
// samples. FailedPrecondition when it gives a source without its gain, or
// a gain without its source.
[[nodiscard]] absl::Status FindSpectralOutputs(
    const OrtSession& session, std::optional<SpectralOutputs>& found);

class SpectralAudio {
 public:
  // The audio of one run's `outputs`, `hop` samples per frame, into
  // `audio`. FailedPrecondition naming the output whose type or shape does
  // not fit the spectrum's.
  [[nodiscard]] absl::Status Render(std::vector<Ort::Value>& outputs,
                                    const SpectralOutputs& at, int32_t hop,
                                    std::vector<float>& audio);

 private:
  // Kept for the next run: the FFT plan and its buffers.
  std::optional<ShortTimeFourier> transform_;
  std::vector<float> source_spectrum_;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_SPECTRAL_AUDIO_H_
