#include "say/audio_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvaren_say {

std::unique_ptr<AudioOutput> AudioOutput::Open(const std::string& path,
                                               const StreamFormat& format,
                                               std::string& error) {
  std::unique_ptr<AudioOutput> output;
  if (path == "-") {
    output.reset(new AudioOutput(STDOUT_FILENO, nullptr, format));
  } else {
    std::unique_ptr<ReplacementFile> file =
        ReplacementFile::Open(path, " (-o - writes to standard output)", error);
    if (file == nullptr) return nullptr;
    const int fd = file->fd();
    output.reset(new AudioOutput(fd, std::move(file), format));
  }
  if (!output->stream_->Begin()) {
    error = output->WriteError();
    return nullptr;
  }
  return output;
}

std::unique_ptr<AudioOutput> AudioOutput::OpenPlayback(
    const std::string& device, const StreamFormat& format, std::string& error) {
  std::unique_ptr<Player> player =
      Player::Open(device, format.sample_rate, error);
  if (player == nullptr) return nullptr;
  return std::unique_ptr<AudioOutput>(new AudioOutput(std::move(player)));
}

std::string AudioOutput::WriteError() const {
  if (file_ != nullptr) return file_->WriteError();
  if (errno == EPIPE) return "";
  return std::string("cannot write -: ") + std::strerror(errno);
}

bool AudioOutput::Write(const float* samples, std::size_t count,
                        std::string& error) {
  if (player_ != nullptr) return player_->Write(samples, count, error);
  if (stream_->Write(samples, count)) return true;
  error = WriteError();
  return false;
}

bool AudioOutput::Finish(std::string& error) {
  if (player_ != nullptr) return player_->Drain(error);
  // A file longer than a WAV header can count keeps the unknown sizes.
  if (!stream_->End()) {
    error = WriteError();
    return false;
  }
  return file_ == nullptr || file_->Commit(error);
}

}  // namespace tolvaren_say
