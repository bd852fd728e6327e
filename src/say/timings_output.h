// tolvaren_say --timings: the word timings of every text, as JSON Lines, in
// the file named (opened before anything is spoken, written as each text
// ends, put in place complete at the end or not at all) or, for "-", on
// standard error as each text ends.

#ifndef TOLVAREN_TTS_SAY_TIMINGS_OUTPUT_H_
#define TOLVAREN_TTS_SAY_TIMINGS_OUTPUT_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "say/replacement_file.h"
#include "tolvaren_tts/timings.h"

namespace tolvaren_say {

class TimingsOutput {
 public:
  // `path`: a file, or "-" for standard error; `sample_rate`: the output's.
  // Writes the header line. Null, with the reason in `error`, when the file
  // cannot be created or written.
  static std::unique_ptr<TimingsOutput> Open(const std::string& path,
                                             int sample_rate,
                                             std::string& error);

  // One text's entries, at the voice's `voice_rate`, moved on by `offset`
  // output samples (where the text's audio begins in its output) and, when
  // the output is resampled, rescaled to the output's rate over its
  // `output_samples`. `file`, when not empty, is named in every entry
  // (each WAV of --output-dir). False, with `error` set, when the entries
  // cannot be written.
  bool Add(std::vector<tolvaren_tts::WordTiming> entries, int voice_rate,
           std::size_t offset, std::size_t output_samples,
           const std::string& file, std::string& error);

  // Puts the file in place; false with `error` set when that fails.
  bool Finish(std::string& error);

 private:
  TimingsOutput(std::unique_ptr<ReplacementFile> file, int sample_rate)
      : file_(std::move(file)), sample_rate_(sample_rate) {}
  bool Write(const std::string& lines, std::string& error);

  std::unique_ptr<ReplacementFile> file_;  // null: standard error
  int sample_rate_;
};

}  // namespace tolvaren_say

#endif  // TOLVAREN_TTS_SAY_TIMINGS_OUTPUT_H_
