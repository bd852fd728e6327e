#include "tool/io/pcm16.h"

#include <algorithm>
#include <cmath>

namespace tolvaren {

int16_t Pcm16Of(float sample) {
  if (std::isnan(sample)) return 0;
  const float clamped = std::clamp(sample, -1.0f, 1.0f);
  return static_cast<int16_t>(std::lrint(clamped * 32767.0f));
}

void EncodePcm16(const float* samples, std::size_t count,
                 unsigned char* bytes) {
  for (std::size_t i = 0; i < count; ++i) {
    const auto value = static_cast<uint16_t>(Pcm16Of(samples[i]));
    bytes[2 * i] = static_cast<unsigned char>(value & 0xff);
    bytes[2 * i + 1] = static_cast<unsigned char>(value >> 8);
  }
}

}  // namespace tolvaren
