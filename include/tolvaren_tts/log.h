// Where the library's log records go.

#ifndef TOLVAREN_TTS_LOG_H_
#define TOLVAREN_TTS_LOG_H_

#include "tolvaren_tts/export.h"

namespace tolvaren_tts {

// Sends the log records to standard error instead of standard output, so
// that standard output stays free (for audio, for a program's own output).
// Verbose: every record; otherwise errors only. The journal stays as
// SPDLOG_SYSTEMD says. Call it before anything else of the library: the
// log is set up once per process, on first use.
TOLVAREN_TTS_EXPORT void LogToStandardError(bool verbose);

// The same with a third choice, for programs that print every failure
// themselves (the Status messages carry the reasons): kNothing keeps
// standard error free of log records, the journal still getting errors.
enum class LogDetail { kNothing, kErrors, kEverything };
TOLVAREN_TTS_EXPORT void LogToStandardError(LogDetail detail);

}  // namespace tolvaren_tts

#endif  // TOLVAREN_TTS_LOG_H_
