// The library's WAV writer over samples held anywhere, for the C interface,
// whose caller's buffer is written without a copy.

#ifndef TOLVAREN_TTS_LIBRARY_WAV_SAMPLES_H_
#define TOLVAREN_TTS_LIBRARY_WAV_SAMPLES_H_

#include <cstddef>
#include <string>

#include "tolvaren_tts/status.h"
#include "tolvaren_tts/wav.h"

namespace tolvaren_tts {

// WriteWav for `count` samples at `samples`.
Status WriteWavSamples(const std::string& path, const float* samples,
                       std::size_t count, int sample_rate, WavFormat format);

}  // namespace tolvaren_tts

#endif  // TOLVAREN_TTS_LIBRARY_WAV_SAMPLES_H_
