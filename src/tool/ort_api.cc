#include "tool/ort_api.h"

#include <mutex>
#include <stdexcept>

#include "tool/logger.h"

namespace tolvaren {

void EnsureOrtApi() {
  static std::once_flag once;
  static const OrtApi* api = nullptr;
  std::call_once(once, [] {
    api = OrtGetApiBase()->GetApi(kOrtApiVersion);
    if (api != nullptr) Ort::InitApi(api);
  });
  if (api == nullptr) {
    throw std::runtime_error(
        "ONNX Runtime " + OrtRuntimeVersion() +
        " does not provide API version 15; version 1.15 or newer is needed");
  }
}

std::string OrtRuntimeVersion() {
  const char* version = OrtGetApiBase()->GetVersionString();
  return version == nullptr ? std::string("unknown") : std::string(version);
}

Ort::Session LoadSession(const Ort::Env& env, const std::string& model_path,
                         int intra_op_num_threads, int inter_op_num_threads,
                         const char* log_source) {
  // The records carry the predictor's own source file and "loadModel".
  LogRecord(kLevelInfo, log_source, __LINE__, "loadModel",
            "Try to load model from {}", model_path);
  Ort::SessionOptions options;
  options.SetInterOpNumThreads(inter_op_num_threads);
  options.SetIntraOpNumThreads(intra_op_num_threads);
  Ort::Session session(env, model_path.c_str(), options);
  LogRecord(kLevelInfo, log_source, __LINE__, "loadModel",
            "Finish loading model {}, intra/inter_op_num_threads={}/{}",
            model_path, intra_op_num_threads, inter_op_num_threads);
  return session;
}

void RunSingle(Ort::Session& session, const Ort::Value& input,
               Ort::Value& output) {
  Ort::AllocatorWithDefaultOptions allocator;
  Ort::AllocatedStringPtr input_name =
      session.GetInputNameAllocated(0, allocator);
  Ort::AllocatedStringPtr output_name =
      session.GetOutputNameAllocated(0, allocator);
  const char* input_names[] = {input_name.get()};
  const char* output_names[] = {output_name.get()};
  session.Run(Ort::RunOptions{nullptr}, input_names, &input, 1, output_names,
              &output, 1);
}

Ort::Env MakeEnv() {
  EnsureOrtApi();
  return Ort::Env(ORT_LOGGING_LEVEL_WARNING, "");
}

Ort::MemoryInfo MakeCpuMemoryInfo() {
  EnsureOrtApi();
  return Ort::MemoryInfo::CreateCpu(OrtDeviceAllocator, OrtMemTypeCPU);
}

std::vector<int64_t> TensorShape(const Ort::Value& value) {
  return value.GetTensorTypeAndShapeInfo().GetShape();
}

}  // namespace tolvaren
