#include "tool/conf/voice_choice.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace tolvaren {
namespace {

namespace fs = std::filesystem;

bool HoldsVoice(const fs::path& dir) {
  std::error_code error;
  return fs::is_regular_file(dir / "fastspeech2.onnx", error) &&
         fs::is_regular_file(dir / "hifigan.onnx", error);
}

// "default" and the voice folders in `models`, sorted, comma-separated.
std::string VoiceNames(const fs::path& models) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator entry(models, error), end; !error && entry != end;
       entry.increment(error)) {
    if (entry->is_directory(error) && HoldsVoice(entry->path())) {
      names.push_back(entry->path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  std::string joined = "default";
  for (const std::string& name : names) joined += ", " + name;
  return joined;
}

}  // namespace

absl::Status ChooseVoice(ToolConf& conf) {
  const std::string& voice = conf.voice;
  if (voice.empty() || voice == "default") return absl::OkStatus();
  if (voice.find('/') != std::string::npos || voice == "." || voice == "..") {
    return absl::InvalidArgumentError(
        "a voice is named by its folder, without '/': " + voice);
  }
  const fs::path models = fs::path(conf.fastspeech2_model_path).parent_path();
  const fs::path dir = models / voice;
  if (!HoldsVoice(dir)) {
    return absl::NotFoundError("no voice \"" + voice + "\": " + dir.string() +
                               " holds no fastspeech2.onnx and hifigan.onnx; "
                               "the voices are " +
                               VoiceNames(models));
  }
  conf.fastspeech2_model_path = (dir / "fastspeech2.onnx").string();
  conf.hifigan_model_path = (dir / "hifigan.onnx").string();
  return absl::OkStatus();
}

}  // namespace tolvaren
