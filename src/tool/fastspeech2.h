// The acoustic predictor: phone ids in, mel spectrogram [frames, bins] out.

#ifndef TOLVAREN_TTS_TOOL_FASTSPEECH2_H_
#define TOLVAREN_TTS_TOOL_FASTSPEECH2_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tool/ort_api.h"

namespace tolvaren {

class FastSpeech2Predictor {
 public:
  FastSpeech2Predictor();

  // Creates the session; throws Ort::Exception when the model cannot be
  // loaded, leaving any earlier session in place.
  void loadModel(const std::string& model_path, int intra_op_num_threads,
                 int inter_op_num_threads);

  // Runs the model on `phone_ids` (viewed, not copied: keep it alive until
  // this returns). `mel_out` receives the [frames, bins] output tensor.
  void predict(std::vector<int64_t>& phone_ids, Ort::Value& mel_out);

  // As above over `count` ids at `phone_ids` (a view into a longer
  // sequence, also not copied).
  void predict(int64_t* phone_ids, std::size_t count, Ort::Value& mel_out);

  // Seconds spent inside the runtime's Run so far, for benchmarks.
  double run_seconds() const { return run_seconds_; }

 private:
  Ort::Env env{nullptr};
  Ort::Session session{nullptr};
  Ort::MemoryInfo memory_info{nullptr};
  double run_seconds_ = 0.0;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_FASTSPEECH2_H_
