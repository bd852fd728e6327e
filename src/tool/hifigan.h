// The vocoder predictor: mel rows in, audio samples out, run chunk by chunk.

#ifndef TOLVAREN_TTS_TOOL_HIFIGAN_H_
#define TOLVAREN_TTS_TOOL_HIFIGAN_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tool/ort_api.h"

namespace tolvaren {

// Chunking of a mel spectrogram: each chunk owns kBlockFrames frames and sees
// kContextFrames more on each side; every chunk keeps kBlockFrames * kHop
// samples of its output.
inline constexpr int32_t kBlockFrames = 36;
inline constexpr int32_t kContextFrames = 14;
inline constexpr int32_t kWindowFrames = kBlockFrames + 2 * kContextFrames;
inline constexpr int32_t kHopSamples = 300;
inline constexpr int32_t kKeptSamples = kBlockFrames * kHopSamples;
inline constexpr int32_t kFrontTrimSamples = kContextFrames * kHopSamples;

class HifiGanPredictor {
 public:
  HifiGanPredictor();
  ~HifiGanPredictor();

  HifiGanPredictor(const HifiGanPredictor&) = delete;
  HifiGanPredictor& operator=(const HifiGanPredictor&) = delete;

  void loadModel(const std::string& model_path, int intra_op_num_threads,
                 int inter_op_num_threads);

  // Plans the chunks of a [frames, bins] mel tensor: [C, start0, end0, ...].
  std::vector<int32_t> batchInput(const Ort::Value& mel);

  // One vocoder run over a chunk's [rows, bins] view.
  void predict(const Ort::Value& input, Ort::Value& output);

  // Seconds spent inside the runtime's Run so far, for benchmarks.
  double run_seconds() const { return run_seconds_; }

  const Ort::MemoryInfo& cpu_memory_info() const { return memory_info; }

 private:
  Ort::MemoryInfo memory_info{nullptr};
  Ort::Env env{nullptr};
  std::unique_ptr<Ort::Session> session;
  double run_seconds_ = 0.0;
};

// The chunk plan for `frames` mel frames.
std::vector<int32_t> PlanChunks(int32_t frames);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_HIFIGAN_H_
