// How a mel spectrogram is vocoded in pieces, and which samples of each
// piece's audio are kept.
//
// Each chunk owns kBlockFrames frames and sees kContextFrames more on each
// side, so the vocoder never runs over more than kWindowFrames frames (its
// memory stays bounded however long the text). Of a chunk's audio only the
// samples of its own frames are kept; concatenated in order, the kept
// pieces are the utterance's waveform.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_CHUNK_PLAN_H_
#define TOLVAREN_TTS_TOOL_SYNTH_CHUNK_PLAN_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "absl/status/statusor.h"

namespace tolvaren {

inline constexpr int32_t kBlockFrames = 36;
inline constexpr int32_t kContextFrames = 14;
inline constexpr int32_t kWindowFrames = kBlockFrames + 2 * kContextFrames;

// The sizes of a plan's chunks: the first owns `first_block` frames, every
// later one `block`, and each sees `context` more frames on each side.
// Each frame of context costs the vocoder as much as a kept one, so longer
// blocks are cheaper per second of audio; a short first block starts the
// audio sooner. The default is the layout tolvaren_tts writes its chunks
// in.
struct ChunkLayout {
  int32_t first_block = kBlockFrames;
  int32_t block = kBlockFrames;
  int32_t context = kContextFrames;

  // The longest window a chunk of this layout sees.
  int32_t WindowFrames() const {
    return std::max(first_block, block) + 2 * context;
  }
};

// For callers that stream: the first chunk as in the default layout, later
// ones of 100 frames (a window of 128 instead of 64 per 36 kept frames
// takes about 30 % off the vocoder's work). The joins see the same context.
inline constexpr ChunkLayout kStreamedChunks{kBlockFrames, 100, kContextFrames};

// Mel frames [begin, end) that one vocoder run sees.
struct ChunkSpan {
  int32_t begin = 0;
  int32_t end = 0;

  bool operator==(const ChunkSpan& other) const {
    return begin == other.begin && end == other.end;
  }
};

// Samples [begin, end) of one chunk's audio that belong to the utterance.
struct SampleRange {
  int64_t begin = 0;
  int64_t end = 0;
};

// The kept samples of a chunk whose kept samples begin at its input frame
// `kept_begin_frame` and whose audio has `output_samples` samples at
// `hop_samples` per frame: exactly its `kept_frames`, or for the `last`
// chunk all the rest. Never beyond the audio there is, should the vocoder
// give fewer samples per frame.
SampleRange KeptSamples(int32_t kept_begin_frame, int32_t kept_frames,
                        bool last, int64_t output_samples, int32_t hop_samples);

struct ChunkPlan {
  std::vector<ChunkSpan> chunks;
  ChunkLayout layout;

  // The plan for `frames` mel frames: in the default layout chunk k covers
  // [max(36k - 14, 0), min(36k + 50, frames)).
  static ChunkPlan ForFrames(int32_t frames, const ChunkLayout& layout = {});

  // The number of chunks of `frames` frames.
  static int64_t CountOf(int64_t frames, const ChunkLayout& layout = {});

  // Chunk k of ForFrames(frames) for any `frames`; the span of a chunk
  // whose window ends within `frames` is the same in every longer plan.
  static ChunkSpan SpanOf(int64_t k, int64_t frames,
                          const ChunkLayout& layout = {});

  // The frame of the mel at which chunk k's own frames begin.
  static int64_t BlockBegin(int64_t k, const ChunkLayout& layout = {});

  // The frames chunk k owns (the last may have fewer).
  static int32_t BlockFrames(int64_t k, const ChunkLayout& layout = {}) {
    return k == 0 ? layout.first_block : layout.block;
  }

  // Reads the flat form [C, begin0, end0, ...] back, in the default
  // layout. InvalidArgument, with the message the synthesis driver logs,
  // when it is empty or of even length; FailedPrecondition when a span lies
  // outside `frames`.
  [[nodiscard]] static absl::StatusOr<ChunkPlan> FromIndex(
      const std::vector<int32_t>& index, int32_t frames);

  // The flat form: the chunk count, then each chunk's begin and end.
  std::vector<int32_t> ToIndex() const;

  // The kept samples of chunk `k`, whose audio has `output_samples` samples
  // at `hop_samples` per frame: every chunk but the first drops its leading
  // context, every chunk but the last keeps exactly its block. Never beyond
  // the audio there is, should the vocoder give fewer samples per frame.
  SampleRange Kept(std::size_t k, int64_t output_samples,
                   int32_t hop_samples) const;

  // The frame of chunk `k`'s input at which its kept samples begin: 0 for
  // the first chunk, its leading context for the others.
  static int32_t KeptBeginFrame(std::size_t k, const ChunkLayout& layout = {});
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_CHUNK_PLAN_H_
