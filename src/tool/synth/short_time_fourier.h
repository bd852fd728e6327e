// The short-time Fourier transforms of a vocoder that leaves them to the
// tool: a periodic Hann window over the whole frame, frames `hop` samples
// apart. A frame's spectrum is laid out as the vocoder's are: the real
// parts of bins 0 .. n_fft / 2, then their imaginary parts.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_SHORT_TIME_FOURIER_H_
#define TOLVAREN_TTS_TOOL_SYNTH_SHORT_TIME_FOURIER_H_

#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

namespace tolvaren {

class ShortTimeFourier {
 public:
  // `n_fft` even and at least 2, `hop` at least 1.
  ShortTimeFourier(int32_t n_fft, int32_t hop);
  ~ShortTimeFourier();

  ShortTimeFourier(const ShortTimeFourier&) = delete;
  ShortTimeFourier& operator=(const ShortTimeFourier&) = delete;

  int32_t n_fft() const { return n_fft_; }
  int32_t hop() const { return hop_; }
  int32_t bins() const { return n_fft_ / 2 + 1; }

  // Frame t of `signal` is its samples [hop t, hop t + n_fft), windowed;
  // `signal` holds at least hop (frames - 1) + n_fft samples. Writes
  // `frames` spectra of 2 bins() values each to `spectra`.
  void Analyse(const float* signal, int64_t frames, float* spectra);

  // The inverse of `frames` spectra (2 bins() values each): each frame's
  // inverse DFT, windowed again, overlap-added at `hop` and divided by the
  // window's mean square per hop, so that Synthesise(Analyse(x)) is x where
  // the frames overlap fully. Of the hop (frames - 1) + n_fft samples this
  // makes, those from n_fft / 2 on, hop frames of them, go to `audio`:
  // frame t's centre is sample hop t.
  void Synthesise(const float* spectra, int64_t frames,
                  std::vector<float>& audio);

 private:
  struct Plan;

  int32_t n_fft_;
  int32_t hop_;
  std::vector<float> window_;
  float synthesis_scale_;  // 1 / (the window's mean square per hop)
  std::unique_ptr<Plan> plan_;
  // Work buffers, kept between calls.
  std::vector<float> frame_;
  std::vector<std::complex<float>> bins_;
  std::vector<float> overlap_;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_SHORT_TIME_FOURIER_H_
