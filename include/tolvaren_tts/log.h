// Where the library's log records go.
//
// By default nowhere: the library writes nothing on standard output or
// standard error, ever, whatever SPDLOG_* variables the process has. Every
// failure already comes back as a Status carrying its reason, so a record
// printed by the library would only say it a second time, in a place the
// embedding program (a node whose standard output carries audio, a
// terminal user interface) had not chosen. A program that wants the
// records sets a callback.

#ifndef TOLVAREN_TTS_LOG_H_
#define TOLVAREN_TTS_LOG_H_

#include <functional>
#include <string>

#include "tolvaren_tts/export.h"

namespace tolvaren_tts {

// kDebug: nothing records at it yet; kInfo: start-up and progress (the
// configuration read, the models loaded, each synthesis); kWarning: a
// resource done without or a configuration line that is likely a mistake;
// kError: why something failed (also in the Status).
enum class LogLevel { kDebug, kInfo, kWarning, kError };

// Receives each record at or above `min_level`, from whichever thread made
// it, possibly from several threads at once. No lock of the library is held
// while it runs: it may log, set the callback or call the library (a call
// on the Synthesizer whose call made the record is refused, kInCallback).
using LogCallback =
    std::function<void(LogLevel level, const std::string& message)>;

// Process-wide. An empty callback: records go nowhere. May be called at any
// time, also between Creates.
TOLVAREN_TTS_EXPORT void SetLogCallback(
    LogCallback callback, LogLevel min_level = LogLevel::kWarning);

// Conveniences on top of SetLogCallback that write the records to standard
// error, one line each ("[INFO] ...", "[ERROR] ..."), and to the systemd
// journal as well when SPDLOG_SYSTEMD is "true" (errors at least).
// Verbose: every record from kInfo; otherwise errors only.
TOLVAREN_TTS_EXPORT void LogToStandardError(bool verbose);

// The same with a third choice, for programs that print every failure
// themselves: kNothing keeps standard error free of log records (the
// journal, when on, still gets the errors).
enum class LogDetail { kNothing, kErrors, kEverything };
TOLVAREN_TTS_EXPORT void LogToStandardError(LogDetail detail);

}  // namespace tolvaren_tts

#endif  // TOLVAREN_TTS_LOG_H_
