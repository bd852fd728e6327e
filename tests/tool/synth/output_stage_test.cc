// The utterance's end fade, wherever the stage stands when it learns where
// the speech ends.

#include "tool/synth/output_stage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolvaren {
namespace {

constexpr int kRate = 24000;
constexpr std::size_t kChunk = 1000;
constexpr std::size_t kChunks = 12;

TEST(OutputStageTest, SpeechFadesOutToWhereItEnds) {
  struct Case {
    int64_t end;         // where the speech ends
    std::size_t given;   // chunks given before the stage learns it
    int64_t fade_begin;  // the first faded sample
  };
  const Case cases[] = {
      {9000, 0, 9000 - 3600},    // 150 ms before the end
      {12000, 0, 12000 - 3600},  // at the last sample
      // The first 8000 samples are given; only the last 20 ms are held.
      {9000, 8, 8000 - 480},
      {8000, 8, 8000 - 480},
  };
  for (const Case& c : cases) {
    for (const bool keep_chunks : {true, false}) {
      std::vector<std::size_t> sizes;
      std::vector<float> out;
      OutputStage stage(kRate, 1.0f, keep_chunks,
                        [&](std::vector<float> chunk) {
                          sizes.push_back(chunk.size());
                          out.insert(out.end(), chunk.begin(), chunk.end());
                          return absl::OkStatus();
                        });
      for (std::size_t k = 0; k < kChunks; ++k) {
        if (k == c.given) stage.EndSpeechAt(c.end);
        ASSERT_TRUE(stage.Speech(std::vector<float>(kChunk, 0.5f)).ok());
      }
      ASSERT_TRUE(stage.Finish().ok());
      ASSERT_EQ(out.size(), kChunk * kChunks) << c.end;
      if (keep_chunks) {
        EXPECT_EQ(sizes, std::vector<std::size_t>(kChunks, kChunk));
      }
      for (int64_t n = 0; n < static_cast<int64_t>(out.size()); ++n) {
        const float at = out[static_cast<std::size_t>(n)];
        if (n < c.fade_begin) {
          ASSERT_EQ(at, 0.5f) << c.end << " " << n;
        } else if (n + 1 >= c.end) {
          ASSERT_EQ(at, 0.0f) << c.end << " " << n;
        } else {
          ASSERT_LT(at, 0.5f) << c.end << " " << n;
          ASSERT_LE(at, out[static_cast<std::size_t>(n - 1)]) << n;
        }
      }
    }
  }
}

TEST(OutputStageTest, ALongSilenceGoesOnInBlocks) {
  const int64_t silence = 10 * kSilenceBlockSamples + 123;
  for (const bool keep_chunks : {true, false}) {
    std::size_t largest = 0;
    std::vector<float> out;
    OutputStage stage(kRate, 1.0f, keep_chunks, [&](std::vector<float> chunk) {
      largest = std::max(largest, chunk.size());
      out.insert(out.end(), chunk.begin(), chunk.end());
      return absl::OkStatus();
    });
    ASSERT_TRUE(stage.Speech(std::vector<float>(kChunk, 0.5f)).ok());
    ASSERT_TRUE(stage.Silence(silence).ok());
    ASSERT_TRUE(stage.Finish().ok());
    ASSERT_EQ(out.size(), kChunk + static_cast<std::size_t>(silence));
    EXPECT_LE(largest, kChunk + static_cast<std::size_t>(kSilenceBlockSamples));
    EXPECT_TRUE(std::all_of(out.begin() + kChunk, out.end(),
                            [](float x) { return x == 0.0f; }));
  }
}

}  // namespace
}  // namespace tolvaren
