// A request's text to streamed samples: the text (plain, with inline
// pinyin, or a markup document) read into parts, the parts planned into the
// engine's segments, the segments spoken, and the words' timings built from
// what the acoustic model gave each piece. The library, tolvaren_say (through
// the library) and the ROS node speak this way; SpeechEngine runs it one
// call at a time.

#ifndef TOLVAREN_TTS_TOOL_SPEAK_H_
#define TOLVAREN_TTS_TOOL_SPEAK_H_

#include <string>
#include <vector>

#include "absl/status/status.h"
#include "tolvaren_tts/timings.h"
#include "tool/engine_parts.h"
#include "tool/synth/engine.h"

namespace tolvaren {

struct SpeakRequest {
  // A markup document rather than plain text with [[…]] pinyin.
  bool markup = false;
  // Speaking rate (0.25 to 4; anything but 1 needs a voice that takes it).
  double speed = 1.0;
  // Scales the samples (above 0, up to kMaxVolume).
  double volume = 1.0;
  // Seconds of silence after the text (0 to 60).
  double sentence_silence = 0.0;

  // InvalidArgument naming the option that is out of range;
  // `takes_speed`: whether the voice takes a speaking rate.
  [[nodiscard]] absl::Status Validate(bool takes_speed) const;
};

// Speaks `text` into `sink` as the samples are made. With `timings`, they
// receive the words' timings, tiling the audio (none, with a warning, when
// the voice gives no durations). An empty text gives no samples. The
// sink's failure stops the synthesis and is returned as it is.
[[nodiscard]] absl::Status Speak(
    EngineParts& parts, const std::string& text, const SpeakRequest& request,
    const SampleSink& sink, std::vector<tolvaren_tts::WordTiming>* timings);

// The pinyin of `text`'s words as they would be spoken, syllables
// separated by spaces, [[…]] as given.
[[nodiscard]] absl::Status SpokenPinyin(EngineParts& parts,
                                        const std::string& text, bool markup,
                                        std::string* pinyin);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SPEAK_H_
