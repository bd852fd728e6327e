// Speaks texts one by one into the outputs tolvaren_say's options name, and
// keeps the count of what failed.

#ifndef TOLVAREN_TTS_SAY_SPEAKER_H_
#define TOLVAREN_TTS_SAY_SPEAKER_H_

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "say/audio_output.h"
#include "say/say_options.h"
#include "say/timings_output.h"
#include "tolvaren_tts/synthesizer.h"
#include "tolvaren_tts/timings.h"
#include "tool/io/resampler.h"

namespace tolvaren_say {

// Writes "tolvaren_say: MESSAGE" on standard error, control characters
// escaped (messages quote texts, file and voice names).
void Report(const std::string& message);

class Speaker {
 public:
  Speaker(const SayOptions& options, tolvaren_tts::Synthesizer& synthesizer,
          std::unique_ptr<tolvaren::Resampler> resampler);

  // Opens the timings file, makes the folder of --output-dir or opens the
  // one output of -o, having removed what killed runs left in that folder:
  // all before anything is spoken. False when that fails (reported).
  bool Begin();

  // The digits of --output-dir's names: at least 4, more for a file of
  // more lines, so that all names of a run have one width and sort in line
  // order.
  void SetLineCount(long lines);

  // Speaks the text of line `line`. False only when an output that the
  // whole run shares failed, which ends the run; a text that cannot be
  // spoken, or one file of --output-dir that cannot be written, is
  // reported and counted.
  bool Speak(const std::string& text, long line);

  // A line that could not even be read (too long), reported and counted.
  void LineFailed(long line, const std::string& message);
  // The input failed as a whole (a read error), reported and counted: an
  // existing -o file then stays as it was.
  void InputFailed(const std::string& message);

  // Completes the output of -o, which replaces an existing file only when
  // every text was spoken. False when that fails (reported).
  bool End();

  bool any_failed() const { return any_failed_; }
  // Standard output's reader went away (a pipe into `head`): the run ends
  // quietly, as a filter's does.
  bool reader_gone() const { return reader_gone_; }

 private:
  enum class PhonemeResult { kWritten, kTextFailed, kLost };
  PhonemeResult Phonemes(const std::string& text, long line);
  // Speaks `text` into `output`: false when the output failed, `text_ok`
  // false when the text did (each reported).
  bool SpeakInto(AudioOutput& output, const std::string& text, long line,
                 const std::string& file, bool& text_ok);
  // Writes to `output`, adding the samples written to `written`.
  bool Put(AudioOutput& output, const float* samples, std::size_t count,
           bool last, std::string& error, std::size_t& written);
  // End's work for the audio output.
  bool EndAudio();
  void TextFailed(long line, const std::string& message);
  void OutputFailed(const std::string& error);

  const SayOptions& options_;
  tolvaren_tts::Synthesizer& synthesizer_;
  std::unique_ptr<tolvaren::Resampler> resampler_;
  StreamFormat format_;
  tolvaren_tts::SynthesisOptions synthesis_;
  std::unique_ptr<AudioOutput> shared_;
  // Where the next text's audio begins in the shared output.
  std::size_t shared_offset_ = 0;
  std::unique_ptr<TimingsOutput> timings_;
  std::vector<tolvaren_tts::WordTiming> entries_;
  std::vector<float> resampled_;
  int name_digits_ = 4;
  bool any_failed_ = false;
  bool reader_gone_ = false;
  bool timings_ok_ = true;
};

}  // namespace tolvaren_say

#endif  // TOLVAREN_TTS_SAY_SPEAKER_H_
