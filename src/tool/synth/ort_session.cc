#include "tool/synth/ort_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string_view>

#include "tool/logger.h"
#include "tool/synth/cache_entry.h"
#include "tool/synth/cache_folder.h"
#include "tool/synth/model_file.h"

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

// The runtime's records, in the tool's log rather than on the standard
// error stream the runtime would print them to.
void LogOrtRecord(void* /*param*/, OrtLoggingLevel severity,
                  const char* /*category*/, const char* /*logid*/,
                  const char* /*code_location*/, const char* message) {
  const std::string_view text = message == nullptr ? "" : message;
  // A model's optional inputs are graph inputs with a default value, which
  // the runtime notes at every load; that is what they are meant to be.
  if (text.find("appears in graph inputs and will not be treated as "
                "constant") != std::string_view::npos) {
    return;
  }
  if (severity >= ORT_LOGGING_LEVEL_ERROR) {
    LOG_ERROR("onnxruntime: {}", text);
  } else {
    LOG_INFO("Warning: onnxruntime: {}", text);
  }
}

}  // namespace

void SetRuntimeVariables() {
  // Runtimes from 1.29 keep a usage database and a device id under
  // ~/.cache/Microsoft and try to upload usage events: an offline speech
  // tool must neither write outside its own folders on every start nor
  // talk to a network. The variable is read when the environment is made;
  // a value the user set stays.
  setenv("ORT_DISABLE_TELEMETRY", "1", 0);
}

Ort::Env MakeEnv() {
  RequireOrtApi();
  SetRuntimeVariables();
  Ort::Env env(ORT_LOGGING_LEVEL_WARNING, "", LogOrtRecord, nullptr);
  env.DisableTelemetryEvents();
  return env;
}

Ort::MemoryInfo MakeCpuMemoryInfo() {
  RequireOrtApi();
  return Ort::MemoryInfo::CreateCpu(OrtDeviceAllocator, OrtMemTypeCPU);
}

namespace {

Ort::SessionOptions ThreadOptions(const SessionThreads& threads) {
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
  return options;
}

// A model that cannot be read or that the runtime refuses, named by its file.
absl::Status LoadFailed(const std::string& model_path,
                        const std::string& reason) {
  return absl::InternalError("Load model from " + model_path +
                             " failed: " + reason);
}

}  // namespace

OrtSession& OrtSession::operator=(OrtSession&& other) noexcept {
  session_ = std::move(other.session_);
  entry_bytes_ = std::move(other.entry_bytes_);
  input_names_ = std::move(other.input_names_);
  optional_input_names_ = std::move(other.optional_input_names_);
  output_names_ = std::move(other.output_names_);
  run_seconds_ = other.run_seconds_;
  return *this;
}

void OrtSession::ReadNames() {
  Ort::AllocatorWithDefaultOptions allocator;
  for (std::size_t i = 0; i < session_.GetInputCount(); ++i) {
    input_names_.emplace_back(
        session_.GetInputNameAllocated(i, allocator).get());
  }
  for (std::size_t i = 0; i < session_.GetOverridableInitializerCount(); ++i) {
    optional_input_names_.emplace_back(
        session_.GetOverridableInitializerNameAllocated(i, allocator).get());
  }
  for (std::size_t i = 0; i < session_.GetOutputCount(); ++i) {
    output_names_.emplace_back(
        session_.GetOutputNameAllocated(i, allocator).get());
  }
}

bool OrtSession::HasOptionalInput(const std::string& name) const {
  return std::find(optional_input_names_.begin(), optional_input_names_.end(),
                   name) != optional_input_names_.end();
}

bool OrtSession::HasInput(const std::string& name) const {
  return HasOptionalInput(name) ||
         std::find(input_names_.begin(), input_names_.end(), name) !=
             input_names_.end();
}

std::optional<std::size_t> OrtSession::OutputIndex(
    const std::string& name) const {
  const auto found =
      std::find(output_names_.begin(), output_names_.end(), name);
  if (found == output_names_.end()) return std::nullopt;
  return static_cast<std::size_t>(found - output_names_.begin());
}

absl::StatusOr<OrtSession> OrtSession::Load(const Ort::Env& env,
                                            const std::string& model_path,
                                            const SessionThreads& threads) {
  absl::StatusOr<ModelFile> model = ModelFile::Open(model_path);
  if (!model.ok()) {
    return LoadFailed(model_path, std::string(model.status().message()));
  }
  if (!threads.model_cache_folder.empty()) {
    std::optional<absl::StatusOr<OrtSession>> cached =
        LoadThroughCache(env, *model, threads);
    if (cached.has_value()) return std::move(*cached);
  }
  return LoadAsItIs(env, *model, ThreadOptions(threads));
}

absl::StatusOr<OrtSession> OrtSession::LoadAsItIs(
    const Ort::Env& env, const ModelFile& model,
    const Ort::SessionOptions& options) {
  try {
    // The runtime reads the model into objects of its own: the session
    // does not depend on the file once built.
    OrtSession loaded(Ort::Session(env, model.runtime_path().c_str(), options));
    loaded.ReadNames();
    return loaded;
  } catch (const Ort::Exception& e) {
    // The runtime names the file by the path it was given.
    std::string reason = e.what();
    const std::string given =
        "Load model from " + model.runtime_path() + " failed:";
    if (reason.rfind(given, 0) == 0) reason.erase(0, given.size());
    return LoadFailed(model.path(), reason);
  }
}

