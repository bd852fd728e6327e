// What the fuzz targets share: a private folder for the files an input is
// written to (the loaders under test read paths, as the tool does), and a
// quiet tool log so that the fuzzer's own lines stay readable.

#ifndef TOLVAREN_TTS_TESTS_FUZZ_FUZZ_SUPPORT_H_
#define TOLVAREN_TTS_TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace tolvaren::fuzz {

// The tool's records would only slow the run down and bury the fuzzer's
// lines. Call before anything logs: the logger reads these once.
inline void SilenceToolLog() {
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "critical", 1);
}

// A folder under TMPDIR (or /tmp) for the life of the process, removed with
// its contents at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") +
        "/tolvaren_fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a folder from " + pattern);
    }
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }

  // Writes `size` bytes to `name` in the folder, replacing what was there,
  // and returns the file's path.
  std::string Write(const std::string& name, const uint8_t* data,
                    std::size_t size) const {
    const std::string file = path_ + "/" + name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data),
              static_cast<std::streamsize>(size));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file);
    return file;
  }

 private:
  std::string path_;
};

// The process's scratch folder, made on first use.
inline const ScratchFolder& Scratch() {
  static const ScratchFolder folder;
  return folder;
}

}  // namespace tolvaren::fuzz

#endif  // TOLVAREN_TTS_TESTS_FUZZ_FUZZ_SUPPORT_H_
