// The chunked vocoding of a mel spectrogram that arrives piece by piece.
//
// The chunks are those of ChunkPlan::ForFrames over the whole mel (in the
// stream's layout), so the
// samples are the same as vocoding the joined rows at once; a chunk runs as
// soon as the rows of its window exist, and rows no later chunk sees are
// dropped, so only about a piece of the mel is ever held.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_VOCODER_STREAM_H_
#define TOLVAREN_TTS_TOOL_SYNTH_VOCODER_STREAM_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "absl/status/status.h"
#include "tool/synth/vocoder.h"

namespace tolvaren {

// Receives each chunk's kept samples, in order; a status other than OK
// stops the vocoding and is returned as it is.
using SampleSink = std::function<absl::Status(std::vector<float> chunk)>;

class VocoderStream {
 public:
  VocoderStream(HifiGanPredictor& vocoder, int32_t hop_samples,
                const ChunkLayout& layout = {})
      : vocoder_(vocoder), hop_samples_(hop_samples), layout_(layout) {}

  // Adds `frames` rows of `bins` (the same for every call) after those
  // given so far and vocodes the chunks whose windows are now complete.
  [[nodiscard]] absl::Status Append(const float* rows, int64_t frames,
                                    int64_t bins, const SampleSink& sink);

  // The mel is complete: vocodes the chunks left. FailedPrecondition when
  // frames came out as no samples at all.
  [[nodiscard]] absl::Status Finish(const SampleSink& sink);

  // Frames given so far.
  int64_t frames() const { return frames_; }

 private:
  // Vocodes the chunks from next_chunk_ on whose windows end within the
  // frames given, every remaining one when `final`.
  [[nodiscard]] absl::Status Run(bool final, const SampleSink& sink);

  HifiGanPredictor& vocoder_;
  int32_t hop_samples_;
  ChunkLayout layout_;
  std::vector<float> rows_;  // frames first_frame_ .. frames_ - 1
  int64_t first_frame_ = 0;
  int64_t frames_ = 0;
  int64_t bins_ = 0;
  int64_t next_chunk_ = 0;
  std::size_t samples_given_ = 0;
  std::optional<PhaseAt> phase_;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_VOCODER_STREAM_H_
