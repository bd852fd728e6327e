// Pre-optimised copies of the models. Building a session spends most of its
// time rewriting the graph (fusing operators, choosing memory layouts); the
// result depends only on the model's bytes, the runtime's version and the
// processor it was tuned for. The first session of a model saves its
// optimised graph, in the runtime's own format, under a name made of those
// three facts; later sessions load that file with optimisation off. A
// changed model, runtime or processor gives another name, and the entry's
// sealed trailer (cache_entry.h) repeats the model and runtime it was made
// from, so an entry is served only to the model it was made from.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_MODEL_CACHE_H_
#define TOLVAREN_TTS_TOOL_SYNTH_MODEL_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "absl/status/statusor.h"
#include "common/content_checksum.h"

namespace tolvaren {

// A whole regular file's bytes, read into memory the process owns: what
// later happens to the file (truncated, rewritten in place, replaced) cannot
// reach them. Move-only.
struct FileBytes {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
};

// The largest model or cache entry read: the runtime parses neither format
// beyond 2 GiB, so a larger file is refused before any of it is read.
inline constexpr std::size_t kMaxModelBytes = (std::size_t{1} << 31) - 1;

// Whether ReadRegularFile follows a symbolic link at the last name.
enum class FinalLink { kFollow, kRefuse };

// Reads the regular file `path` (relative to the open folder `folder_fd`, or
// AT_FDCWD) whole. A FIFO, device or folder is refused without blocking: it
// is opened non-blocking and its type checked before anything is read. An
// empty file, one over `max_size` bytes, or one that shrinks while read is
// refused too. The message names `path` and the reason.
[[nodiscard]] absl::StatusOr<FileBytes> ReadRegularFile(int folder_fd,
                                                        const std::string& path,
                                                        std::size_t max_size,
                                                        FinalLink link);
// The size of the open file `fd` (named `path` in the messages) when it is
// a regular file of 1 to `max_size` bytes; FailedPrecondition otherwise.
[[nodiscard]] absl::StatusOr<std::size_t> RegularFileSize(
    int fd, const std::string& path, std::size_t max_size);
// ReadRegularFile for the file already open as `fd` (left open), named
// `path` in the messages.
[[nodiscard]] absl::StatusOr<FileBytes> ReadOpenedFile(int fd,
                                                       const std::string& path,
                                                       std::size_t max_size);

// What identifies the processor the runtime tunes a graph for (its model
// name and feature flags), as a checksum; 0 where the system does not say.
uint64_t ProcessorChecksum();

// The cache entry's file name for a model file named `model_path` whose
// bytes have `model_checksum`, for runtime `runtime_version` on processor
// `processor_checksum`: "<model stem>-<16 hex>-ort<version>-<8 hex>.ort".
std::string CacheEntryName(const std::string& model_path,
                           uint64_t model_checksum,
                           const std::string& runtime_version,
                           uint64_t processor_checksum);

// The folder a configured value names: "" means no cache, "auto" the
// user's cache folder ($XDG_CACHE_HOME/tolvaren_tts, else
// $HOME/.cache/tolvaren_tts; "" when neither is set), anything else itself.
std::string ResolveModelCacheFolder(const std::string& configured);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_MODEL_CACHE_H_
