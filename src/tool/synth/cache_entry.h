// The sealed form of a pre-optimised model: the runtime's serialised graph
// followed by a fixed trailer that ties it to what it was made from.
//
//   offset from the trailer's start
//    0  model checksum   8 bytes   ContentChecksum of the model file's bytes
//    8  body size        8 bytes   bytes of the graph before the trailer
//   16  runtime version 32 bytes   the runtime's version string, NUL padded
//   48  seal             8 bytes   checksum of the body and the fields above
//   56  tag              8 bytes   "TVRNORT2"
//
// Integers are in the machine's own byte order: an entry is only ever read
// on the machine (the processor in its name) that wrote it. The seal finds
// a torn or altered entry; the model checksum and the version find an entry
// copied under another model's name or left by another runtime. Keeping
// other users from writing entries is the folder's work (cache_folder.h).

#ifndef TOLVAREN_TTS_TOOL_SYNTH_CACHE_ENTRY_H_
#define TOLVAREN_TTS_TOOL_SYNTH_CACHE_ENTRY_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "absl/status/statusor.h"

namespace tolvaren {

inline constexpr std::size_t kEntryTrailerSize = 64;
inline constexpr std::size_t kEntryVersionSize = 32;

// What an entry must have been made from to be served.
struct EntryFacts {
  uint64_t model_checksum = 0;
  std::string runtime_version;
};

// The trailer to append to the `size` bytes of `body`. A version longer
// than the field is cut; its checksum is still over the whole string, so
// two such versions never share an entry.
std::string EntryTrailer(const char* body, std::size_t size,
                         const EntryFacts& facts);

// The size of the graph inside the `size` bytes of an entry made from
// `facts`. DataLoss for an entry that is torn, altered or not an entry at
// all; FailedPrecondition for a whole entry made from another model or by
// another runtime.
[[nodiscard]] absl::StatusOr<std::size_t> EntryBody(const char* data,
                                                    std::size_t size,
                                                    const EntryFacts& facts);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_CACHE_ENTRY_H_
