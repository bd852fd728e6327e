#include "tool/tool_conf.h"

#include <cstdlib>
#include <fstream>

#include "tool/logger.h"

#ifndef TOLVAREN_CONF_PATH
#define TOLVAREN_CONF_PATH \
  "/opt/ros/humble/share/tolvaren_tts/resources/conf/tool.conf"
#endif

namespace tolvaren {
namespace {
constexpr char kLogSource[] = "./src/tool/tool";
}  // namespace

bool ReadConfFile(const std::string& path, ToolConf& conf) {
  std::ifstream file(path);
  if (!file.is_open()) {
    LOG_ERROR("Cannot open config file");
    return false;
  }
  std::string line;
  while (std::getline(file, line)) {
    if (line.size() < 2 || line.compare(0, 2, "--") != 0) continue;
    // A "--" line without "=" names no key; it is ignored.
    const std::size_t equals = line.find('=', 2);
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(2, equals - 2);
    const std::string value = line.substr(equals + 1);
    conf.entries[key] = value;
    LOG_INFO("Key: {}; Value: {}", key, value);
  }
  if (file.bad()) {
    // Opened but unreadable, such as a directory.
    LOG_ERROR("Cannot open config file");
    return false;
  }
  conf.wav_path = conf.entries["wav_path"];
  conf.text_path = conf.entries["text_path"];
  conf.fastspeech2_model_path = conf.entries["fastspeech2_model_path"];
  conf.hifigan_model_path = conf.entries["hifigan_model_path"];
  conf.front_conf_path = conf.entries["front_conf_path"];
  return true;
}

std::string ToolConfPath() {
  const char* overridden = std::getenv("TOLVAREN_TTS_CONF");
  if (overridden != nullptr && overridden[0] != '\0') return overridden;
  return TOLVAREN_CONF_PATH;
}

}  // namespace tolvaren
