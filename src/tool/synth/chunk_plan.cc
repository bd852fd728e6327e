#include "tool/synth/chunk_plan.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "absl/status/status.h"

namespace tolvaren {

ChunkPlan ChunkPlan::ForFrames(int32_t frames, const ChunkLayout& layout) {
  const int64_t count = CountOf(frames, layout);
  ChunkPlan plan;
  plan.layout = layout;
  plan.chunks.reserve(static_cast<std::size_t>(std::max<int64_t>(count, 0)));
  for (int64_t k = 0; k < count; ++k) {
    plan.chunks.push_back(SpanOf(k, frames, layout));
  }
  return plan;
}

int64_t ChunkPlan::CountOf(int64_t frames, const ChunkLayout& layout) {
  if (layout.first_block == layout.block) {
    // Computed in single precision, as the plan has always been.
    return static_cast<int64_t>(std::ceil(static_cast<float>(frames) /
                                          static_cast<float>(layout.block)));
  }
  if (frames <= 0) return 0;
  if (frames <= layout.first_block) return 1;
  return 1 + (frames - layout.first_block + layout.block - 1) / layout.block;
}

int64_t ChunkPlan::BlockBegin(int64_t k, const ChunkLayout& layout) {
  return k == 0 ? 0 : layout.first_block + (k - 1) * int64_t{layout.block};
}

absl::StatusOr<ChunkPlan> ChunkPlan::FromIndex(
    const std::vector<int32_t>& index, int32_t frames) {
  if (index.empty()) {
    return absl::InvalidArgumentError("mel_batch_index is empty");
  }
  if (index.size() % 2 == 0) {
    return absl::InvalidArgumentError("mel_batch_index lenth must be odd");
  }
  ChunkPlan plan;
  for (std::size_t k = 1; k + 1 < index.size(); k += 2) {
    const ChunkSpan span{index[k], index[k + 1]};
    if (span.begin < 0 || span.begin > span.end || span.end > frames) {
      return absl::FailedPreconditionError(
          "chunk [" + std::to_string(span.begin) + ", " +
          std::to_string(span.end) + ") lies outside the " +
          std::to_string(frames) + " mel frames");
    }
    plan.chunks.push_back(span);
  }
  return plan;
}

std::vector<int32_t> ChunkPlan::ToIndex() const {
  std::vector<int32_t> index;
  index.reserve(1 + 2 * chunks.size());
  index.push_back(static_cast<int32_t>(chunks.size()));
  for (const ChunkSpan& span : chunks) {
    index.push_back(span.begin);
    index.push_back(span.end);
  }
  return index;
}

int32_t ChunkPlan::KeptBeginFrame(std::size_t k, const ChunkLayout& layout) {
  if (k == 0) return 0;
  return static_cast<int32_t>(std::min<int64_t>(
      BlockBegin(static_cast<int64_t>(k), layout), layout.context));
}

SampleRange KeptSamples(int32_t kept_begin_frame, int32_t kept_frames,
                        bool last, int64_t output_samples,
                        int32_t hop_samples) {
  SampleRange kept;
  kept.begin = int64_t{kept_begin_frame} * hop_samples;
  kept.end =
      last ? output_samples : kept.begin + int64_t{kept_frames} * hop_samples;
  kept.end = std::min(kept.end, output_samples);
  return kept;
}

SampleRange ChunkPlan::Kept(std::size_t k, int64_t output_samples,
                            int32_t hop_samples) const {
  return KeptSamples(KeptBeginFrame(k, layout),
                     BlockFrames(static_cast<int64_t>(k), layout),
                     k + 1 == chunks.size(), output_samples, hop_samples);
}

ChunkSpan ChunkPlan::SpanOf(int64_t k, int64_t frames,
                            const ChunkLayout& layout) {
  const int64_t begin = BlockBegin(k, layout);
  const int64_t end = begin + BlockFrames(k, layout) + layout.context;
  return {static_cast<int32_t>(std::max<int64_t>(begin - layout.context, 0)),
          static_cast<int32_t>(std::min<int64_t>(end, frames))};
}

}  // namespace tolvaren
