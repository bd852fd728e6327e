// The one conversion of float samples to 16-bit PCM, for every writer that
// gives 16-bit samples (WAV files and streams, raw output, the ROS node's
// messages), so that the same floats always give the same integers.

#ifndef TOLVAREN_TTS_TOOL_IO_PCM16_H_
#define TOLVAREN_TTS_TOOL_IO_PCM16_H_

#include <cstddef>
#include <cstdint>

namespace tolvaren {

// `sample` clamped to [-1, 1], times 32767, rounded to the nearest integer
// (halves to even); a sample that is not a number is 0.
int16_t Pcm16Of(float sample);

// Writes `count` samples as little-endian 16-bit integers, two bytes each,
// to `bytes`.
void EncodePcm16(const float* samples, std::size_t count, unsigned char* bytes);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_PCM16_H_
