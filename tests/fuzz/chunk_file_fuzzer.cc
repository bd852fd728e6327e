// libFuzzer target: arbitrary bytes as a chunk file given to
// tolvaren_tts_wav, taken through the same steps: ReadChunkFile, resampling
// when the rates differ, and the WAV writer. The first byte picks the
// options (16-bit PCM or float, the input and the output rate); the rest is
// the file. Besides crashes and sanitizer reports, samples that do not come
// back unchanged from a chunk file written with them are a fault.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "tool/io/chunk_file.h"
#include "tool/io/output_formats.h"
#include "tool/io/resampler.h"

namespace {

// Rates a user might pass with --input-rate and --rate, the extremes
// included; the first is the default of both.
constexpr int kRates[] = {24000, 16000, 22050, 8000, 44100, 48000, 1000, 96000};

void ExpectSameAfterRewrite(const std::vector<float>& samples) {
  const std::string path = tolvaren::fuzz::Scratch().path() + "/again.chunks";
  if (!tolvaren::WriteChunkFile(path, {samples}).ok()) std::abort();
  const auto again = tolvaren::ReadChunkFile(path);
  // Compared as bytes: NaN samples must survive too.
  if (!again.ok() || again->size() != samples.size() ||
      (!samples.empty() && std::memcmp(again->data(), samples.data(),
                                       samples.size() * sizeof(float)) != 0)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tolvaren::fuzz::SilenceToolLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const uint8_t options = data[0];
  const bool pcm16 = (options & 1) != 0;
  const int input_rate = kRates[(options >> 1) & 7];
  const int rate = kRates[(options >> 4) & 7];
  const tolvaren::fuzz::ScratchFolder& scratch = tolvaren::fuzz::Scratch();
  const std::string input = scratch.Write("input.chunks", data + 1, size - 1);

  absl::StatusOr<std::vector<float>> samples = tolvaren::ReadChunkFile(input);
  if (!samples.ok()) return 0;
  if ((options & 0x80) != 0) ExpectSameAfterRewrite(*samples);
  if (rate != input_rate) {
    samples = tolvaren::Resample(*samples, input_rate, rate);
    if (!samples.ok()) return 0;
  }
  const tolvaren::OutputFormat* format =
      tolvaren::FindOutputFormat(pcm16 ? "wav_pcm16" : "wav_float32");
  static_cast<void>(
      format->write(scratch.path() + "/output.wav", {*samples}, rate));
  return 0;
}
