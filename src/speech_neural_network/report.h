// The front end's messages to people. Only the front end's boundary methods
// write them, through the sink the front end was made with; the steps below
// return what went wrong as an absl::Status. The default sink writes plain
// lines on standard error, flushed at once so that they interleave with the
// tool's log in the order they happen; a program that keeps its standard
// streams for itself (the library) gives a sink of its own.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_REPORT_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_REPORT_H_

#include <functional>
#include <iostream>
#include <string>

#include "absl/strings/string_view.h"
#include "common/log_text.h"

namespace speechnn {

// kInfo: the configuration echo; kWarning: a resource done without (the
// reading goes on); kError: why a step or the start-up failed.
enum class ReportLevel { kInfo, kWarning, kError };

// Receives each line, its control characters already escaped.
using ReportSink = std::function<void(ReportLevel level, const std::string&)>;

// Every line on standard error, whatever its level.
inline ReportSink StandardErrorReports() {
  return [](ReportLevel, const std::string& line) {
    std::cerr << line << std::endl;
  };
}

// absl::string_view, so that a status message passes as it is. Lines often
// quote the text being read: its control characters are shown escaped, so a
// text cannot forge lines of its own.
inline void ReportLine(const ReportSink& sink, absl::string_view line,
                       ReportLevel level = ReportLevel::kError) {
  if (!sink) return;
  sink(level,
       tolvaren::EscapeForLog(std::string_view(line.data(), line.size())));
}

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_REPORT_H_
