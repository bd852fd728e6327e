// The one mono WAV header every WAV output writes, and the one sample
// encoding behind it.
//
// 16-bit PCM: a plain 16-byte fmt chunk (format 1), 44 bytes in all.
// 32-bit float: the extended 18-byte fmt chunk (format 3, cbSize 0) and a
// fact chunk with the sample count, 58 bytes in all, as readers expect of a
// format other than integer PCM.

#ifndef TOLVAREN_TTS_TOOL_IO_WAV_HEADER_H_
#define TOLVAREN_TTS_TOOL_IO_WAV_HEADER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tolvaren {

enum class WavSamples { kFloat32, kPcm16 };

// The RIFF, data and fact sizes of a stream whose length is not known when
// its header is written, as streaming tools give them.
constexpr uint32_t kWavUnknownSize = 0xFFFFFFFFu;

std::size_t BytesPerSample(WavSamples samples);

// The header of a mono WAV of `frames` samples at `sample_rate`; without a
// count, or with one too long for the 32-bit sizes, the sizes are
// kWavUnknownSize.
std::vector<unsigned char> WavHeader(WavSamples samples, int32_t sample_rate,
                                     std::optional<uint64_t> frames);

// Appends `count` samples to `bytes` in the file's encoding, little-endian;
// 16-bit PCM as Pcm16Of (pcm16.h) converts them.
void EncodeSamples(const float* samples, std::size_t count, WavSamples format,
                   std::vector<unsigned char>& bytes);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_WAV_HEADER_H_
