// Writing the library's audio as a standard mono WAV file.
//
//   tolvaren_tts::Status status = tolvaren_tts::WriteWav(
//       "hello.wav", audio, tolvaren_tts::WavFormat::kPcm16);
//
// 16-bit PCM files have the plain 16-byte fmt chunk; 32-bit float files
// the extended fmt chunk (cbSize 0) and a fact chunk, with the real sizes.

#ifndef TOLVAREN_TTS_WAV_H_
#define TOLVAREN_TTS_WAV_H_

#include <string>

#include "tolvaren_tts/export.h"
#include "tolvaren_tts/status.h"
#include "tolvaren_tts/synthesizer.h"

namespace tolvaren_tts {

enum class WavFormat {
  kPcm16,    // 16-bit integers; samples beyond [-1, 1] are clipped
  kFloat32,  // the samples as they are
};

// Writes `audio` to `path`. The file appears complete or not at all (it is
// written under a temporary name in the same folder and renamed into
// place); a symbolic link at `path` is replaced, never written through; a
// folder, FIFO or device there is refused (kInvalidArgument), as is a
// sample rate that is not positive or whose bytes per second overflow the
// header's 32 bits (above 1073741823 for kFloat32). kNotFound when the file
// cannot be created, kInternal when writing fails.
TOLVAREN_TTS_EXPORT Status WriteWav(const std::string& path, const Audio& audio,
                                    WavFormat format);

}  // namespace tolvaren_tts

#endif  // TOLVAREN_TTS_WAV_H_
