// Where tolvaren_say's samples go: a WAV file, a WAV stream on standard
// output (sizes unknown, written as 0xFFFFFFFF as streaming tools do, and
// replaced by the real ones at the end when standard output is a regular
// file), headerless samples, or the speakers.

#ifndef TOLVAREN_TTS_SAY_AUDIO_OUTPUT_H_
#define TOLVAREN_TTS_SAY_AUDIO_OUTPUT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "say/playback.h"
#include "say/replacement_file.h"
#include "tool/io/wav_stream.h"

namespace tolvaren_say {

enum class SampleFormat { kPcm16, kFloat32 };

struct StreamFormat {
  int sample_rate = 0;
  SampleFormat samples = SampleFormat::kPcm16;
  bool raw = false;  // no WAV header
};

class AudioOutput {
 public:
  // Opens `path`, "-" being standard output. A file is written under a
  // short temporary name in the same folder and takes the place of `path`
  // only in Finish, so it appears complete or not at all; a symbolic link
  // at `path` is replaced, never written through. A folder, FIFO, device or
  // socket at `path` is refused without being opened. Null, with the
  // reason in `error`, when it cannot be opened.
  static std::unique_ptr<AudioOutput> Open(const std::string& path,
                                           const StreamFormat& format,
                                           std::string& error);

  // Plays on `device` (empty: the sound server's default output).
  static std::unique_ptr<AudioOutput> OpenPlayback(const std::string& device,
                                                   const StreamFormat& format,
                                                   std::string& error);

  // 16-bit PCM clips samples beyond [-1, 1] rather than wrapping them.
  // Standard output's reader gone (EPIPE) leaves `error` empty: that is
  // how a pipe's reader says it has heard enough.
  bool Write(const float* samples, std::size_t count, std::string& error);
  // Writes the real sizes where the output is a regular file and puts a
  // file in place; playback waits until everything has been heard.
  bool Finish(std::string& error);

 private:
  AudioOutput(int fd, std::unique_ptr<ReplacementFile> file,
              const StreamFormat& format)
      : file_(std::move(file)),
        stream_(std::make_unique<tolvaren::WavStream>(
            fd,
            format.samples == SampleFormat::kPcm16
                ? tolvaren::WavSamples::kPcm16
                : tolvaren::WavSamples::kFloat32,
            format.sample_rate, !format.raw)) {}
  explicit AudioOutput(std::unique_ptr<Player> player)
      : player_(std::move(player)) {}
  std::string WriteError() const;

  std::unique_ptr<ReplacementFile> file_;        // null: standard output
  std::unique_ptr<tolvaren::WavStream> stream_;  // null when playing
  std::unique_ptr<Player> player_;
};

}  // namespace tolvaren_say

#endif  // TOLVAREN_TTS_SAY_AUDIO_OUTPUT_H_
