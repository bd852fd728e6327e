#include "tool/synth/acoustic_model.h"

#include <utility>

#include "tool/logger.h"
#include "tool/synth/acoustic_pieces.h"

namespace tolvaren {
namespace {

// The acoustic model's output must be a float tensor [frames, bins].
absl::Status CheckMel(const Ort::Value& mel, std::optional<int64_t> mel_bins,
                      int64_t& frames, int64_t& bins) {
  const Ort::TensorTypeAndShapeInfo info = mel.GetTensorTypeAndShapeInfo();
  const std::vector<int64_t> shape = info.GetShape();
  if (info.GetElementType() != ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT ||
      shape.size() != 2 || shape[0] < 0 || shape[1] <= 0 ||
      (mel_bins && shape[1] != *mel_bins)) {
    return absl::FailedPreconditionError(
        "the acoustic model must output a float tensor [frames, bins]");
  }
  frames = shape[0];
  bins = shape[1];
  return absl::OkStatus();
}

}  // namespace

absl::Status CheckHasFrames(std::size_t phones, int64_t frames) {
  if (phones > 0 && frames == 0) {
    return absl::FailedPreconditionError(
        "the acoustic model gave no frames for " + std::to_string(phones) +
        " phones");
  }
  return absl::OkStatus();
}

FastSpeech2Predictor::FastSpeech2Predictor()
    : memory_info(MakeCpuMemoryInfo()) {}

absl::Status FastSpeech2Predictor::loadModel(const std::string& model_path,
                                             const SessionThreads& threads) {
  if (static_cast<OrtEnv*>(env) == nullptr) env = MakeEnv();
  absl::StatusOr<OrtSession> loaded =
      LoadModelSession(env, model_path, threads);
  if (!loaded.ok()) return loaded.status();
  session_ = std::move(*loaded);
  return absl::OkStatus();
}

absl::Status FastSpeech2Predictor::predict(int64_t* phone_ids,
                                           std::size_t count,
                                           Ort::Value& mel_out,
                                           float duration_scale,
                                           std::vector<int64_t>* durations) {
  LOG_INFO("do FastSpeech2 predict, current time {}", Now());
  if (!session_) return absl::FailedPreconditionError("no acoustic model");
  if (!HasDurationScale() && duration_scale != 1.0f) {
    return absl::InvalidArgumentError(
        "this voice speaks at one speed only: its acoustic model has no "
        "duration-scale input (duration_scale)");
  }
  std::vector<Ort::Value> inputs;
  std::vector<std::string> optional;
  const int64_t scale_shape[] = {1};
  try {
    // The ids go to the first input, the scale to the input of its name,
    // required or optional; a further required input cannot be given.
    const std::vector<std::string>& names = session_->input_names();
    const int64_t shape[] = {static_cast<int64_t>(count)};
    inputs.push_back(Ort::Value::CreateTensor<int64_t>(memory_info, phone_ids,
                                                       count, shape, 1));
    for (std::size_t i = 1; i < names.size(); ++i) {
      if (names[i] == kDurationScaleInput) {
        inputs.push_back(Ort::Value::CreateTensor<float>(
            memory_info, &duration_scale, 1, scale_shape, 1));
      } else {
        return absl::FailedPreconditionError(
            "the acoustic model needs an input the tool cannot give: " +
            names[i]);
      }
    }
    if (session_->HasOptionalInput(kDurationScaleInput)) {
      inputs.push_back(Ort::Value::CreateTensor<float>(
          memory_info, &duration_scale, 1, scale_shape, 1));
      optional.emplace_back(kDurationScaleInput);
    }
  } catch (const Ort::Exception& e) {
    return RuntimeError(e);
  }
  absl::StatusOr<std::vector<Ort::Value>> outputs =
      session_->Run(inputs, optional);
  if (!outputs.ok()) return outputs.status();
  if (durations != nullptr) {
    durations->clear();
    const std::optional<std::size_t> at =
        session_->OutputIndex(kDurationsOutput);
    if (at && *at < outputs->size()) {
      try {
        const Ort::Value& counts = (*outputs)[*at];
        const Ort::TensorTypeAndShapeInfo info =
            counts.GetTensorTypeAndShapeInfo();
        // Counts of another type or length are not this voice's timings.
        if (info.GetElementType() == ONNX_TENSOR_ELEMENT_DATA_TYPE_INT64 &&
            info.GetElementCount() == count) {
          const int64_t* data = counts.GetTensorData<int64_t>();
          durations->assign(data, data + count);
        }
      } catch (const Ort::Exception& e) {
        return RuntimeError(e);
      }
    }
  }
  mel_out = std::move(outputs->front());
  LOG_INFO("finish FastSpeech2 predict, current time {}", Now());
  return absl::OkStatus();
}

absl::StatusOr<MelSpectrogram> FastSpeech2Predictor::PredictPiece(
    int64_t* phone_ids, std::size_t count, std::optional<int64_t> mel_bins,
    float duration_scale) {
  MelSpectrogram mel;
  absl::Status run =
      predict(phone_ids, count, mel.tensor, duration_scale, &mel.durations);
  if (!run.ok()) return run;
  try {
    if (absl::Status shape =
            CheckMel(mel.tensor, mel_bins, mel.frames, mel.bins);
        !shape.ok()) {
      return shape;
    }
  } catch (const Ort::Exception& e) {
    return RuntimeError(e);
  }
  return mel;
}

absl::StatusOr<MelSpectrogram> FastSpeech2Predictor::PredictMel(
    std::vector<int64_t>& phone_ids, int64_t pause_id,
    std::optional<int64_t> mel_bins, float duration_scale) {
  MelSpectrogram mel;
  try {
    const std::vector<AcousticPiece> pieces =
        PlanAcousticPieces(phone_ids, pause_id);
    if (pieces.size() == 1) {
      absl::StatusOr<MelSpectrogram> whole = PredictPiece(
          phone_ids.data(), phone_ids.size(), mel_bins, duration_scale);
      if (!whole.ok()) return whole.status();
      if (absl::Status some = CheckHasFrames(phone_ids.size(), whole->frames);
          !some.ok()) {
        return some;
      }
      return whole;
    }
    for (const AcousticPiece& piece : pieces) {
      // Every piece must have the first piece's bins.
      absl::StatusOr<MelSpectrogram> piece_mel = PredictPiece(
          phone_ids.data() + piece.begin, piece.end - piece.begin,
          mel.bins > 0 ? std::optional<int64_t>(mel.bins) : mel_bins,
          duration_scale);
      if (!piece_mel.ok()) return piece_mel.status();
      mel.bins = piece_mel->bins;
      mel.frames += piece_mel->frames;
      const float* rows = piece_mel->rows();
      mel.joined_rows.insert(mel.joined_rows.end(), rows,
                             rows + piece_mel->frames * piece_mel->bins);
    }
    if (absl::Status some = CheckHasFrames(phone_ids.size(), mel.frames);
        !some.ok()) {
      return some;
    }
    const int64_t shape[] = {mel.frames, mel.bins};
    mel.tensor = Ort::Value::CreateTensor<float>(
        memory_info, mel.joined_rows.data(), mel.joined_rows.size(), shape, 2);
  } catch (const Ort::Exception& e) {
    return RuntimeError(e);
  }
  return mel;
}

}  // namespace tolvaren
