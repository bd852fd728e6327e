// Where tolvaren_say's samples go: a WAV file, a WAV stream on standard
// output (sizes unknown, written as 0xFFFFFFFF as streaming tools do), or
// headerless samples.

#ifndef TOLVAREN_TTS_SAY_AUDIO_OUTPUT_H_
#define TOLVAREN_TTS_SAY_AUDIO_OUTPUT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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
  // An output that Finish did not complete leaves no file behind.
  ~AudioOutput();

  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // 16-bit PCM clips samples beyond [-1, 1] rather than wrapping them.
  bool Write(const float* samples, std::size_t count, std::string& error);
  // Writes the real sizes where the output can seek and puts a file in
  // place.
  bool Finish(std::string& error);

 private:
  AudioOutput(int fd, bool owned, std::string path, std::string temporary,
              const StreamFormat& format)
      : fd_(fd),
        owned_(owned),
        path_(std::move(path)),
        temporary_(std::move(temporary)),
        format_(format) {}
  static std::unique_ptr<AudioOutput> OpenFile(const std::string& path,
                                               const StreamFormat& format,
                                               std::string& error);
  bool WriteBytes(const void* data, std::size_t size, std::string& error);
  bool WriteHeader(uint32_t data_bytes, std::string& error);

  int fd_;
  bool owned_;             // the descriptor is ours to close
  std::string path_;       // the name the file takes
  std::string temporary_;  // empty: written in place
  StreamFormat format_;
  uint64_t data_bytes_ = 0;
  bool finished_ = false;
};

}  // namespace tolvaren_say

#endif  // TOLVAREN_TTS_SAY_AUDIO_OUTPUT_H_
