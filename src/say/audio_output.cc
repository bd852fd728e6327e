#include "say/audio_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/bounded_file.h"
#include "say/signal_cleanup.h"
#include "tool/io/chunk_file.h"

namespace tolvaren_say {
namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "WAV samples are written in the machine's byte order");

// A stream's RIFF and data sizes when its length is not known.
constexpr uint32_t kUnknownSize = 0xFFFFFFFFu;
constexpr std::size_t kHeaderBytes = 44;

void Put16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

void Put32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Whether `folder` is, or lies in, /dev or /proc, after its links.
bool IsSystemFolder(const std::string& folder) {
  char* resolved = realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return false;
  const std::string real = resolved;
  std::free(resolved);
  for (const std::string system : {"/dev", "/proc"}) {
    if (real == system || real.rfind(system + "/", 0) == 0) return true;
  }
  return false;
}

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

std::unique_ptr<AudioOutput> AudioOutput::Open(const std::string& path,
                                               const StreamFormat& format,
                                               std::string& error) {
  std::unique_ptr<AudioOutput> output;
  if (path == "-") {
    output.reset(new AudioOutput(STDOUT_FILENO, false, path, "", format));
  } else {
    output = OpenFile(path, format, error);
    if (output == nullptr) return nullptr;
  }
  if (!format.raw && !output->WriteHeader(kUnknownSize, error)) return nullptr;
  return output;
}

std::unique_ptr<AudioOutput> AudioOutput::OpenFile(const std::string& path,
                                                   const StreamFormat& format,
                                                   std::string& error) {
  // The links there (/dev/stdout, /proc/self/fd/1) are the system's own:
  // replacing one as root would break it for everyone.
  if (IsSystemFolder(tolvaren::FolderOf(path))) {
    error = path +
            " is in a system folder; it is left as it is (-o - "
            "writes to standard output)";
    return nullptr;
  }
  // lstat: a symbolic link, whatever it points to, is replaced by the
  // rename below and never written through. Only a regular file or a link
  // is ever replaced; a FIFO would block the run and a device is no file.
  struct stat status {};
  const bool exists = lstat(path.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) {
    error = path + " is a folder";
    return nullptr;
  }
  if (exists && !S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) {
    error = path + " is " + tolvaren::SpecialFileKind(status.st_mode) +
            ", not a file; it is left as it is (-o - writes to standard "
            "output)";
    return nullptr;
  }
  if (absl::Status name = tolvaren::CheckOutputName(path); !name.ok()) {
    error = std::string(name.message());
    return nullptr;
  }
  std::string temporary = tolvaren::TemporaryPathTemplate(path);
  int fd = -1;
  {
    const SignalsHeld held;
    fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd >= 0 && !RecordTemporary(temporary)) {
      close(fd);
      unlink(temporary.c_str());
      errno = ENAMETOOLONG;
      fd = -1;
    }
  }
  if (fd < 0) {
    error = SystemError("cannot create " + path);
    return nullptr;
  }
  // mkstemp makes the file private: a file replaced keeps its permissions,
  // a new one gets those a plain open would give it.
  mode_t mode = 0;
  if (exists && S_ISREG(status.st_mode)) {
    mode = status.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd, mode);
  return std::unique_ptr<AudioOutput>(
      new AudioOutput(fd, true, path, temporary, format));
}

AudioOutput::~AudioOutput() {
  if (owned_ && fd_ >= 0) close(fd_);
  if (!finished_ && !temporary_.empty()) {
    const SignalsHeld held;
    unlink(temporary_.c_str());
    ForgetTemporary();
  }
}

bool AudioOutput::WriteBytes(const void* data, std::size_t size,
                             std::string& error) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd_, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      error = SystemError("cannot write " + path_);
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool AudioOutput::WriteHeader(uint32_t data_bytes, std::string& error) {
  const bool pcm16 = format_.samples == SampleFormat::kPcm16;
  const uint16_t bytes_per_sample = pcm16 ? 2 : 4;
  const auto rate = static_cast<uint32_t>(format_.sample_rate);
  unsigned char header[kHeaderBytes];
  std::memcpy(header, "RIFF", 4);
  Put32(header + 4,
        data_bytes == kUnknownSize ? kUnknownSize : 36 + data_bytes);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  Put32(header + 16, 16);
  Put16(header + 20, pcm16 ? 1 : 3);  // integer PCM or IEEE float
  Put16(header + 22, 1);              // mono
  Put32(header + 24, rate);
  Put32(header + 28, rate * bytes_per_sample);
  Put16(header + 32, bytes_per_sample);
  Put16(header + 34, static_cast<uint16_t>(8 * bytes_per_sample));
  std::memcpy(header + 36, "data", 4);
  Put32(header + 40, data_bytes);
  return WriteBytes(header, sizeof(header), error);
}

bool AudioOutput::Write(const float* samples, std::size_t count,
                        std::string& error) {
  bool ok = true;
  if (format_.samples == SampleFormat::kFloat32) {
    ok = WriteBytes(samples, count * sizeof(float), error);
  } else {
    std::vector<int16_t> pcm(count);
    for (std::size_t i = 0; i < count; ++i) {
      const float clipped = std::clamp(samples[i], -1.0f, 1.0f);
      pcm[i] = static_cast<int16_t>(std::lrint(clipped * 32767.0f));
    }
    ok = WriteBytes(pcm.data(), pcm.size() * sizeof(int16_t), error);
  }
  if (ok) {
    data_bytes_ += count * (format_.samples == SampleFormat::kPcm16 ? 2 : 4);
  }
  return ok;
}

bool AudioOutput::Finish(std::string& error) {
  if (temporary_.empty()) {
    finished_ = true;
    return true;
  }
  // A file longer than a WAV header can count keeps the unknown sizes.
  if (!format_.raw && data_bytes_ + 36 < kUnknownSize) {
    if (lseek(fd_, 0, SEEK_SET) != 0 ||
        !WriteHeader(static_cast<uint32_t>(data_bytes_), error)) {
      if (error.empty()) error = SystemError("cannot write " + path_);
      return false;
    }
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    error = SystemError("cannot write " + path_);
    return false;
  }
  const SignalsHeld held;
  if (rename(temporary_.c_str(), path_.c_str()) != 0) {
    error = SystemError("cannot create " + path_);
    return false;
  }
  ForgetTemporary();
  finished_ = true;
  return true;
}

}  // namespace tolvaren_say
