#include "tool/synth/short_time_fourier.h"

#include <algorithm>
#include <cmath>
#include <unsupported/Eigen/FFT>

namespace tolvaren {

struct ShortTimeFourier::Plan {
  Eigen::FFT<float> fft;
};

ShortTimeFourier::ShortTimeFourier(int32_t n_fft, int32_t hop)
    : n_fft_(n_fft),
      hop_(hop),
      window_(static_cast<std::size_t>(n_fft)),
      plan_(std::make_unique<Plan>()),
      frame_(static_cast<std::size_t>(n_fft)),
      bins_(static_cast<std::size_t>(n_fft / 2 + 1)) {
  const double pi = std::acos(-1.0);
  double squares = 0.0;
  for (int32_t n = 0; n < n_fft; ++n) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * pi * n / n_fft);
    window_[static_cast<std::size_t>(n)] = static_cast<float>(w);
    squares += w * w;
  }
  synthesis_scale_ = static_cast<float>(hop / squares);
  // Half spectra both ways; the inverse scales by 1 / n_fft.
  plan_->fft.SetFlag(Eigen::FFT<float>::HalfSpectrum);
}

ShortTimeFourier::~ShortTimeFourier() = default;

void ShortTimeFourier::Analyse(const float* signal, int64_t frames,
                               float* spectra) {
  const std::size_t n = static_cast<std::size_t>(n_fft_);
  const std::size_t half = static_cast<std::size_t>(bins());
  for (int64_t t = 0; t < frames; ++t) {
    const float* at = signal + t * hop_;
    for (std::size_t i = 0; i < n; ++i) frame_[i] = at[i] * window_[i];
    plan_->fft.fwd(bins_, frame_);
    float* out = spectra + static_cast<std::size_t>(t) * 2 * half;
    for (std::size_t k = 0; k < half; ++k) {
      out[k] = bins_[k].real();
      out[half + k] = bins_[k].imag();
    }
  }
}

void ShortTimeFourier::Synthesise(const float* spectra, int64_t frames,
                                  std::vector<float>& audio) {
  audio.clear();
  if (frames <= 0) return;
  const std::size_t n = static_cast<std::size_t>(n_fft_);
  const std::size_t half = static_cast<std::size_t>(bins());
  overlap_.assign(static_cast<std::size_t>(hop_ * (frames - 1)) + n, 0.0f);
  for (int64_t t = 0; t < frames; ++t) {
    const float* in = spectra + static_cast<std::size_t>(t) * 2 * half;
    for (std::size_t k = 0; k < half; ++k) bins_[k] = {in[k], in[half + k]};
    // A real signal's spectrum has no imaginary part at 0 and at n / 2.
    bins_[0].imag(0.0f);
    bins_[half - 1].imag(0.0f);
    plan_->fft.inv(frame_, bins_);
    float* out = overlap_.data() + t * hop_;
    for (std::size_t i = 0; i < n; ++i) {
      out[i] += frame_[i] * window_[i] * synthesis_scale_;
    }
  }
  // A hop over half the frame leaves the last samples uncovered.
  const std::size_t begin = n / 2;
  const std::size_t end = std::min(
      overlap_.size(), begin + static_cast<std::size_t>(hop_ * frames));
  audio.assign(overlap_.begin() + static_cast<std::ptrdiff_t>(begin),
               overlap_.begin() + static_cast<std::ptrdiff_t>(end));
}

}  // namespace tolvaren
