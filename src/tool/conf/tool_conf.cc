#include "tool/conf/tool_conf.h"

#include <cstdlib>
#include <vector>

#include "common/key_value_file.h"
#include "tool/logger.h"

#ifndef TOLVAREN_CONF_PATH
#define TOLVAREN_CONF_PATH \
  "/opt/ros/humble/share/tolvaren_tts/resources/conf/tool.conf"
#endif

namespace tolvaren {

absl::Status ToolConf::Validate() const {
  // The runtime takes any count from 1 on; 0 would mean "its own choice".
  const std::pair<const char*, int32_t> threads[] = {
      {"intra_op_num_threads", intra_op_num_threads},
      {"inter_op_num_threads", inter_op_num_threads}};
  for (const auto& [key, value] : threads) {
    if (value < 1) {
      return absl::InvalidArgumentError(std::string(key) + " is " +
                                        std::to_string(value) +
                                        ", at least 1 is needed");
    }
  }
  return absl::OkStatus();
}

bool ReadConfFile(const std::string& path, ToolConf& conf) {
  std::vector<KeyValueLine> lines;
  const absl::Status read = ReadKeyValueFile(path, lines);
  // Entries read before a failure are still logged, as they were read.
  for (const KeyValueLine& line : lines) {
    conf.entries[line.key] = line.value;
    LOG_INFO("Key: {}; Value: {}", line.key, line.value);
  }
  if (!read.ok()) {
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
