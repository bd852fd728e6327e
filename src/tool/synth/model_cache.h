// Pre-optimised copies of the models. Building a session spends most of its
// time rewriting the graph (fusing operators, choosing memory layouts); the
// result depends only on the model's bytes, the runtime's version and the
// processor it was tuned for. The first session of a model saves its
// optimised graph, in the runtime's own format, under a name made of those
// three facts; later sessions load that file with optimisation off and its
// weights used in place from a read-only mapping. A changed model, runtime
// or processor gives another name, so a stale entry is never served.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_MODEL_CACHE_H_
#define TOLVAREN_TTS_TOOL_SYNTH_MODEL_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "absl/status/statusor.h"

namespace tolvaren {

// A whole file mapped read-only; unmapped when destroyed. Move-only.
class MappedFile {
 public:
  [[nodiscard]] static absl::StatusOr<MappedFile> Open(const std::string& path);
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  const char* data() const { return data_; }
  std::size_t size() const { return size_; }

  // Lets the system take back the pages read so far. The mapping stays
  // valid: a page read again comes back from the file (the page cache,
  // as a rule). For a mapping whose bytes were read once, to be copied
  // elsewhere, this is memory no longer held for nothing.
  void DropResidentPages() const;

 private:
  MappedFile(const char* data, std::size_t size) : data_(data), size_(size) {}
  void Release();

  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

// A 64-bit checksum of `size` bytes: every byte counts, and it runs at
// memory speed, so checking a model on each start costs a few milliseconds.
uint64_t ContentChecksum(const char* data, std::size_t size);

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
