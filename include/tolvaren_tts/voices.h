// The voices a configuration offers, for a program that lets its user
// choose one (tolvaren_say --list-voices).
//
//   std::vector<tolvaren_tts::VoiceInfo> voices;
//   tolvaren_tts::Status status =
//       tolvaren_tts::ListVoices(tolvaren_tts::SynthesizerConfig(), &voices);

#ifndef TOLVAREN_TTS_VOICES_H_
#define TOLVAREN_TTS_VOICES_H_

#include <string>
#include <vector>

#include "tolvaren_tts/export.h"
#include "tolvaren_tts/status.h"
#include "tolvaren_tts/synthesizer.h"

namespace tolvaren_tts {

struct VoiceInfo {
  // What SynthesizerConfig::voice takes: "default" for the configured
  // models, else the name of a folder beside them.
  std::string name;
  int sample_rate = 0;  // samples per second
  // The licence line the models carry; empty when they carry none.
  std::string licence;
  // Whether SynthesisOptions::speed may be other than 1.
  bool supports_speed = false;
};

// The voices beside the configured models (config's conf_path / explicit
// paths as Create reads them; config.voice plays no part), "default"
// first, then the voice folders by name. Only what the model files
// declare is read, no model is loaded: it takes milliseconds. On failure
// `*voices` is left empty.
TOLVAREN_TTS_EXPORT Status ListVoices(const SynthesizerConfig& config,
                                      std::vector<VoiceInfo>* voices);

}  // namespace tolvaren_tts

#endif  // TOLVAREN_TTS_VOICES_H_
