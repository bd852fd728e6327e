// tolvaren_say's command line: every option checked, nothing guessed.

#ifndef TOLVAREN_TTS_SAY_SAY_OPTIONS_H_
#define TOLVAREN_TTS_SAY_SAY_OPTIONS_H_

#include <ostream>
#include <string>

namespace tolvaren_say {

enum class TextSource { kArguments, kFile, kStandardInput };

struct SayOptions {
  TextSource source = TextSource::kStandardInput;
  std::string text;        // the arguments, joined by blanks
  std::string file;        // -f
  std::string output;      // -o: a file, or "-" for standard output
  std::string output_dir;  // --output-dir
  std::string device;      // --device: a sound server's output
  bool play = false;       // no -o and no --output-dir: the speakers
  bool raw = false;        // headerless samples
  bool float_samples = false;
  int rate = 0;  // 0: the voice's own
  std::string voice;
  double speed = 1.0;
  double silence = 0.0;
  double volume = 1.0;  // before the peak limiter
  bool phonemes = false;
  std::string timings;  // --timings: a JSON Lines file, or "-" (stderr)
  bool ssml = false;    // each text is a markup document; a -f file is one
  std::string conf_path;
  int threads = 0;  // 0: the library's choice (one per core)
  bool verbose = false;
  bool help = false;
  bool version = false;
  bool list_voices = false;

  bool to_standard_output() const { return output == "-"; }
};

// Reads argv. False, with the reason in `error`, for an unknown option, a
// missing or malformed value, or options that contradict each other.
bool ParseSayOptions(int argc, const char* const* argv, SayOptions& options,
                     std::string& error);

// The options and their ranges; --help adds the voices found.
void PrintSayUsage(std::ostream& out);

}  // namespace tolvaren_say

#endif  // TOLVAREN_TTS_SAY_SAY_OPTIONS_H_
