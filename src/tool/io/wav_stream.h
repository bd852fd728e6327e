// Samples written to a file descriptor as they come, as a WAV stream or as
// bare samples. The header goes first with the streaming sizes; at the end,
// where the descriptor is a regular file that can be written at the
// header's place (not a pipe, not opened for appending), the real sizes
// replace them, so `> x.wav` gives a file as complete as `-o x.wav`.

#ifndef TOLVAREN_TTS_TOOL_IO_WAV_STREAM_H_
#define TOLVAREN_TTS_TOOL_IO_WAV_STREAM_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "tool/io/wav_header.h"

namespace tolvaren {

class WavStream {
 public:
  // Writes to `fd`, which stays the caller's. `header` false: samples only.
  WavStream(int fd, WavSamples samples, int32_t sample_rate, bool header)
      : fd_(fd), samples_(samples), rate_(sample_rate), header_(header) {}

  // Each returns false, with errno set, when a write fails.
  bool Begin();
  bool Write(const float* samples, std::size_t count);
  // Rewrites the header with the real sizes where the descriptor allows;
  // leaves the streaming sizes elsewhere.
  bool End();

  uint64_t frames() const { return frames_; }

 private:
  bool Rewritable() const;

  int fd_;
  WavSamples samples_;
  int32_t rate_;
  bool header_;
  off_t start_ = -1;  // where the header lies; -1 where it cannot be reached
  uint64_t frames_ = 0;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_WAV_STREAM_H_
