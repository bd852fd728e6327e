// The acoustic predictor: phone ids in, mel spectrogram [frames, bins] out.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_ACOUSTIC_MODEL_H_
#define TOLVAREN_TTS_TOOL_SYNTH_ACOUSTIC_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "absl/status/statusor.h"
#include "tool/synth/ort_session.h"

namespace tolvaren {

// The acoustic model's optional input that scales the predicted phone
// durations: float [1].
inline constexpr char kDurationScaleInput[] = "duration_scale";
// The acoustic model's optional output: the frames each phone got in the
// mel, int64 [phones].
inline constexpr char kDurationsOutput[] = "durations";

// A mel spectrogram [frames, bins] of 32-bit floats. `tensor` is either the
// model's own output or a view of `joined_rows`, which then holds the rows
// of several runs; move it as a whole, never copy the view alone.
struct MelSpectrogram {
  std::vector<float> joined_rows;
  Ort::Value tensor{nullptr};
  int64_t frames = 0;
  int64_t bins = 0;
  // The frames each phone got (the model's kDurationsOutput), for one run
  // of a model that gives them; empty otherwise.
  std::vector<int64_t> durations;

  float* rows() { return tensor.GetTensorMutableData<float>(); }
};

// FailedPrecondition when `phones` ids (at least one) came out as no frames
// at all: that would be written as a file without audio.
[[nodiscard]] absl::Status CheckHasFrames(std::size_t phones, int64_t frames);

class FastSpeech2Predictor {
 public:
  FastSpeech2Predictor();

  // Creates the session, logging before and after; on failure any earlier
  // session stays in place.
  [[nodiscard]] absl::Status loadModel(const std::string& model_path,
                                       const SessionThreads& threads);

  // Runs the model on the `count` ids at `phone_ids` (viewed, not copied:
  // keep them alive until this returns); `mel_out` receives the model's
  // first output. A model with a duration-scale input (kDurationScaleInput)
  // is given `duration_scale`, every phone's length is multiplied by it
  // (2 speaks half as fast); a model without one only takes 1.
  // Runtime errors come back as RuntimeError statuses; InvalidArgument is
  // a scale the model cannot take.
  // When `durations` is given and the model has kDurationsOutput, it
  // receives one frame count per id (left empty otherwise).
  [[nodiscard]] absl::Status predict(int64_t* phone_ids, std::size_t count,
                                     Ort::Value& mel_out,
                                     float duration_scale = 1.0f,
                                     std::vector<int64_t>* durations = nullptr);

  // The mel of the `count` ids at `phone_ids` in one run, as its own
  // tensor. FailedPrecondition when the output is not a float tensor
  // [frames, bins], or has other than `mel_bins` bins when that is given.
  [[nodiscard]] absl::StatusOr<MelSpectrogram> PredictPiece(
      int64_t* phone_ids, std::size_t count, std::optional<int64_t> mel_bins,
      float duration_scale = 1.0f);

  // The whole mel of `phone_ids`: one run, or for long sequences one run
  // per piece (see acoustic_pieces.h) with the rows joined, cut after
  // `pause_id`. FailedPrecondition when an output is not a float tensor
  // [frames, bins], or has other than `mel_bins` bins when that is given.
  [[nodiscard]] absl::StatusOr<MelSpectrogram> PredictMel(
      std::vector<int64_t>& phone_ids, int64_t pause_id,
      std::optional<int64_t> mel_bins, float duration_scale = 1.0f);

  // Whether the model takes a duration scale.
  bool HasDurationScale() const {
    return session_ && session_->HasInput(kDurationScaleInput);
  }
  // Whether the model gives each phone's frames (kDurationsOutput).
  bool GivesDurations() const {
    return session_ && session_->OutputIndex(kDurationsOutput).has_value();
  }

  const OrtSession* session() const { return session_ ? &*session_ : nullptr; }

  // Seconds spent inside the runtime's Run so far, for benchmarks.
  double run_seconds() const {
    return session_ ? session_->run_seconds() : 0.0;
  }

 private:
  Ort::Env env{nullptr};
  std::optional<OrtSession> session_;
  Ort::MemoryInfo memory_info{nullptr};
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_ACOUSTIC_MODEL_H_
