// tolvaren_tts_wav: converts a chunk file written by tolvaren_tts into a
// standard WAV file.
//
//   tolvaren_tts_wav INPUT OUTPUT.wav [--rate HZ] [--input-rate HZ] [--pcm16]

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tool/io/chunk_file.h"
#include "tool/io/output_formats.h"
#include "tool/io/resampler.h"
#include "tool/synth/voice_config.h"

namespace {

// A chunk file records no rate: the shipped voice's is the default.
constexpr int kDefaultRate = tolvaren::kFallbackVoice.sample_rate;

void PrintUsage(std::ostream& out) {
  out << "Usage: tolvaren_tts_wav INPUT OUTPUT.wav [--rate HZ] "
         "[--input-rate HZ] [--pcm16]\n"
         "Converts a tolvaren_tts output file (chunked 32-bit float samples)\n"
         "to a mono WAV file: 32-bit float by default, 16-bit PCM with\n"
         "--pcm16 (samples beyond [-1, 1] are clipped).\n"
         "The input file records no rate: --input-rate gives the voice's\n"
         "(default 24000 Hz, the shipped voice's). --rate resamples to HZ;\n"
         "without it the WAV file has the input's rate.\n";
}

bool ParseRate(const std::string& text, int& rate) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || value < 1000 ||
      value > 768000) {
    return false;
  }
  rate = static_cast<int>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  int input_rate = kDefaultRate;
  int rate = 0;
  bool pcm16 = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(std::cout);
      return 0;
    } else if (arg == "--pcm16") {
      pcm16 = true;
    } else if (arg == "--rate") {
      if (i + 1 >= argc || !ParseRate(argv[i + 1], rate)) {
        std::cerr << "tolvaren_tts_wav: --rate needs a rate in Hz "
                     "(1000 to 768000)\n";
        return 1;
      }
      ++i;
    } else if (arg == "--input-rate") {
      if (i + 1 >= argc || !ParseRate(argv[i + 1], input_rate)) {
        std::cerr << "tolvaren_tts_wav: --input-rate needs a rate in Hz "
                     "(1000 to 768000)\n";
        return 1;
      }
      ++i;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) {
    PrintUsage(std::cerr);
    return 1;
  }

  absl::StatusOr<std::vector<float>> samples =
      tolvaren::ReadChunkFile(positional[0]);
  if (!samples.ok()) {
    std::cerr << "tolvaren_tts_wav: " << samples.status().message() << "\n";
    return 1;
  }
  // Another rate means other samples, never the same ones relabelled.
  if (rate == 0) rate = input_rate;
  if (rate != input_rate) {
    samples = tolvaren::Resample(*samples, input_rate, rate);
    if (!samples.ok()) {
      std::cerr << "tolvaren_tts_wav: " << samples.status().message() << "\n";
      return 1;
    }
  }
  const tolvaren::OutputFormat* format =
      tolvaren::FindOutputFormat(pcm16 ? "wav_pcm16" : "wav_float32");
  const absl::Status written = format->write(positional[1], {*samples}, rate);
  if (!written.ok()) {
    std::cerr << "tolvaren_tts_wav: " << written.message() << "\n";
    return 1;
  }
  return 0;
}
