#include "tool/synth/peak_limiter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace tolvaren {
namespace {

constexpr int kRate = 24000;
constexpr std::size_t kLength = kRate / 2;

// `amplitude` × a 200 Hz sine, half a second at kRate.
std::vector<float> Sine(float amplitude) {
  std::vector<float> samples(kLength);
  for (std::size_t n = 0; n < kLength; ++n) {
    samples[n] =
        amplitude * static_cast<float>(std::sin(
                        2 * M_PI * 200.0 * static_cast<double>(n) / kRate));
  }
  return samples;
}

std::vector<float> Spike() {
  std::vector<float> samples = Sine(0.3f);
  samples[6000] = 3.0f;
  return samples;
}

// ±1.5 in 100-sample periods for 3000 samples, 0.2 around it.
std::vector<float> SquareBurst() {
  std::vector<float> samples(kLength, 0.2f);
  for (std::size_t n = 2000; n < 5000; ++n) {
    samples[n] = n % 100 < 50 ? 1.5f : -1.5f;
  }
  return samples;
}

// The limiter's output for `samples` given in blocks of `block` (0: one
// block), then flushed.
std::vector<float> Limited(const std::vector<float>& samples,
                           std::size_t block) {
  PeakLimiter limiter = PeakLimiter::ForRate(kRate);
  std::vector<float> out;
  if (block == 0) block = samples.size();
  for (std::size_t at = 0; at < samples.size(); at += block) {
    limiter.Process(samples.data() + at, std::min(block, samples.size() - at),
                    out);
  }
  limiter.Flush(out);
  return out;
}

TEST(PeakLimiterTest, KeepsTheCeilingSmoothlyWhateverTheBlocks) {
  struct Case {
    std::string name;
    std::vector<float> samples;
    // Samples before this one are more than the look-ahead before the
    // first loud one, and come out unchanged.
    std::size_t untouched_before;
  };
  const std::size_t lookahead = PeakLimiter::ForRate(kRate).lookahead();
  ASSERT_EQ(lookahead, 120u);  // 5 ms
  const Case cases[] = {
      {"sine 1.7", Sine(1.7f), 0},
      {"spike 3.0", Spike(), 6000 - lookahead},
      {"square burst", SquareBurst(), 2000 - lookahead},
      {"silence", std::vector<float>(kLength, 0.0f), kLength},
      {"sine 0.5", Sine(0.5f), kLength},
      {"at the ceiling", std::vector<float>(300, -kSampleCeiling), 300},
  };
  for (const Case& c : cases) {
    const std::vector<float> whole = Limited(c.samples, 0);
    ASSERT_EQ(whole.size(), c.samples.size()) << c.name;
    for (const std::size_t block : {1, 7, 300, 10800}) {
      EXPECT_EQ(Limited(c.samples, block), whole) << c.name << " " << block;
    }
    for (std::size_t n = 0; n < whole.size(); ++n) {
      ASSERT_LE(std::fabs(whole[n]), kSampleCeiling) << c.name << " " << n;
      if (n < c.untouched_before) {
        ASSERT_EQ(whole[n], c.samples[n]) << c.name << " " << n;
      }
      // The gain (where the sample shows it) moves by at most one
      // look-ahead's share from sample to sample: no jumps.
      if (n > 0 && std::fabs(c.samples[n]) > 0.05f &&
          std::fabs(c.samples[n - 1]) > 0.05f) {
        const double step =
            whole[n] / c.samples[n] - whole[n - 1] / c.samples[n - 1];
        ASSERT_LE(std::fabs(step), 1.0 / (lookahead + 1) + 1e-6)
            << c.name << " " << n;
      }
    }
  }
  // The level of speech is kept: the loud sine is lowered only as far as
  // its peaks need, not to the quiet one.
  const std::vector<float> loud = Limited(Sine(1.7f), 0);
  EXPECT_GT(*std::max_element(loud.begin(), loud.end()), 0.95f);
}

}  // namespace
}  // namespace tolvaren
