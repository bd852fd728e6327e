// libFuzzer target: arbitrary bytes as tolvaren_say's command line, split
// into arguments at NUL bytes, read by ParseSayOptions. Any crash or
// sanitizer report is a fault, and so is an accepted command line that
// breaks what the parser promises the rest of the program.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "say/say_options.h"

namespace {

void Require(bool holds) {
  if (!holds) std::abort();
}

// What an accepted command line guarantees to the code that runs it.
void CheckAccepted(const tolvaren_say::SayOptions& options) {
  // These print and end before any option below is used.
  if (options.help || options.version || options.list_voices) return;
  Require(options.speed >= 0.25 && options.speed <= 4.0);
  Require(options.threads >= 0 && options.threads <= 1024);
  Require(options.silence >= 0 && options.silence <= 60);
  Require(options.rate == 0 ||
          (options.rate >= 1000 && options.rate <= 768000));
  Require(options.output.empty() || options.output_dir.empty());
  // Without a file the speech is played, unless only the phonemes are
  // asked for; a device is only for playing.
  const bool to_files = !options.output.empty() || !options.output_dir.empty();
  Require(options.play ==
          (!to_files && (!options.phonemes || !options.device.empty() ||
                         !options.timings.empty())));
  Require(options.device.empty() || options.play);
  Require(!options.raw || !options.output.empty());
  Require(options.source != tolvaren_say::TextSource::kArguments ||
          options.file.empty() || options.file == "-");
  Require(options.source != tolvaren_say::TextSource::kFile ||
          (!options.file.empty() && options.file != "-"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::vector<std::string> words(1, "tolvaren_say");
  std::string word;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  words.push_back(word);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);

  tolvaren_say::SayOptions options;
  std::string error;
  if (tolvaren_say::ParseSayOptions(static_cast<int>(words.size()), argv.data(),
                                    options, error)) {
    CheckAccepted(options);
  } else {
    Require(!error.empty());
  }
  std::ostringstream usage;
  tolvaren_say::PrintSayUsage(usage);
  return 0;
}
