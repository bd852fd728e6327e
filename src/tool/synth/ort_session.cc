#include "tool/synth/ort_session.h"

#include <chrono>
#include <mutex>
#include <stdexcept>

#include "tool/logger.h"

namespace tolvaren {

absl::Status EnsureOrtApi() {
  static std::once_flag once;
  static const OrtApi* api = nullptr;
  std::call_once(once, [] {
    api = OrtGetApiBase()->GetApi(kOrtApiVersion);
    if (api != nullptr) Ort::InitApi(api);
  });
  if (api == nullptr) {
    return absl::FailedPreconditionError(
        "ONNX Runtime " + OrtRuntimeVersion() +
        " does not provide API version 15; version 1.15 or newer is needed");
  }
  return absl::OkStatus();
}

std::string OrtRuntimeVersion() {
  const char* version = OrtGetApiBase()->GetVersionString();
  return version == nullptr ? std::string("unknown") : std::string(version);
}

absl::Status RuntimeError(const Ort::Exception& e) {
  return absl::InternalError(e.what());
}

namespace {

void RequireOrtApi() {
  if (const absl::Status api = EnsureOrtApi(); !api.ok()) {
    throw std::runtime_error(std::string(api.message()));
  }
}

}  // namespace

Ort::Env MakeEnv() {
  RequireOrtApi();
  return Ort::Env(ORT_LOGGING_LEVEL_WARNING, "");
}

Ort::MemoryInfo MakeCpuMemoryInfo() {
  RequireOrtApi();
  return Ort::MemoryInfo::CreateCpu(OrtDeviceAllocator, OrtMemTypeCPU);
}

absl::StatusOr<OrtSession> OrtSession::Load(const Ort::Env& env,
                                            const std::string& model_path,
                                            const SessionThreads& threads) {
  try {
    Ort::SessionOptions options;
    options.SetInterOpNumThreads(threads.inter_op);
    options.SetIntraOpNumThreads(threads.intra_op);
    if (threads.allow_spinning.has_value()) {
      // Session configuration entries (AddSessionConfigEntry) are part of
      // the version-15 table; one flag covers both pools.
      const char* spin = *threads.allow_spinning ? "1" : "0";
      options.AddConfigEntry("session.intra_op.allow_spinning", spin);
      options.AddConfigEntry("session.inter_op.allow_spinning", spin);
    }
    OrtSession loaded(Ort::Session(env, model_path.c_str(), options));
    Ort::AllocatorWithDefaultOptions allocator;
    for (std::size_t i = 0; i < loaded.session_.GetInputCount(); ++i) {
      loaded.input_names_.emplace_back(
          loaded.session_.GetInputNameAllocated(i, allocator).get());
    }
    for (std::size_t i = 0; i < loaded.session_.GetOutputCount(); ++i) {
      loaded.output_names_.emplace_back(
          loaded.session_.GetOutputNameAllocated(i, allocator).get());
    }
    return loaded;
  } catch (const Ort::Exception& e) {
    return RuntimeError(e);
  }
}

absl::StatusOr<OrtSession> LoadModelSession(const Ort::Env& env,
                                            const std::string& model_path,
                                            const SessionThreads& threads) {
  LOG_INFO("Try to load model from {}", model_path);
  absl::StatusOr<OrtSession> loaded =
      OrtSession::Load(env, model_path, threads);
  if (loaded.ok()) {
    LOG_INFO("Finish loading model {}, intra/inter_op_num_threads={}/{}",
             model_path, threads.intra_op, threads.inter_op);
  }
  return loaded;
}

absl::StatusOr<std::vector<Ort::Value>> OrtSession::Run(
    const std::vector<Ort::Value>& inputs) {
  if (inputs.size() != input_names_.size()) {
    return absl::FailedPreconditionError(
        "the model takes " + std::to_string(input_names_.size()) + " inputs, " +
        std::to_string(inputs.size()) + " were given");
  }
  std::vector<const char*> input_names;
  for (const std::string& name : input_names_) {
    input_names.push_back(name.c_str());
  }
  std::vector<const char*> output_names;
  for (const std::string& name : output_names_) {
    output_names.push_back(name.c_str());
  }
  std::vector<Ort::Value> outputs;
  for (std::size_t i = 0; i < output_names.size(); ++i) {
    outputs.emplace_back(nullptr);
  }
  const auto start = std::chrono::steady_clock::now();
  try {
    session_.Run(Ort::RunOptions{nullptr}, input_names.data(), inputs.data(),
                 inputs.size(), output_names.data(), outputs.data(),
                 outputs.size());
  } catch (const Ort::Exception& e) {
    return RuntimeError(e);
  }
  run_seconds_ +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  return outputs;
}

absl::StatusOr<std::optional<std::string>> OrtSession::CustomMetadata(
    const std::string& key) const {
  try {
    Ort::AllocatorWithDefaultOptions allocator;
    const Ort::ModelMetadata metadata = session_.GetModelMetadata();
    const Ort::AllocatedStringPtr value =
        metadata.LookupCustomMetadataMapAllocated(key.c_str(), allocator);
    if (value == nullptr) return std::nullopt;
    return std::optional<std::string>(value.get());
  } catch (const Ort::Exception& e) {
    return RuntimeError(e);
  }
}

std::vector<int64_t> TensorShape(const Ort::Value& value) {
  return value.GetTensorTypeAndShapeInfo().GetShape();
}

}  // namespace tolvaren
