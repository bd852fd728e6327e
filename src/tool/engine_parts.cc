#include "tool/engine_parts.h"

#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <utility>

#include "common/log_text.h"
#include "tool/conf/voice_choice.h"
#include "tool/logger.h"

namespace tolvaren {
namespace {

// Loads one model and applies what its metadata declares about the voice.
template <typename Predictor>
absl::Status LoadModel(Predictor& predictor, const std::string& model_path,
                       const SessionThreads& threads, VoiceConfig& voice) {
  absl::Status loaded = predictor.loadModel(model_path, threads);
  if (!loaded.ok()) return loaded;
  const OrtSession& session = *predictor.session();
  if (absl::Status checked = CheckModelDeclarations(session, model_path);
      !checked.ok()) {
    return checked;
  }
  if (const std::string about = DescribeModelVoice(session); !about.empty()) {
    LOG_INFO("Info: model {}: {}", model_path, about);
  }
  return ApplyVoiceMetadata(session, model_path, voice);
}

// Loads both models with the configured threads and cache, and applies
// their metadata to the voice.
absl::Status LoadModels(const ToolConf& conf, EngineParts& parts) {
  const SessionThreads threads{conf.ResolvedIntraOpThreads(),
                               conf.inter_op_num_threads, conf.allow_spinning,
                               ResolveModelCacheFolder(conf.model_cache_path)};
  LOG_INFO("Info: intra_op_num_threads is {}", threads.intra_op);
  LOG_INFO("Info: inter_op_num_threads is {}", threads.inter_op);
  // Only a configured choice is recorded: without the key the runtime's
  // default stands and the records stay as they were.
  if (threads.allow_spinning.has_value()) {
    LOG_INFO("Info: allow_spinning is {}", *threads.allow_spinning ? 1 : 0);
  }
  if (!threads.model_cache_folder.empty()) {
    LOG_INFO("Info: model_cache_path is {}", threads.model_cache_folder);
  }
  LOG_INFO("Info: fastspeech2_model_path is {}", conf.fastspeech2_model_path);
  LOG_INFO("Info: hifigan_model_path is {}", conf.hifigan_model_path);
  absl::Status loaded =
      LoadModel(parts.synth.acoustic(), conf.fastspeech2_model_path, threads,
                parts.voice);
  if (!loaded.ok()) return loaded;
  return LoadModel(parts.synth.vocoder(), conf.hifigan_model_path, threads,
                   parts.voice);
}

}  // namespace

absl::Status PrepareConf(ToolConf& conf, const std::string* conf_path) {
  if (absl::Status valid = conf.Validate(); !valid.ok()) {
    // The value is wrong in a file, which the message names.
    if (conf_path != nullptr) {
      valid = absl::InvalidArgumentError(*conf_path + ": " +
                                         std::string(valid.message()));
    }
    LOG_ERROR("{}", EscapeForLog(std::string(valid.message())));
    return valid;
  }
  LOG_INFO("Info: front_conf is {}", conf.front_conf_path);
  if (absl::Status chosen = ChooseVoice(conf); !chosen.ok()) {
    LOG_ERROR("{}", EscapeForLog(std::string(chosen.message())));
    return chosen;
  }
  return absl::OkStatus();
}

void StartEngineParts(const ToolConf& conf, speechnn::ReportSink front_reports,
                      EngineParts& parts) {
  // The models load on a second thread while this one builds the front
  // end's tables (its constructor does): neither needs the other, and
  // start-up takes the longer of the two instead of their sum. The models'
  // records are held and come after the front end's, as when the two ran
  // in turn; when the front end fails they are dropped, as if the models
  // had never been loaded.
  SetRuntimeVariables();
  // Where no thread can be made, the models load in turn, when they are
  // waited for.
  HeldRecords model_records;
  std::future<absl::Status> models =
      std::async(std::launch::async | std::launch::deferred,
                 [&conf, &parts, &model_records] {
                   const RecordHold hold(model_records);
                   return LoadModels(conf, parts);
                 });
  parts.front = std::make_unique<speechnn::FrontEngineInterface>(
      conf.front_conf_path, std::move(front_reports));
  if (parts.front->Init() != 0 || parts.front->CheckTables() != 0) {
    const std::string reason = parts.front->init_error();
    if (!reason.empty()) LOG_ERROR("{}", EscapeForLog(reason));
    LOG_ERROR("Creater tts engine failed!");
    parts.front.reset();
    throw StartupError(absl::FailedPreconditionError(
        "cannot create the text front end from " + conf.front_conf_path +
        (reason.empty() ? "" : ": " + reason)));
  }

  // Long texts are cut for the acoustic model at the pause's id.
  parts.pause_id = parts.front->phone_ids().Find("sp").value_or(-1);

  models.wait();
  model_records.Release();
  // A runtime error thrown while loading goes on from here.
  const absl::Status loaded = models.get();
  if (!loaded.ok()) {
    // A runtime error is logged by the entry point, after the predictors
    // are gone, as it always was.
    if (!IsRuntimeError(loaded)) LOG_ERROR("{}", std::string(loaded.message()));
    throw StartupError(loaded);
  }
  const VoiceConfig& voice = parts.voice;
  parts.synth.SetVoice(
      {voice.hop_samples, voice.sample_rate,
       voice.mel_bins_declared ? std::optional<int64_t>(voice.mel_bins)
                               : std::nullopt,
       parts.pause_id, conf.fastspeech2_model_path, conf.hifigan_model_path});
}

absl::Status LoadPhoneTable(EngineParts& parts) {
  if (parts.phone_table) return absl::OkStatus();
  if (parts.front == nullptr) {
    return absl::FailedPreconditionError("no text front end");
  }
  const std::string path =
      (std::filesystem::path(parts.front->word2phone_file()).parent_path() /
       "phones.tsv")
          .string();
  PhoneTable table;
  std::string error;
  if (!table.Load(path, error)) return absl::NotFoundError(error);
  parts.phone_table = std::move(table);
  return absl::OkStatus();
}

}  // namespace tolvaren
