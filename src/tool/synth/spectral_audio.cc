#include "tool/synth/spectral_audio.h"

#include <string>

namespace tolvaren {
namespace {

absl::Status Unfit(const std::string& output, const std::string& what) {
  return absl::FailedPreconditionError("the vocoder's output " + output +
                                       " must be " + what);
}

bool IsFloat(const Ort::Value& value) {
  return value.GetTensorTypeAndShapeInfo().GetElementType() ==
         ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT;
}

}  // namespace

absl::Status FindSpectralOutputs(const OrtSession& session,
                                 std::optional<SpectralOutputs>& found) {
  found.reset();
  const std::optional<std::size_t> spectrum =
      session.OutputIndex(kSpectrumOutput);
  if (!spectrum.has_value()) return absl::OkStatus();
  SpectralOutputs at;
  at.spectrum = *spectrum;
  at.source = session.OutputIndex(kSourceOutput);
  at.source_gain = session.OutputIndex(kSourceGainOutput);
  if (at.source.has_value() != at.source_gain.has_value()) {
    return absl::FailedPreconditionError(
        std::string("the vocoder gives ") +
        (at.source ? kSourceOutput : kSourceGainOutput) + " without " +
        (at.source ? kSourceGainOutput : kSourceOutput));
  }
  found = at;
  return absl::OkStatus();
}

absl::Status SpectralAudio::Render(std::vector<Ort::Value>& outputs,
                                   const SpectralOutputs& at, int32_t hop,
                                   std::vector<float>& audio) {
  Ort::Value& spectrum = outputs.at(at.spectrum);
  const std::vector<int64_t> shape = TensorShape(spectrum);
  // Two bins at least (0 and n / 2), real and imaginary parts of each.
  if (!IsFloat(spectrum) || shape.size() != 2 || shape[1] < 4 ||
      shape[1] % 2 != 0 || hop < 1) {
    return Unfit(kSpectrumOutput,
                 "a float tensor [frames, 2 bins], at least two bins");
  }
  const int64_t frames = shape[0];
  const int64_t bins = shape[1] / 2;
  const auto n_fft = static_cast<int32_t>(2 * (bins - 1));
  if (!transform_ || transform_->n_fft() != n_fft || transform_->hop() != hop) {
    transform_.emplace(n_fft, hop);
  }
  float* rows = spectrum.GetTensorMutableData<float>();
  if (at.source && frames > 0) {
    Ort::Value& source = outputs.at(*at.source);
    Ort::Value& gain = outputs.at(*at.source_gain);
    const int64_t needed = hop * (frames - 1) + n_fft;
    if (!IsFloat(source) ||
        source.GetTensorTypeAndShapeInfo().GetElementCount() <
            static_cast<std::size_t>(needed)) {
      return Unfit(kSourceOutput,
                   "a float tensor of " + std::to_string(needed) + " samples");
    }
    if (!IsFloat(gain) || gain.GetTensorTypeAndShapeInfo().GetElementCount() !=
                              static_cast<std::size_t>(frames * bins)) {
      return Unfit(kSourceGainOutput,
                   "a float tensor [frames, bins] of the spectrum's size");
    }
    source_spectrum_.resize(static_cast<std::size_t>(frames * 2 * bins));
    transform_->Analyse(source.GetTensorData<float>(), frames,
                        source_spectrum_.data());
    const float* g = gain.GetTensorData<float>();
    for (int64_t t = 0; t < frames; ++t) {
      float* row = rows + t * 2 * bins;
      const float* s = source_spectrum_.data() + t * 2 * bins;
      const float* row_gain = g + t * bins;
      for (int64_t k = 0; k < bins; ++k) {
        row[k] += row_gain[k] * s[k];
        row[bins + k] += row_gain[k] * s[bins + k];
      }
    }
  }
  transform_->Synthesise(rows, frames, audio);
  return absl::OkStatus();
}

}  // namespace tolvaren
