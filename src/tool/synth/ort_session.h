// Access to ONNX Runtime through its C++ wrapper, pinned to API version 15 so
// that every runtime from the 1.15 series on works. Only functions present in
// that version may be called (for example GetTensorMutableData, never the
// const GetTensorData of newer wrappers; session metadata through
// SessionGetModelMetadata and ModelMetadataLookupCustomMetadataMap).
//
// The wrapper reports failures as Ort::Exception; everything here turns them
// into absl::Status at once, so the rest of the tool has one way to fail.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_ORT_SESSION_H_
#define TOLVAREN_TTS_TOOL_SYNTH_ORT_SESSION_H_

#include <onnxruntime_cxx_api.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "absl/status/statusor.h"
#include "tool/synth/model_cache.h"
#include "tool/synth/model_file.h"

namespace tolvaren {

inline constexpr uint32_t kOrtApiVersion = 15;

// Installs the version-15 function table for the wrapper classes (once).
// FailedPrecondition when the loaded runtime is older than that.
[[nodiscard]] absl::Status EnsureOrtApi();

// The runtime's own version string, e.g. "1.29.0".
std::string OrtRuntimeVersion();

// An error the runtime raised (a model it cannot load, an input it rejects)
// as a status: code Internal, the runtime's message. Every Internal status
// of the synthesis layer comes from here.
absl::Status RuntimeError(const Ort::Exception& e);
inline bool IsRuntimeError(const absl::Status& status) {
  return status.code() == absl::StatusCode::kInternal;
}

// Builders that install the API table first, for use in member initialisers
// (members are built before any constructor body runs). They throw
// std::runtime_error when the runtime cannot serve API version 15. The
// environment's own warnings and errors go to the tool's log. Making the
// environment probes the machine's processors and devices, so the
// predictors make theirs when their model is loaded.
Ort::Env MakeEnv();
Ort::MemoryInfo MakeCpuMemoryInfo();

// Sets the process environment variables the runtime reads when an
// environment is made (MakeEnv does too). A program that makes it on a
// second thread calls this first, so that no variable is written while
// another thread may read the environment.
void SetRuntimeVariables();

// How a session runs its work. The counts are the runtime's own: intra-op
// threads share one operator's work, inter-op threads run independent
// operators (only under parallel execution, so sequential models never use
// them). `allow_spinning` unset leaves the runtime's default (idle workers
// spin); false makes them sleep, which on a machine with few cores keeps
// waiting threads from taking the cores the working ones need.
//
// `model_cache_folder`, when not empty, is where pre-optimised copies of the
// models live (see model_cache.h, cache_folder.h); a cache that cannot be
// used or written never fails a load, the model is then loaded as it is.
struct SessionThreads {
  int32_t intra_op = 4;
  int32_t inter_op = 4;
  std::optional<bool> allow_spinning;
  std::string model_cache_folder{};
};

// One loaded model: its session and the names of all its inputs and
// outputs, in the model's order.
class OrtSession {
 public:
  // Creates the session with the given threads; nothing else is set, apart
  // from the cache's own settings when a cache folder is given. The model
  // file is opened and checked first (model_file.h): a FIFO or device at
  // its path is refused without blocking. No session depends on its file
  // after its load.
  [[nodiscard]] static absl::StatusOr<OrtSession> Load(
      const Ort::Env& env, const std::string& model_path,
      const SessionThreads& threads);

  OrtSession(OrtSession&&) = default;
  // The old session goes before the bytes it may run from.
  OrtSession& operator=(OrtSession&& other) noexcept;

  const std::vector<std::string>& input_names() const { return input_names_; }
  const std::vector<std::string>& output_names() const { return output_names_; }
  // Inputs a caller may leave out: graph inputs that carry a default value
  // (an initializer of the same name), such as a speaking rate.
  const std::vector<std::string>& optional_input_names() const {
    return optional_input_names_;
  }
  // Whether `name` is one of the model's optional inputs.
  bool HasOptionalInput(const std::string& name) const;
  // Whether `name` is one of the model's inputs, required or optional.
  bool HasInput(const std::string& name) const;
  // The position of output `name`; nullopt when the model has none such.
  std::optional<std::size_t> OutputIndex(const std::string& name) const;

  // One run: `inputs` holds one value per required model input, in the
  // model's order (models are addressed by position, whatever they call
  // their tensors), followed by one value per name in `optional_names`,
  // which must be optional inputs of the model. Every output comes back, in
  // the model's order, allocated by the runtime.
  [[nodiscard]] absl::StatusOr<std::vector<Ort::Value>> Run(
      const std::vector<Ort::Value>& inputs,
      const std::vector<std::string>& optional_names = {});
  // Seconds spent inside the runtime's Run so far, for benchmarks.
  double run_seconds() const { return run_seconds_; }

  // Whether this session was loaded from the cache's pre-optimised copy.
  bool from_cache() const { return entry_bytes_ != nullptr; }

  // The model file's custom metadata value for `key`; nullopt when absent.
  [[nodiscard]] absl::StatusOr<std::optional<std::string>> CustomMetadata(
      const std::string& key) const;

 private:
  explicit OrtSession(Ort::Session session) : session_(std::move(session)) {}
  void ReadNames();
  // The load of `model` through the model cache; nullopt when the cache
  // cannot serve this model (the caller then loads it as it is).
  static std::optional<absl::StatusOr<OrtSession>> LoadThroughCache(
      const Ort::Env& env, const ModelFile& model,
      const SessionThreads& threads);
  // The session of `model` built with `options`, failures named by its path.
  static absl::StatusOr<OrtSession> LoadAsItIs(
      const Ort::Env& env, const ModelFile& model,
      const Ort::SessionOptions& options);

  // The cached copy a session runs from has its weights used in place, so
  // its bytes (read into memory of this process, which nothing done to the
  // file can reach) are declared first: they must outlive the session.
  std::unique_ptr<char[]> entry_bytes_;
  Ort::Session session_;
  std::vector<std::string> input_names_;
  std::vector<std::string> optional_input_names_;
  std::vector<std::string> output_names_;
  double run_seconds_ = 0.0;
};

// `loadModel` of both predictors: the session of `model_path`, between the
// records "Try to load model from ..." and "Finish loading model ..." (the
// second only when it loaded).
[[nodiscard]] absl::StatusOr<OrtSession> LoadModelSession(
    const Ort::Env& env, const std::string& model_path,
    const SessionThreads& threads);

// Shape of a tensor.
std::vector<int64_t> TensorShape(const Ort::Value& value);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_ORT_SESSION_H_
