// tolvaren_tts_wav: converts a chunk file written by tolvaren_tts into a
// standard WAV file.
//
//   tolvaren_tts_wav INPUT OUTPUT.wav [--rate HZ] [--pcm16]

#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tool/chunk_file.h"

namespace {

constexpr int kDefaultRate = 24000;  // the shipped voice's rate

void PrintUsage(std::ostream& out) {
  out << "Usage: tolvaren_tts_wav INPUT OUTPUT.wav [--rate HZ] [--pcm16]\n"
         "Converts a tolvaren_tts output file (chunked 32-bit float samples)\n"
         "to a mono WAV file: 32-bit float by default, 16-bit PCM with\n"
         "--pcm16 (samples beyond [-1, 1] are clipped). The default rate is\n"
         "24000 Hz, the shipped voice's rate.\n";
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
  int rate = kDefaultRate;
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
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) {
    PrintUsage(std::cerr);
    return 1;
  }

  std::vector<float> samples;
  std::string error;
  if (!tolvaren::ReadChunkFile(positional[0], samples, error)) {
    std::cerr << "tolvaren_tts_wav: " << error << "\n";
    return 1;
  }

  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | (pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
  SNDFILE* out = sf_open(positional[1].c_str(), SFM_WRITE, &info);
  if (out == nullptr) {
    std::cerr << "tolvaren_tts_wav: cannot create " << positional[1] << ": "
              << sf_strerror(nullptr) << "\n";
    return 1;
  }
  if (pcm16) {
    // Clip rather than wrap around when converting floats to integers.
    sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  }
  const sf_count_t written = sf_write_float(
      out, samples.data(), static_cast<sf_count_t>(samples.size()));
  const bool complete = written == static_cast<sf_count_t>(samples.size());
  const std::string write_error = complete ? "" : sf_strerror(out);
  if (sf_close(out) != 0 || !complete) {
    std::cerr << "tolvaren_tts_wav: cannot write " << positional[1] << ": "
              << write_error << "\n";
    std::remove(positional[1].c_str());
    return 1;
  }
  return 0;
}
