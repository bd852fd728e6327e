// The library's streaming callback, timed: the seconds from the call of
// Synthesize to the first chunk, and to its return, for the text in FILE.
// The engine is loaded before the clock starts.
//
//   first_audio_callback CONF FILE
//
// Prints "first_audio_s whole_s samples". Built by
// first_audio_benchmark.sh against each build's library (it uses the
// public header alone).

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "tolvaren_tts/synthesizer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: first_audio_callback CONF FILE\n");
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  tolvaren_tts::SynthesizerConfig config;
  config.conf_path = argv[1];
  std::unique_ptr<tolvaren_tts::Synthesizer> tts;
  tolvaren_tts::Status status = tolvaren_tts::Synthesizer::Create(config, &tts);
  if (!status.ok()) {
    std::fprintf(stderr, "%s\n", status.message().c_str());
    return 1;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  double first = -1;
  std::size_t samples = 0;
  status = tts->Synthesize(text, {}, [&](const float*, std::size_t count) {
    if (first < 0) {
      first = std::chrono::duration<double>(Clock::now() - start).count();
    }
    samples += count;
    return true;
  });
  const double whole =
      std::chrono::duration<double>(Clock::now() - start).count();
  if (!status.ok()) {
    std::fprintf(stderr, "%s\n", status.message().c_str());
    return 1;
  }
  std::printf("%.3f %.3f %zu\n", first, whole, samples);
  return 0;
}
