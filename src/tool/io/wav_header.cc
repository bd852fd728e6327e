#include "tool/io/wav_header.h"

#include <cstring>

#include "tool/io/pcm16.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "WAV samples are copied in the machine's byte order");

namespace tolvaren {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;

void Put(std::vector<unsigned char>& bytes, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) {
    bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
  }
}

void PutTag(std::vector<unsigned char>& bytes, const char (&tag)[5]) {
  bytes.insert(bytes.end(), tag, tag + 4);
}

}  // namespace

std::size_t BytesPerSample(WavSamples samples) {
  return samples == WavSamples::kPcm16 ? 2 : 4;
}

std::vector<unsigned char> WavHeader(WavSamples samples, int32_t sample_rate,
                                     std::optional<uint64_t> frames) {
  const bool pcm16 = samples == WavSamples::kPcm16;
  const uint32_t fmt_bytes = pcm16 ? 16 : 18;
  // RIFF's size counts everything after its own 8 bytes.
  const uint32_t header_bytes = pcm16 ? 44 : 58;
  const auto bytes_per_sample = static_cast<uint32_t>(BytesPerSample(samples));
  uint32_t riff = kWavUnknownSize, data = kWavUnknownSize,
           fact = kWavUnknownSize;
  if (frames.has_value() &&
      *frames * bytes_per_sample + header_bytes - 8 < kWavUnknownSize) {
    data = static_cast<uint32_t>(*frames * bytes_per_sample);
    riff = data + header_bytes - 8;
    fact = static_cast<uint32_t>(*frames);
  }
  const auto rate = static_cast<uint32_t>(sample_rate);
  std::vector<unsigned char> bytes;
  bytes.reserve(header_bytes);
  PutTag(bytes, "RIFF");
  Put(bytes, riff, 4);
  PutTag(bytes, "WAVE");
  PutTag(bytes, "fmt ");
  Put(bytes, fmt_bytes, 4);
  Put(bytes, pcm16 ? kFormatPcm : kFormatFloat, 2);
  Put(bytes, 1, 2);  // mono
  Put(bytes, rate, 4);
  Put(bytes, rate * bytes_per_sample, 4);  // bytes per second
  Put(bytes, bytes_per_sample, 2);         // bytes per frame
  Put(bytes, 8 * bytes_per_sample, 2);     // bits per sample
  if (!pcm16) {
    Put(bytes, 0, 2);  // cbSize: no extension follows
    PutTag(bytes, "fact");
    Put(bytes, 4, 4);
    Put(bytes, fact, 4);
  }
  PutTag(bytes, "data");
  Put(bytes, data, 4);
  return bytes;
}

void EncodeSamples(const float* samples, std::size_t count, WavSamples format,
                   std::vector<unsigned char>& bytes) {
  const std::size_t start = bytes.size();
  bytes.resize(start + count * BytesPerSample(format));
  if (format == WavSamples::kFloat32) {
    if (count > 0) std::memcpy(bytes.data() + start, samples, count * 4);
    return;
  }
  EncodePcm16(samples, count, bytes.data() + start);
}

}  // namespace tolvaren
