// The front end's messages to people: plain lines on standard error, flushed
// at once so that they interleave with the tool's log in the order they
// happen. Only the front end's boundary methods write them; the steps below
// return what went wrong as an absl::Status.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_REPORT_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_REPORT_H_

#include <iostream>

#include "absl/strings/string_view.h"

namespace speechnn {

// absl::string_view, so that a status message passes as it is.
inline void ReportLine(absl::string_view line) {
  std::cerr << line << std::endl;
}

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_REPORT_H_
