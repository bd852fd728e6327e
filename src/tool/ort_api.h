// Access to ONNX Runtime through its C++ wrapper, pinned to API version 15 so
// that every runtime from the 1.15 series on works. Only functions present in
// that version may be called (for example GetTensorMutableData, never the
// const GetTensorData of newer wrappers).

#ifndef TOLVAREN_TTS_TOOL_ORT_API_H_
#define TOLVAREN_TTS_TOOL_ORT_API_H_

#include <onnxruntime_cxx_api.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tolvaren {

inline constexpr uint32_t kOrtApiVersion = 15;

// Installs the version-15 function table for the wrapper classes (once).
// Throws std::runtime_error when the loaded runtime is older than that.
void EnsureOrtApi();

// The runtime's own version string, e.g. "1.29.0".
std::string OrtRuntimeVersion();

// Creates a session for `model_path` with the given thread counts, logging
// as `loadModel` does under `log_source`.
Ort::Session LoadSession(const Ort::Env& env, const std::string& model_path,
                         int intra_op_num_threads, int inter_op_num_threads,
                         const char* log_source);

// One run with the model's first input and first output, whatever their
// names. `output` receives the runtime-allocated tensor.
void RunSingle(Ort::Session& session, const Ort::Value& input,
               Ort::Value& output);

// Builders that install the API table first, for use in member
// initialisers (members are built before any constructor body runs).
Ort::Env MakeEnv();
Ort::MemoryInfo MakeCpuMemoryInfo();

// Shape of a tensor.
std::vector<int64_t> TensorShape(const Ort::Value& value);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_ORT_API_H_
