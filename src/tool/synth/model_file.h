// A model file held open for its load. Its type is checked on the open
// descriptor before anything reads it, so a FIFO or device at a model path
// is refused without blocking; the runtime is then given a path that leads
// to this very file, and reads it into memory of its own.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_MODEL_FILE_H_
#define TOLVAREN_TTS_TOOL_SYNTH_MODEL_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "absl/status/statusor.h"

namespace tolvaren {

class ModelFile {
 public:
  // The regular, non-empty file `path` of at most kMaxModelBytes; otherwise
  // a status naming the path and the reason.
  [[nodiscard]] static absl::StatusOr<ModelFile> Open(const std::string& path);
  ModelFile(ModelFile&& other) noexcept;
  ModelFile& operator=(ModelFile&&) = delete;
  ModelFile(const ModelFile&) = delete;
  ~ModelFile();

  const std::string& path() const { return path_; }
  // Where the runtime opens the file: the descriptor's own /proc entry, so
  // that what was checked is what is read; the path itself where /proc is
  // not mounted.
  const std::string& runtime_path() const { return runtime_path_; }
  // The ContentChecksum of the file's bytes as they are now.
  [[nodiscard]] absl::StatusOr<uint64_t> Checksum() const;

 private:
  ModelFile(int fd, std::string path, std::size_t size);

  int fd_;
  std::string path_;
  std::string runtime_path_;
  std::size_t size_;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_MODEL_FILE_H_
