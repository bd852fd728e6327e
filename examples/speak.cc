// speak: the smallest program on libtolvaren_tts. Speaks its argument,
// streaming, and says how much audio came out and how soon the first chunk
// was there.
//
//   speak TEXT

#include <chrono>
#include <cstdio>
#include <memory>

#include "tolvaren_tts/synthesizer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: speak TEXT\n");
    return 2;
  }
  std::unique_ptr<tolvaren_tts::Synthesizer> tts;
  tolvaren_tts::Status status = tolvaren_tts::Synthesizer::Create(
      tolvaren_tts::SynthesizerConfig(), &tts);
  if (!status.ok()) {
    std::fprintf(stderr, "speak: %s\n", status.message().c_str());
    return 1;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  double first_chunk_seconds = -1;
  std::size_t samples = 0;
  status = tts->Synthesize(
      argv[1], tolvaren_tts::SynthesisOptions(),
      [&](const float*, std::size_t count) {
        if (first_chunk_seconds < 0) {
          first_chunk_seconds =
              std::chrono::duration<double>(Clock::now() - start).count();
        }
        samples += count;
        return true;
      });
  if (!status.ok()) {
    std::fprintf(stderr, "speak: %s\n", status.message().c_str());
    return 1;
  }
  std::printf(
      "%zu samples at %d Hz (%.2f s of audio), first chunk after %.3f s\n",
      samples, tts->sample_rate(),
      static_cast<double>(samples) / tts->sample_rate(), first_chunk_seconds);
  return 0;
}
