// The front end's messages to people: plain lines on standard error, flushed
// at once so that they interleave with the tool's log in the order they
// happen. Only the front end's boundary methods write them; the steps below
// return what went wrong as an absl::Status.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_REPORT_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_REPORT_H_

#include <iostream>

#include "absl/strings/string_view.h"
#include "common/log_text.h"

namespace speechnn {

// absl::string_view, so that a status message passes as it is. Lines often
// quote the text being read: its control characters are shown escaped, so a
// text cannot forge lines of its own.
inline void ReportLine(absl::string_view line) {
  std::cerr << tolvaren::EscapeForLog(
                   std::string_view(line.data(), line.size()))
            << std::endl;
}

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_REPORT_H_
