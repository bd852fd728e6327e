// Which voice speaks: the configured models, or a voice folder beside them.
//
// A voice is a folder <models>/<voice>/ next to the configured acoustic
// model, holding fastspeech2.onnx and hifigan.onnx; the configuration's
// "voice" key (or a library caller) names it, so one line switches the
// voice while every other path stays as it is.

#ifndef TOLVAREN_TTS_TOOL_CONF_VOICE_CHOICE_H_
#define TOLVAREN_TTS_TOOL_CONF_VOICE_CHOICE_H_

#include "absl/status/status.h"
#include "tool/conf/tool_conf.h"

namespace tolvaren {

// Points conf's two model paths at the voice conf.voice names. Empty or
// "default" keeps the configured models. InvalidArgument for a name that
// could leave the models folder (a '/', "." or ".."), NotFound when the
// folder lacks either model file.
[[nodiscard]] absl::Status ChooseVoice(ToolConf& conf);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_CONF_VOICE_CHOICE_H_
