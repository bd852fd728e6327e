// The voices a configuration can speak with: its own models ("default")
// and every voice folder beside them (voice_choice.h), with what their
// model files declare, read without loading them (model_metadata.h).

#ifndef TOLVAREN_TTS_TOOL_CONF_VOICE_LIST_H_
#define TOLVAREN_TTS_TOOL_CONF_VOICE_LIST_H_

#include <cstdint>
#include <string>
#include <vector>

#include "absl/status/statusor.h"
#include "tool/conf/tool_conf.h"

namespace tolvaren {

struct VoiceFacts {
  std::string name;  // "default", or the folder's name
  // The models' "sample_rate"; the shipped voice's rate when neither
  // declares one (as a start-up takes it).
  int32_t sample_rate = 0;
  // The acoustic model's "license" (else the vocoder's); empty when
  // neither says.
  std::string licence;
  // Whether the acoustic model has a duration_scale input.
  bool supports_speed = false;
};

// "default" first, then the folders by name. A folder without both model
// files is no voice and is left out. NotFound when the configured models
// cannot be read, InvalidArgument naming the file for a model that is not
// well-formed or declares a sample rate that is not a positive number.
[[nodiscard]] absl::StatusOr<std::vector<VoiceFacts>> ListVoices(
    const ToolConf& conf);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_CONF_VOICE_LIST_H_
