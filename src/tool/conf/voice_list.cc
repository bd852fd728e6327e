#include "tool/conf/voice_list.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>
#include <utility>

#include "tool/conf/model_metadata.h"
#include "tool/synth/voice_config.h"

namespace tolvaren {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAcousticFile = "fastspeech2.onnx";
constexpr const char* kVocoderFile = "hifigan.onnx";

const std::string* Declared(const ModelMetadata& model,
                            const std::string& key) {
  const auto found = model.custom.find(key);
  return found == model.custom.end() ? nullptr : &found->second;
}

absl::StatusOr<VoiceFacts> ReadVoice(std::string name,
                                     const std::string& acoustic_path,
                                     const std::string& vocoder_path) {
  absl::StatusOr<ModelMetadata> acoustic = ReadModelMetadata(acoustic_path);
  if (!acoustic.ok()) return acoustic.status();
  absl::StatusOr<ModelMetadata> vocoder = ReadModelMetadata(vocoder_path);
  if (!vocoder.ok()) return vocoder.status();
  VoiceFacts voice;
  voice.name = std::move(name);
  voice.sample_rate = kFallbackVoice.sample_rate;
  const std::string* rate = Declared(*acoustic, "sample_rate");
  const std::string* rate_path = &acoustic_path;
  if (rate == nullptr) {
    rate = Declared(*vocoder, "sample_rate");
    rate_path = &vocoder_path;
  }
  if (rate != nullptr) {
    const char* end = rate->data() + rate->size();
    const auto [last, error] =
        std::from_chars(rate->data(), end, voice.sample_rate);
    if (error != std::errc() || last != end || voice.sample_rate <= 0) {
      return absl::InvalidArgumentError(*rate_path + ": sample_rate \"" +
                                        *rate + "\" is not a positive number");
    }
  }
  const std::string* licence = Declared(*acoustic, "license");
  if (licence == nullptr) licence = Declared(*vocoder, "license");
  if (licence != nullptr) voice.licence = *licence;
  voice.supports_speed =
      std::find(acoustic->inputs.begin(), acoustic->inputs.end(),
                "duration_scale") != acoustic->inputs.end();
  return voice;
}

// The folders beside the acoustic model that hold both model files.
std::vector<std::string> VoiceFolders(const fs::path& models) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(models, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code checked;
    const fs::path& dir = it->path();
    if (it->is_directory(checked) &&
        fs::is_regular_file(dir / kAcousticFile, checked) &&
        fs::is_regular_file(dir / kVocoderFile, checked)) {
      names.push_back(dir.filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

absl::StatusOr<std::vector<VoiceFacts>> ListVoices(const ToolConf& conf) {
  std::vector<VoiceFacts> voices;
  absl::StatusOr<VoiceFacts> configured = ReadVoice(
      "default", conf.fastspeech2_model_path, conf.hifigan_model_path);
  if (!configured.ok()) return configured.status();
  voices.push_back(*std::move(configured));
  fs::path models = fs::path(conf.fastspeech2_model_path).parent_path();
  if (models.empty()) models = ".";
  for (const std::string& name : VoiceFolders(models)) {
    absl::StatusOr<VoiceFacts> voice =
        ReadVoice(name, (models / name / kAcousticFile).string(),
                  (models / name / kVocoderFile).string());
    if (!voice.ok()) return voice.status();
    voices.push_back(*std::move(voice));
  }
  return voices;
}

}  // namespace tolvaren
