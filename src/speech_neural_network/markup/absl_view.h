// The standard string view as absl's: Debian's absl keeps a string_view of
// its own, which its string functions take.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_ABSL_VIEW_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_ABSL_VIEW_H_

#include <string_view>

#include "absl/strings/string_view.h"

namespace speechnn {

inline absl::string_view AbslView(std::string_view text) {
  return absl::string_view(text.data(), text.size());
}

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_ABSL_VIEW_H_
