#include "tool/io/resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tool/synth/peak_limiter.h"

namespace tolvaren {
namespace {

// A 6 kHz sine of amplitude 1.35 sampled at 24 kHz a quarter period off its
// crests: every sample is within the ceiling (±0.955), the signal between
// them is not, and a doubled rate samples its crests.
TEST(ResamplerTest, ResampledAudioKeepsTheCeilingInPiecesAsWhole) {
  std::vector<float> samples(2400);
  for (std::size_t n = 0; n < samples.size(); ++n) {
    samples[n] = static_cast<float>(
        1.35 * std::sin(M_PI / 4 + M_PI / 2 * static_cast<double>(n)));
  }
  ASSERT_LE(*std::max_element(samples.begin(), samples.end()), kSampleCeiling);
  const absl::StatusOr<std::vector<float>> whole =
      Resample(samples, 24000, 48000);
  ASSERT_TRUE(whole.ok()) << whole.status();
  EXPECT_NEAR(static_cast<double>(whole->size()), 4800.0, 2.0);
  float peak = 0.0f;
  for (const float sample : *whole) peak = std::max(peak, std::fabs(sample));
  EXPECT_LE(peak, kSampleCeiling);
  EXPECT_GT(peak, 0.9f);
  // In pieces: the same signal.
  absl::StatusOr<std::unique_ptr<Resampler>> resampler =
      Resampler::Create(24000, 48000);
  ASSERT_TRUE(resampler.ok());
  std::vector<float> pieces;
  for (std::size_t at = 0; at < samples.size(); at += 700) {
    const std::size_t count = std::min<std::size_t>(700, samples.size() - at);
    ASSERT_TRUE((*resampler)
                    ->Process(samples.data() + at, count,
                              at + count == samples.size(), pieces)
                    .ok());
  }
  EXPECT_EQ(pieces, *whole);
}

}  // namespace
}  // namespace tolvaren
