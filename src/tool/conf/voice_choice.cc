#include "tool/conf/voice_choice.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace tolvaren {

absl::Status ChooseVoice(ToolConf& conf) {
  const std::string& voice = conf.voice;
  if (voice.empty() || voice == "default") return absl::OkStatus();
  if (voice.find('/') != std::string::npos || voice == "." || voice == "..") {
    return absl::InvalidArgumentError(
        "a voice is named by its folder, without '/': " + voice);
  }
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::path(conf.fastspeech2_model_path).parent_path() / voice;
  const fs::path acoustic = dir / "fastspeech2.onnx";
  const fs::path vocoder = dir / "hifigan.onnx";
  std::error_code error;
  if (!fs::is_regular_file(acoustic, error) ||
      !fs::is_regular_file(vocoder, error)) {
    return absl::NotFoundError("no voice \"" + voice + "\": " + dir.string() +
                               " holds no fastspeech2.onnx and hifigan.onnx");
  }
  conf.fastspeech2_model_path = acoustic.string();
  conf.hifigan_model_path = vocoder.string();
  return absl::OkStatus();
}

}  // namespace tolvaren
