// The voice contract between the two models and the rest of the tool: the
// audio rate, the samples per mel frame and the mel bins. The model files
// may declare it in their ONNX custom metadata (keys "sample_rate",
// "hop_samples", "mel_bins", decimal strings); a key no model declares
// keeps the shipped voice's value. Models may also say which voice they
// are, where its training audio came from, its licence, the phone ids they
// read and the optional inputs they take.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_VOICE_CONFIG_H_
#define TOLVAREN_TTS_TOOL_SYNTH_VOICE_CONFIG_H_

#include <cstdint>
#include <string>

#include "absl/status/status.h"

namespace tolvaren {

class OrtSession;

struct VoiceConfig {
  int32_t sample_rate = 24000;  // audio samples per second
  int32_t hop_samples = 300;    // audio samples per mel frame
  int32_t mel_bins = 80;        // values per mel frame
  // Which values a model declared. Only a declared mel_bins holds the
  // acoustic output to it: an undeclared voice takes its bin count from the
  // output's shape, as models without metadata always did.
  bool sample_rate_declared = false;
  bool hop_samples_declared = false;
  bool mel_bins_declared = false;
};

// The shipped voice, for models that declare nothing.
inline constexpr VoiceConfig kFallbackVoice{};

// The meaning of the front end's phone ids. A model declaring another
// "phone_set_version" was trained on other ids and would say nonsense.
inline constexpr int32_t kPhoneSetVersion = 1;

// Applies the keys `session` declares to `voice`. InvalidArgument naming
// `model_path`, the key and the value when a declared value is not a
// positive decimal integer, or contradicts what an earlier model declared.
[[nodiscard]] absl::Status ApplyVoiceMetadata(const OrtSession& session,
                                              const std::string& model_path,
                                              VoiceConfig& voice);

// Checks what a model declares about itself beyond the numbers:
// "phone_set_version" must be kPhoneSetVersion, every name in the
// comma-separated "optional_inputs" one of the model's inputs and every
// name in "optional_outputs" one of its outputs.
// InvalidArgument naming `model_path` and the key otherwise.
[[nodiscard]] absl::Status CheckModelDeclarations(
    const OrtSession& session, const std::string& model_path);

// What the model says of its voice ("voice", "teacher", "license"), as
// "key: value" parts joined by "; "; empty when it says nothing.
std::string DescribeModelVoice(const OrtSession& session);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_VOICE_CONFIG_H_