std::optional<absl::StatusOr<OrtSession>> OrtSession::LoadThroughCache(
    const Ort::Env& env, const ModelFile& model,
    const SessionThreads& threads) {
  // Any model the cache cannot serve is left to the plain load, which
  // reports its faults as it always has.
  std::optional<CacheFolder> folder =
      CacheFolder::Open(threads.model_cache_folder);
  if (!folder.has_value()) return std::nullopt;
  const absl::StatusOr<uint64_t> checksum = model.Checksum();
  if (!checksum.ok()) return std::nullopt;
  const std::string& model_path = model.path();
  const EntryFacts facts{*checksum, OrtRuntimeVersion()};
  const std::string name =
      CacheEntryName(model_path, facts.model_checksum, facts.runtime_version,
                     ProcessorChecksum());
  const std::string entry = folder->path() + "/" + name;

  absl::StatusOr<FileBytes> copy = folder->Read(name);
  if (copy.ok()) {
    absl::StatusOr<std::size_t> body =
        EntryBody(copy->data.get(), copy->size, facts);
    if (!body.ok()) {
      LOG_INFO(
          "Warning: the pre-optimised copy {} is not used: {}; it is "
          "made again",
          entry, std::string(body.status().message()));
    } else {
      try {
        Ort::SessionOptions options = ThreadOptions(threads);
        options.SetGraphOptimizationLevel(ORT_DISABLE_ALL);
        options.AddConfigEntry("session.use_ort_model_bytes_directly", "1");
        options.AddConfigEntry("session.use_ort_model_bytes_for_initializers",
                               "1");
        OrtSession loaded(Ort::Session(env, copy->data.get(), *body, options));
        loaded.entry_bytes_ = std::move(copy->data);
        loaded.ReadNames();
        folder->MarkUsed(name);
        LOG_INFO("Info: {} runs from its pre-optimised copy {}", model_path,
                 entry);
        return absl::StatusOr<OrtSession>(std::move(loaded));
      } catch (const Ort::Exception& e) {
        LOG_INFO(
            "Warning: the pre-optimised copy {} cannot be used ({}); it is "
            "removed, and made again at the next start",
            entry, e.what());
        folder->Remove(name);
        return std::nullopt;
      }
    }
  } else if (!absl::IsNotFound(copy.status())) {
    LOG_INFO(
        "Warning: the pre-optimised copy {} is not used: {}; it is made "
        "again",
        entry, std::string(copy.status().message()));
  }

  if (folder->SaveFailedRecently(name)) {
    LOG_INFO(
        "Info: the pre-optimised copy {} is not saved again within a day "
        "of its failed save",
        entry);
    return std::nullopt;
  }
  absl::StatusOr<PendingEntry> pending = folder->Begin(name);
  if (!pending.ok()) {
    LogCacheWarningOnce("save:" + folder->path(),
                        "cannot save pre-optimised copies: " +
                            std::string(pending.status().message()) +
                            "; the models are loaded without them");
    return std::nullopt;
  }
  Ort::SessionOptions options = ThreadOptions(threads);
  options.SetOptimizedModelFilePath(pending->writer_path().c_str());
  options.AddConfigEntry("session.save_model_format", "ORT");
  // The runtime warns that a graph tuned for this processor is being
  // saved; the entry's name carries the processor, so that is expected.
  options.SetLogSeverityLevel(ORT_LOGGING_LEVEL_ERROR);
  absl::Status saved = absl::OkStatus();
  absl::StatusOr<OrtSession> loaded = LoadAsItIs(env, model, options);
  if (!loaded.ok()) {
    // Saving may be what failed (a full disk): the model alone decides.
    saved = loaded.status();
    loaded = LoadAsItIs(env, model, ThreadOptions(threads));
    if (!loaded.ok()) return loaded;
  } else if (const absl::StatusOr<uint64_t> now = model.Checksum();
             !now.ok() || *now != facts.model_checksum) {
    // The runtime read other bytes than those the entry is named after.
    LOG_INFO("Info: {} changed while it was loaded; its copy is not saved",
             model_path);
    return loaded;
  } else {
    saved = folder->Commit(*pending, facts);
  }
  if (saved.ok()) {
    LOG_INFO("Info: saved the pre-optimised copy of {} as {}", model_path,
             entry);
  } else {
    const std::string reason(saved.message());
    LogCacheWarningOnce("save:" + folder->path(),
                        "cannot save the pre-optimised copy " + entry + ": " +
                            reason +
                            "; the models are loaded without it, and the save "
                            "is tried again in a day");
    folder->RememberFailedSave(name, reason);
  }
  return loaded;
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
    const std::vector<Ort::Value>& inputs,
    const std::vector<std::string>& optional_names) {
  if (inputs.size() != input_names_.size() + optional_names.size()) {
    return absl::FailedPreconditionError(
        "the model takes " + std::to_string(input_names_.size()) + " inputs, " +
        std::to_string(inputs.size() - optional_names.size()) + " were given");
  }
  std::vector<const char*> input_names;
  for (const std::string& name : input_names_) {
    input_names.push_back(name.c_str());
  }
  for (const std::string& name : optional_names) {
    if (!HasOptionalInput(name)) {
      return absl::FailedPreconditionError("the model has no optional input " +
                                           name);
    }
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
