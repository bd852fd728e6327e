#include "tool/synth/vocoder_stream.h"

#include <cmath>
#include <utility>

#include "tool/synth/chunk_plan.h"

namespace tolvaren {

absl::Status VocoderStream::Append(const float* rows, int64_t frames,
                                   int64_t bins, const SampleSink& sink) {
  bins_ = bins;
  rows_.insert(rows_.end(), rows, rows + frames * bins);
  frames_ += frames;
  return Run(false, sink);
}

absl::Status VocoderStream::Finish(const SampleSink& sink) {
  if (absl::Status run = Run(true, sink); !run.ok()) return run;
  return CheckHasSamples(frames_, samples_given_);
}

absl::Status VocoderStream::Run(bool final, const SampleSink& sink) {
  const int64_t count = ChunkPlan::CountOf(frames_, layout_);
  for (;;) {
    const int64_t k = next_chunk_;
    // Unless the mel is complete, a window must not be cut by its end.
    const bool ready = final ? k < count
                             : ChunkPlan::BlockBegin(k, layout_) +
                                       ChunkPlan::BlockFrames(k, layout_) +
                                       layout_.context <=
                                   frames_;
    if (!ready) break;
    ChunkJob job;
    job.index = static_cast<std::size_t>(k);
    job.span = ChunkPlan::SpanOf(k, frames_, layout_);
    job.rows = rows_.data() + (job.span.begin - first_frame_) * bins_;
    job.bins = bins_;
    job.kept_begin_frame = ChunkPlan::KeptBeginFrame(job.index, layout_);
    job.kept_frames = ChunkPlan::BlockFrames(k, layout_);
    job.last = final && k + 1 == count;
    if (!job.last) {
      job.next_begin = ChunkPlan::SpanOf(k + 1, frames_, layout_).begin;
      job.next_kept_begin_frame =
          ChunkPlan::KeptBeginFrame(job.index + 1, layout_);
    }
    std::vector<float> samples;
    if (absl::Status run =
            vocoder_.VocodeChunk(job, hop_samples_, phase_, samples);
        !run.ok()) {
      return run;
    }
    ++next_chunk_;
    samples_given_ += samples.size();
    if (absl::Status taken = sink(std::move(samples)); !taken.ok()) {
      return taken;
    }
  }
  // No later chunk sees the rows before the next one's window.
  const int64_t keep_from =
      ChunkPlan::SpanOf(next_chunk_, frames_, layout_).begin;
  if (keep_from > first_frame_) {
    const int64_t dropped = std::min(keep_from, frames_) - first_frame_;
    rows_.erase(rows_.begin(), rows_.begin() + dropped * bins_);
    first_frame_ += dropped;
  }
  return absl::OkStatus();
}

}  // namespace tolvaren
