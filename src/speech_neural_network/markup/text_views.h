// String helpers the readers share.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_TEXT_VIEWS_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_TEXT_VIEWS_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "absl/strings/string_view.h"

namespace speechnn {

// The standard string view as absl's: Debian's absl keeps a string_view of
// its own, which its string functions take.
inline absl::string_view AbslView(std::string_view text) {
  return absl::string_view(text.data(), text.size());
}

// At most `max_bytes` of UTF-8 `text`, for a message that quotes it: a cut
// never splits a character, and a cut text ends in "…".
inline std::string ShownPrefix(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  std::size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
    --end;
  }
  return std::string(text.substr(0, end)) + "…";
}

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_TEXT_VIEWS_H_
