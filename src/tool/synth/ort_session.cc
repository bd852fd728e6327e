#include "tool/synth/ort_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string_view>

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

Ort::Env MakeEnv() {
  RequireOrtApi();
  // Runtimes from 1.29 keep a usage database and a device id under
  // ~/.cache/Microsoft and try to upload usage events: an offline speech
  // tool must neither write outside its own folders on every start nor
  // talk to a network. The variable is read when the environment is made;
  // a value the user set stays.
  setenv("ORT_DISABLE_TELEMETRY", "1", 0);
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

// A cache entry is the runtime's serialised graph followed by this trailer:
// the checksum of the bytes before it and a tag. A torn or altered entry
// fails the check and is made again rather than loaded.
constexpr char kEntryTag[8] = {'T', 'V', 'R', 'N', 'O', 'R', 'T', '1'};
constexpr std::size_t kTrailerSize = 16;

bool EntryIsWhole(const MappedFile& entry) {
  if (entry.size() <= kTrailerSize) return false;
  const std::size_t body = entry.size() - kTrailerSize;
  uint64_t stored = 0;
  std::memcpy(&stored, entry.data() + body, sizeof(stored));
  return std::memcmp(entry.data() + body + 8, kEntryTag, 8) == 0 &&
         stored == ContentChecksum(entry.data(), body);
}

// Appends the trailer to the runtime's file at `path`.
bool SealEntry(const std::string& path) {
  absl::StatusOr<MappedFile> written = MappedFile::Open(path);
  if (!written.ok()) return false;
  const uint64_t checksum = ContentChecksum(written->data(), written->size());
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(reinterpret_cast<const char*>(&checksum), sizeof(checksum));
  out.write(kEntryTag, sizeof(kEntryTag));
  out.close();
  return static_cast<bool>(out);
}

bool MakeFolders(const std::string& folder) {
  for (std::size_t at = 1; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != '/') continue;
    const std::string prefix = folder.substr(0, at);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info {};
  return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

OrtSession& OrtSession::operator=(OrtSession&& other) noexcept {
  session_ = std::move(other.session_);
  mapping_ = std::move(other.mapping_);
  input_names_ = std::move(other.input_names_);
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
  if (!threads.model_cache_folder.empty()) {
    std::optional<OrtSession> cached =
        LoadThroughCache(env, model_path, threads);
    if (cached.has_value()) return std::move(*cached);
  }
  try {
    OrtSession loaded(
        Ort::Session(env, model_path.c_str(), ThreadOptions(threads)));
    loaded.ReadNames();
    return loaded;
  } catch (const Ort::Exception& e) {
    return RuntimeError(e);
  }
}

std::optional<OrtSession> OrtSession::LoadThroughCache(
    const Ort::Env& env, const std::string& model_path,
    const SessionThreads& threads) {
  // Any model the cache cannot serve is left to the plain load, which
  // reports its faults as it always has.
  // Serving the cached copy needs the model's checksum alone: the model's
  // mapping goes before any session is built, so that its pages are not
  // held beside the copy's.
  uint64_t checksum = 0;
  {
    absl::StatusOr<MappedFile> model = MappedFile::Open(model_path);
    if (!model.ok()) return std::nullopt;
    checksum = ContentChecksum(model->data(), model->size());
  }
  const std::string& folder = threads.model_cache_folder;
  const std::string entry =
      folder + "/" +
      CacheEntryName(model_path, checksum, OrtRuntimeVersion(),
                     ProcessorChecksum());

  if (absl::StatusOr<MappedFile> copy = MappedFile::Open(entry); copy.ok()) {
    if (EntryIsWhole(*copy)) {
      try {
        Ort::SessionOptions options = ThreadOptions(threads);
        options.SetGraphOptimizationLevel(ORT_DISABLE_ALL);
        options.AddConfigEntry("session.use_ort_model_bytes_directly", "1");
        options.AddConfigEntry("session.use_ort_model_bytes_for_initializers",
                               "1");
        Ort::Session session(env, copy->data(), copy->size() - kTrailerSize,
                             options);
        // Building the session read the whole copy and packed the large
        // weights into buffers of its own; its runs read only the rest,
        // which comes back from the file when first read.
        copy->DropResidentPages();
        OrtSession loaded(std::move(session));
        loaded.mapping_ = std::move(*copy);
        loaded.ReadNames();
        LOG_INFO("Info: {} runs from its pre-optimised copy {}", model_path,
                 entry);
        return loaded;
      } catch (const Ort::Exception& e) {
        LOG_INFO(
            "Warning: the pre-optimised copy {} cannot be used ({}); it is "
            "made "
            "again",
            entry, e.what());
      }
    } else {
      LOG_INFO(
          "Warning: the pre-optimised copy {} is damaged; it is made again",
          entry);
    }
  }

  // The optimised copy is made from bytes that must be the ones named by
  // the entry: a model replaced since its checksum was taken is loaded as
  // it is, never cached under the old name.
  absl::StatusOr<MappedFile> model = MappedFile::Open(model_path);
  if (!model.ok() ||
      ContentChecksum(model->data(), model->size()) != checksum) {
    return std::nullopt;
  }
  if (!MakeFolders(folder)) {
    LOG_INFO("Warning: cannot create the model cache folder {}: {}", folder,
             std::strerror(errno));
    return std::nullopt;
  }
  // The runtime writes the optimised graph while it builds the session; it
  // becomes the entry only once whole and sealed, by a rename.
  std::string temporary = entry + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    LOG_INFO("Warning: cannot write into the model cache folder {}: {}", folder,
             std::strerror(errno));
    return std::nullopt;
  }
  close(fd);
  try {
    Ort::SessionOptions options = ThreadOptions(threads);
    options.SetOptimizedModelFilePath(temporary.c_str());
    options.AddConfigEntry("session.save_model_format", "ORT");
    // The runtime warns that a graph tuned for this processor is being
    // saved; the entry's name carries the processor, so that is expected.
    options.SetLogSeverityLevel(ORT_LOGGING_LEVEL_ERROR);
    OrtSession loaded(Ort::Session(env, model->data(), model->size(), options));
    loaded.ReadNames();
    if (SealEntry(temporary) && rename(temporary.c_str(), entry.c_str()) == 0) {
      LOG_INFO("Info: saved the pre-optimised copy of {} as {}", model_path,
               entry);
    } else {
      LOG_INFO("Warning: cannot save the pre-optimised copy {}: {}", entry,
               std::strerror(errno));
      unlink(temporary.c_str());
    }
    return loaded;
  } catch (const Ort::Exception&) {
    unlink(temporary.c_str());
    return std::nullopt;
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
