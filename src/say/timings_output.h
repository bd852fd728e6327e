// tolvaren_say --timings: the word timings of every text, as JSON Lines, in
// the file named (written complete at the end, or not at all) or, for "-",
// on standard error as each text ends.

#ifndef TOLVAREN_TTS_SAY_TIMINGS_OUTPUT_H_
#define TOLVAREN_TTS_SAY_TIMINGS_OUTPUT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "tolvaren_tts/timings.h"

namespace tolvaren_say {

class TimingsOutput {
 public:
  // `path`: a file, or "-" for standard error; `sample_rate`: the output's.
  TimingsOutput(std::string path, int sample_rate);

  // One text's entries, at the voice's `voice_rate`, moved on by `offset`
  // output samples (where the text's audio begins in its output) and, when
  // the output is resampled, rescaled to the output's rate over its
  // `output_samples`.
  void Add(std::vector<tolvaren_tts::WordTiming> entries, int voice_rate,
           std::size_t offset, std::size_t output_samples);

  // Writes the file; false with `error` set when it cannot be written.
  bool Finish(std::string& error);

 private:
  std::string path_;
  int sample_rate_;
  std::string lines_;  // what the file will hold
};

}  // namespace tolvaren_say

#endif  // TOLVAREN_TTS_SAY_TIMINGS_OUTPUT_H_
