#include "tool/synth/spectral_audio.h"

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tool/synth/short_time_fourier.h"

namespace tolvaren {
namespace {

std::vector<float> Random(std::size_t n, uint32_t seed) {
  std::mt19937 engine(seed);
  std::normal_distribution<float> normal;
  std::vector<float> values(n);
  for (float& v : values) v = normal(engine);
  return values;
}

double Hann(int n, int n_fft) {
  return 0.5 - 0.5 * std::cos(2 * M_PI * n / n_fft);
}

// The dense sums the vocoder graphs computed before: analysis frame t is
// sum_n x[hop t + n] w[n] (cos, -sin)(2 pi k n / N); synthesis overlap-adds
// w[n] / (N s) sum_k c_k (re cos - im sin), c = 1 at 0 and N / 2, else 2,
// s the window's mean square per hop, and drops the first N / 2 samples.
std::vector<double> DirectAnalysis(const std::vector<float>& x, int n_fft,
                                   int hop, int frames) {
  const int bins = n_fft / 2 + 1;
  std::vector<double> out(static_cast<std::size_t>(frames * 2 * bins));
  for (int t = 0; t < frames; ++t) {
    for (int k = 0; k < bins; ++k) {
      double re = 0, im = 0;
      for (int n = 0; n < n_fft; ++n) {
        const double v =
            x[static_cast<std::size_t>(hop * t + n)] * Hann(n, n_fft);
        re += v * std::cos(2 * M_PI * k * n / n_fft);
        im -= v * std::sin(2 * M_PI * k * n / n_fft);
      }
      out[static_cast<std::size_t>(t * 2 * bins + k)] = re;
      out[static_cast<std::size_t>(t * 2 * bins + bins + k)] = im;
    }
  }
  return out;
}

std::vector<double> DirectSynthesis(const std::vector<float>& spectra,
                                    int n_fft, int hop, int frames) {
  const int bins = n_fft / 2 + 1;
  double squares = 0;
  for (int n = 0; n < n_fft; ++n) squares += Hann(n, n_fft) * Hann(n, n_fft);
  const double scale = hop / squares / n_fft;
  std::vector<double> full(
      static_cast<std::size_t>(hop * (frames - 1) + n_fft));
  for (int t = 0; t < frames; ++t) {
    for (int n = 0; n < n_fft; ++n) {
      double sum = 0;
      for (int k = 0; k < bins; ++k) {
        const double c = k == 0 || k == bins - 1 ? 1.0 : 2.0;
        const double re = spectra[static_cast<std::size_t>(t * 2 * bins + k)];
        const double im =
            spectra[static_cast<std::size_t>(t * 2 * bins + bins + k)];
        sum += c * (re * std::cos(2 * M_PI * k * n / n_fft) -
                    im * std::sin(2 * M_PI * k * n / n_fft));
      }
      full[static_cast<std::size_t>(hop * t + n)] +=
          sum * Hann(n, n_fft) * scale;
    }
  }
  return {full.begin() + n_fft / 2, full.begin() + n_fft / 2 + hop * frames};
}

TEST(ShortTimeFourierTest, MatchesTheDenseTransformsItReplaces) {
  struct Case {
    int n_fft, hop, frames;
  };
  // The shipped vocoders' transform, a small one, and a single frame.
  for (const Case& c : {Case{1200, 300, 3}, Case{16, 4, 7}, Case{16, 4, 1}}) {
    SCOPED_TRACE(std::to_string(c.n_fft) + "/" + std::to_string(c.hop));
    ShortTimeFourier stft(c.n_fft, c.hop);
    const int bins = c.n_fft / 2 + 1;
    const std::vector<float> x =
        Random(static_cast<std::size_t>(c.hop * (c.frames - 1) + c.n_fft), 1);
    std::vector<float> spectra(static_cast<std::size_t>(c.frames * 2 * bins));
    stft.Analyse(x.data(), c.frames, spectra.data());
    const std::vector<double> analysed =
        DirectAnalysis(x, c.n_fft, c.hop, c.frames);
    for (std::size_t i = 0; i < spectra.size(); ++i) {
      ASSERT_NEAR(spectra[i], analysed[i], 2e-3) << "value " << i;
    }
    // Imaginary parts at 0 and N / 2 are not a real signal's: ignored.
    const std::vector<float> given =
        Random(static_cast<std::size_t>(c.frames * 2 * bins), 2);
    std::vector<float> audio;
    stft.Synthesise(given.data(), c.frames, audio);
    const std::vector<double> direct =
        DirectSynthesis(given, c.n_fft, c.hop, c.frames);
    ASSERT_EQ(audio.size(), direct.size());
    for (std::size_t i = 0; i < audio.size(); ++i) {
      ASSERT_NEAR(audio[i], direct[i], 1e-5) << "sample " << i;
    }
  }
}

TEST(ShortTimeFourierTest, InvertsItsAnalysisWhereFramesOverlapFully) {
  ShortTimeFourier stft(1200, 300);
  const int frames = 12;
  const std::vector<float> x = Random(300 * (frames - 1) + 1200, 3);
  std::vector<float> spectra(static_cast<std::size_t>(frames * 2 * 601));
  stft.Analyse(x.data(), frames, spectra.data());
  std::vector<float> audio;
  stft.Synthesise(spectra.data(), frames, audio);
  // Output sample i is input sample 600 + i; full overlap from frame 3 on.
  for (std::size_t i = 600; i + 1200 < audio.size(); ++i) {
    ASSERT_NEAR(audio[i], x[600 + i], 1e-4) << "sample " << i;
  }
}

Ort::Value Tensor(std::vector<float>& data, std::vector<int64_t> shape) {
  static const Ort::MemoryInfo info = MakeCpuMemoryInfo();
  return Ort::Value::CreateTensor<float>(info, data.data(), data.size(),
                                         shape.data(), shape.size());
}

TEST(SpectralAudioTest, AddsTheScaledSourceAndRefusesMisfitOutputs) {
  const int frames = 3, bins = 9, hop = 4;  // n_fft 16
  std::vector<float> spectrum = Random(frames * 2 * bins, 4);
  std::vector<float> source = Random(hop * (frames - 1) + 16, 5);
  std::vector<float> gain = Random(frames * bins, 6);
  // Expected: the source's STFT scaled and added by hand, then inverted.
  ShortTimeFourier stft(16, hop);
  std::vector<float> combined(spectrum.size());
  stft.Analyse(source.data(), frames, combined.data());
  for (int t = 0; t < frames; ++t) {
    for (int k = 0; k < 2 * bins; ++k) {
      const std::size_t i = static_cast<std::size_t>(t * 2 * bins + k);
      combined[i] =
          spectrum[i] +
          gain[static_cast<std::size_t>(t * bins + k % bins)] * combined[i];
    }
  }
  std::vector<float> expected;
  stft.Synthesise(combined.data(), frames, expected);

  struct Case {
    std::string name;
    std::vector<int64_t> spectrum_shape;
    std::size_t source_size, gain_size;
    std::string error;  // empty: renders `expected`
  };
  const std::size_t source_size = source.size(), gain_size = gain.size();
  const Case cases[] = {
      {"fits", {frames, 2 * bins}, source_size, gain_size, ""},
      {"odd spectrum",
       {frames * 2 * bins / 3, 3},
       source_size,
       gain_size,
       "spectrum must be a float tensor [frames, 2 bins]"},
      {"short source",
       {frames, 2 * bins},
       source_size - 1,
       gain_size,
       "source must be a float tensor of 24 samples"},
      {"gain of other frames",
       {frames, 2 * bins},
       source_size,
       gain_size - bins,
       "source_gain must be a float tensor [frames, bins]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> s = spectrum,
                       src(source.begin(),
                           source.begin() +
                               static_cast<std::ptrdiff_t>(c.source_size)),
                       g(gain.begin(),
                         gain.begin() +
                             static_cast<std::ptrdiff_t>(c.gain_size));
    std::vector<Ort::Value> outputs;
    outputs.push_back(Tensor(s, c.spectrum_shape));
    outputs.push_back(Tensor(src, {static_cast<int64_t>(src.size())}));
    outputs.push_back(Tensor(g, {static_cast<int64_t>(g.size())}));
    SpectralAudio spectral;
    std::vector<float> audio;
    const absl::Status status =
        spectral.Render(outputs, SpectralOutputs{0, 1, 2}, hop, audio);
    if (c.error.empty()) {
      ASSERT_TRUE(status.ok()) << status;
      ASSERT_EQ(audio.size(), expected.size());
      for (std::size_t i = 0; i < audio.size(); ++i) {
        EXPECT_NEAR(audio[i], expected[i], 1e-5) << "sample " << i;
      }
    } else {
      EXPECT_THAT(std::string(status.message()), testing::HasSubstr(c.error));
    }
  }
}

}  // namespace
}  // namespace tolvaren
