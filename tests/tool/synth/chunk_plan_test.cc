#include "tool/synth/chunk_plan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tolvaren {
namespace {

TEST(ChunkPlanTest, WorkedExamples) {
  struct Case {
    int32_t frames;
    std::vector<int32_t> plan;
  };
  const std::vector<Case> cases = {
      {0, {0}},
      {20, {1, 0, 20}},
      {36, {1, 0, 36}},
      {37, {2, 0, 37, 22, 37}},
      {73, {3, 0, 50, 22, 73, 58, 73}},
      {80, {3, 0, 50, 22, 80, 58, 80}},
      {108, {3, 0, 50, 22, 86, 58, 108}},
  };
  for (const Case& c : cases) {
    const std::vector<int32_t> index = ChunkPlan::ForFrames(c.frames).ToIndex();
    EXPECT_EQ(index, c.plan) << c.frames << " frames";
    // The flat form reads back to the same chunks.
    absl::StatusOr<ChunkPlan> back = ChunkPlan::FromIndex(index, c.frames);
    ASSERT_TRUE(back.ok()) << back.status();
    EXPECT_EQ(back->chunks, ChunkPlan::ForFrames(c.frames).chunks);
  }
}

TEST(ChunkPlanTest, StreamedLayoutKeepsItsBlocksAndTheirContext) {
  struct Case {
    int32_t frames;
    std::vector<int32_t> plan;
  };
  const std::vector<Case> cases = {
      {0, {0}},
      {36, {1, 0, 36}},
      {37, {2, 0, 37, 22, 37}},
      {136, {2, 0, 50, 22, 136}},
      {200, {3, 0, 50, 22, 150, 122, 200}},
  };
  for (const Case& c : cases) {
    const ChunkPlan plan = ChunkPlan::ForFrames(c.frames, kStreamedChunks);
    EXPECT_EQ(plan.ToIndex(), c.plan) << c.frames << " frames";
    // The kept samples tile the audio: each chunk's begin where the one
    // before it ended, 10 samples a frame.
    int64_t next = 0;
    for (std::size_t k = 0; k < plan.chunks.size(); ++k) {
      const ChunkSpan& span = plan.chunks[k];
      const SampleRange kept = plan.Kept(k, 10 * (span.end - span.begin), 10);
      EXPECT_EQ(10 * span.begin + kept.begin, next) << c.frames << "/" << k;
      next = 10 * span.begin + kept.end;
    }
    EXPECT_EQ(next, 10 * c.frames);
  }
}

TEST(ChunkPlanTest, UnusableIndexesAreRefused) {
  struct Case {
    std::vector<int32_t> index;
    absl::StatusCode code;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{}, absl::StatusCode::kInvalidArgument, "mel_batch_index is empty"},
      {{1, 0},
       absl::StatusCode::kInvalidArgument,
       "mel_batch_index lenth must be odd"},
      {{1, 0, 11}, absl::StatusCode::kFailedPrecondition, nullptr},
      {{1, 5, 4}, absl::StatusCode::kFailedPrecondition, nullptr},
      {{1, -1, 4}, absl::StatusCode::kFailedPrecondition, nullptr},
  };
  for (const Case& c : cases) {
    const absl::Status status = ChunkPlan::FromIndex(c.index, 10).status();
    EXPECT_EQ(status.code(), c.code) << status;
    if (c.message != nullptr) {
      EXPECT_EQ(status.message(), c.message);
    }
  }
}

}  // namespace
}  // namespace tolvaren
