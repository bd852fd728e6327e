// libFuzzer target: arbitrary bytes as a model cache entry, read as a load
// reads one (CacheFolder::Read, then EntryBody against the facts of the
// model being loaded), and as the body of an entry that is sealed, read back
// and then altered by one byte. Any crash or sanitizer report is a fault; so
// is a sealed entry that does not read back whole, or an altered one (or
// one read against another model or runtime) that is served.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "tool/synth/cache_entry.h"
#include "tool/synth/cache_folder.h"

namespace {

const tolvaren::EntryFacts kFacts{0x0123456789abcdefULL, "1.29.0"};

void Expect(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tolvaren::fuzz::SilenceToolLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const tolvaren::fuzz::ScratchFolder& scratch = tolvaren::fuzz::Scratch();
  scratch.Write("entry.ort", data, size);
  static std::optional<tolvaren::CacheFolder> folder =
      tolvaren::CacheFolder::Open(scratch.path());
  Expect(folder.has_value());
  absl::StatusOr<tolvaren::FileBytes> read = folder->Read("entry.ort");
  Expect(read.ok() == (size > 0));
  if (read.ok()) {
    Expect(read->size == size);
    absl::StatusOr<std::size_t> body =
        tolvaren::EntryBody(read->data.get(), read->size, kFacts);
    if (body.ok()) Expect(*body + tolvaren::kEntryTrailerSize == size);
  }

  // The input as a graph: sealed, it reads back whole; one byte changed,
  // or read for another model or runtime, it is refused.
  const char* bytes = reinterpret_cast<const char*>(data);
  std::string entry(bytes, size);
  entry += tolvaren::EntryTrailer(bytes, size, kFacts);
  absl::StatusOr<std::size_t> whole =
      tolvaren::EntryBody(entry.data(), entry.size(), kFacts);
  Expect(size == 0 ? !whole.ok() : whole.ok() && *whole == size);
  if (size == 0) return 0;
  for (const tolvaren::EntryFacts& other :
       {tolvaren::EntryFacts{kFacts.model_checksum + 1, kFacts.runtime_version},
        tolvaren::EntryFacts{kFacts.model_checksum, "1.15.1"}}) {
    Expect(!tolvaren::EntryBody(entry.data(), entry.size(), other).ok());
  }
  const std::size_t at = data[0] * 257u % entry.size();
  entry[at] = static_cast<char>(entry[at] ^ (data[size - 1] | 1));
  Expect(!tolvaren::EntryBody(entry.data(), entry.size(), kFacts).ok());
  return 0;
}
