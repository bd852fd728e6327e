#include "tool/synth/vocoder.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "tool/logger.h"

namespace tolvaren {
namespace {

// A NaN or an infinity is no sound any player can make; a broken model
// gives them.
bool AllFinite(const std::vector<float>& samples) {
  return std::all_of(samples.begin(), samples.end(),
                     [](float sample) { return std::isfinite(sample); });
}

}  // namespace

HifiGanPredictor::HifiGanPredictor() : memory_info(MakeCpuMemoryInfo()) {
  LOG_INFO("Construct HifiGanPredictor");
}

HifiGanPredictor::~HifiGanPredictor() {
  LOG_INFO("Destory HifiGanPredictor");
  // Session first, then the environment, then the memory description.
  session_.reset();
}

absl::Status HifiGanPredictor::loadModel(const std::string& model_path,
                                         const SessionThreads& threads) {
  if (static_cast<OrtEnv*>(env) == nullptr) env = MakeEnv();
  absl::StatusOr<OrtSession> loaded =
      LoadModelSession(env, model_path, threads);
  if (!loaded.ok()) return loaded.status();
  session_ = std::move(*loaded);
  return absl::OkStatus();
}

std::vector<int32_t> HifiGanPredictor::batchInput(const Ort::Value& mel) {
  LOG_INFO("do HifiGan batchInput, current time {}", Now());
  const std::vector<int64_t> shape = TensorShape(mel);
  const auto frames = static_cast<int32_t>(shape.empty() ? 0 : shape[0]);
  std::vector<int32_t> mel_batch_index = ChunkPlan::ForFrames(frames).ToIndex();
  LOG_INFO("do HifiGan batchInput, current time {}", Now());
  return mel_batch_index;
}

absl::Status HifiGanPredictor::predict(Ort::Value input, Ort::Value& output) {
  std::vector<Ort::Value> outputs;
  if (absl::Status run = Run(std::move(input), std::nullopt, outputs);
      !run.ok()) {
    return run;
  }
  output = std::move(outputs.front());
  return absl::OkStatus();
}

bool HifiGanPredictor::CarriesPhase() const {
  return session_ && session_->HasInput(kPhaseInInput) &&
         session_->HasInput(kPhaseFrameInput) &&
         session_->OutputIndex(kPhaseOutOutput).has_value();
}

absl::Status HifiGanPredictor::Run(Ort::Value input,
                                   const std::optional<PhaseAt>& phase,
                                   std::vector<Ort::Value>& outputs) {
  LOG_INFO("do HifiGan predict, current time {}", Now());
  if (!session_) return absl::FailedPreconditionError("no vocoder model");
  // The mel goes to the first input, the phase to the inputs of their
  // names; optional phase inputs left out keep the model's default. A
  // required phase input without a phase gets 0 cycles at frame 0.
  PhaseAt given = phase.value_or(PhaseAt{});
  const int64_t one[] = {1};
  std::vector<Ort::Value> inputs;
  std::vector<std::string> optional;
  const auto value_of = [&](const std::string& name) {
    return name == kPhaseInInput ? Ort::Value::CreateTensor<float>(
                                       memory_info, &given.cycles, 1, one, 1)
                                 : Ort::Value::CreateTensor<int64_t>(
                                       memory_info, &given.frame, 1, one, 1);
  };
  try {
    const std::vector<std::string>& names = session_->input_names();
    inputs.push_back(std::move(input));
    for (std::size_t i = 1; i < names.size(); ++i) {
      if (names[i] == kPhaseInInput || names[i] == kPhaseFrameInput) {
        inputs.push_back(value_of(names[i]));
      } else {
        return absl::FailedPreconditionError(
            "the vocoder needs an input the tool cannot give: " + names[i]);
      }
    }
    if (phase.has_value()) {
      for (const std::string name : {kPhaseInInput, kPhaseFrameInput}) {
        if (session_->HasOptionalInput(name)) {
          inputs.push_back(value_of(name));
          optional.push_back(name);
        }
      }
    }
  } catch (const Ort::Exception& e) {
    return RuntimeError(e);
  }
  absl::StatusOr<std::vector<Ort::Value>> ran = session_->Run(inputs, optional);
  if (!ran.ok()) return ran.status();
  outputs = std::move(*ran);
  LOG_INFO("finish HifiGan predict, current time {}", Now());
  return absl::OkStatus();
}

absl::Status HifiGanPredictor::Vocode(MelSpectrogram& mel,
                                      const ChunkPlan& plan,
                                      int32_t hop_samples,
                                      std::vector<std::vector<float>>& chunks) {
  chunks.reserve(chunks.size() + plan.chunks.size());
  return Vocode(mel, plan, hop_samples, [&chunks](std::vector<float> chunk) {
    chunks.push_back(std::move(chunk));
    return absl::OkStatus();
  });
}

absl::Status HifiGanPredictor::VocodeChunk(const ChunkJob& job,
                                           int32_t hop_samples,
                                           std::optional<PhaseAt>& phase,
                                           std::vector<float>& samples) {
  const ChunkSpan& span = job.span;
  LOG_INFO("voc chunk {}, from {} to {}", job.index, span.begin, span.end);
  const bool carry = CarriesPhase();
  std::optional<SpectralOutputs> spectral;
  if (session_) {
    if (absl::Status found = FindSpectralOutputs(*session_, spectral);
        !found.ok()) {
      return found;
    }
  }
  const std::size_t phase_index =
      carry ? *session_->OutputIndex(kPhaseOutOutput) : 0;
  // Samples come from the first output that is not the phase, or from
  // the spectrum.
  const std::size_t audio_index = carry && phase_index == 0 ? 1 : 0;
  try {
    // A view of the chunk's rows: no copy.
    const int64_t input_shape[] = {span.end - span.begin, job.bins};
    Ort::Value input = Ort::Value::CreateTensor<float>(
        memory_info, const_cast<float*>(job.rows),
        static_cast<std::size_t>((span.end - span.begin) * job.bins),
        input_shape, 2);
    std::vector<Ort::Value> outputs;
    if (absl::Status run = Run(std::move(input), phase, outputs); !run.ok()) {
      return run;
    }
    if (carry && !job.last) {
      // The next chunk's kept samples begin at this mel frame.
      const int64_t join = job.next_begin + job.next_kept_begin_frame;
      const int64_t at = join - span.begin;
      Ort::Value& phases = outputs[phase_index];
      const Ort::TensorTypeAndShapeInfo info =
          phases.GetTensorTypeAndShapeInfo();
      if (info.GetElementType() != ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT ||
          at < 0 || static_cast<std::size_t>(at) >= info.GetElementCount()) {
        return absl::FailedPreconditionError(
            "the vocoder's phase_out must be a float tensor with a value "
            "for each frame of chunk " +
            std::to_string(job.index) + " and its end");
      }
      phase = PhaseAt{phases.GetTensorMutableData<float>()[at],
                      join - job.next_begin};
    }
    const float* audio = nullptr;
    std::size_t count = 0;
    if (spectral.has_value()) {
      if (absl::Status made = spectral_audio_.Render(outputs, *spectral,
                                                     hop_samples, rendered_);
          !made.ok()) {
        return made;
      }
      audio = rendered_.data();
      count = rendered_.size();
    } else {
      Ort::Value& output = outputs[audio_index];
      const Ort::TensorTypeAndShapeInfo out_info =
          output.GetTensorTypeAndShapeInfo();
      if (out_info.GetElementType() != ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT) {
        return absl::FailedPreconditionError(
            "the vocoder must output a float tensor");
      }
      audio = output.GetTensorMutableData<float>();
      count = out_info.GetElementCount();
    }
    const SampleRange kept =
        KeptSamples(job.kept_begin_frame, job.kept_frames, job.last,
                    static_cast<int64_t>(count), hop_samples);
    samples.clear();
    if (kept.end > kept.begin) {
      samples.assign(audio + kept.begin, audio + kept.end);
    }
  } catch (const Ort::Exception& e) {
    return RuntimeError(e);
  }
  // Checked before the chunk is handed on: a streaming caller must never
  // play a NaN.
  if (!AllFinite(samples)) {
    return absl::FailedPreconditionError(
        "the vocoder gave a sample that is NaN or infinite in chunk " +
        std::to_string(job.index));
  }
  return absl::OkStatus();
}

absl::Status HifiGanPredictor::Vocode(
    MelSpectrogram& mel, const ChunkPlan& plan, int32_t hop_samples,
    const std::function<absl::Status(std::vector<float>)>& sink) {
  std::size_t samples_given = 0;
  std::optional<PhaseAt> phase;
  try {
    const float* rows = mel.rows();
    for (std::size_t k = 0; k < plan.chunks.size(); ++k) {
      ChunkJob job;
      job.index = k;
      job.span = plan.chunks[k];
      job.rows = rows + job.span.begin * mel.bins;
      job.bins = mel.bins;
      job.kept_begin_frame = plan.KeptBeginFrame(k, plan.layout);
      job.kept_frames =
          ChunkPlan::BlockFrames(static_cast<int64_t>(k), plan.layout);
      job.last = k + 1 == plan.chunks.size();
      if (!job.last) {
        job.next_begin = plan.chunks[k + 1].begin;
        job.next_kept_begin_frame = plan.KeptBeginFrame(k + 1, plan.layout);
      }
      std::vector<float> samples;
      if (absl::Status run = VocodeChunk(job, hop_samples, phase, samples);
          !run.ok()) {
        return run;
      }
      samples_given += samples.size();
      if (absl::Status taken = sink(std::move(samples)); !taken.ok()) {
        return taken;
      }
    }
  } catch (const Ort::Exception& e) {
    return RuntimeError(e);
  }
  return CheckHasSamples(mel.frames, samples_given);
}

absl::Status CheckHasSamples(int64_t frames, std::size_t samples) {
  // Frames that come out as no samples at all would be written as a file
  // without audio.
  if (frames > 0 && samples == 0) {
    return absl::FailedPreconditionError("the vocoder gave no samples for " +
                                         std::to_string(frames) + " frames");
  }
  return absl::OkStatus();
}

}  // namespace tolvaren
