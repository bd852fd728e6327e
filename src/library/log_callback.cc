// The library's log: every record of the engine, the front end's report
// lines and the configuration problems, routed to the caller's callback or
// nowhere. Nothing here reads the SPDLOG_* variables for the console: the
// library's standard streams belong to the program that loads it.

#include <spdlog/sinks/systemd_sink.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <utility>

#include "common/key_value_file.h"
#include "library/log_routes.h"
#include "tolvaren_tts/log.h"
#include "tool/logger.h"

namespace tolvaren_tts {
namespace {

int32_t EngineLevel(LogLevel level) {
  switch (level) {
    case LogLevel::kDebug:
      return tolvaren::kLevelDebug;
    case LogLevel::kInfo:
      return tolvaren::kLevelInfo;
    case LogLevel::kWarning:
      return tolvaren::kLevelWarning;
    case LogLevel::kError:
      break;
  }
  return tolvaren::kLevelError;
}

LogLevel LibraryLevel(int32_t level) {
  if (level <= tolvaren::kLevelDebug) return LogLevel::kDebug;
  if (level == tolvaren::kLevelInfo) return LogLevel::kInfo;
  if (level == tolvaren::kLevelWarning) return LogLevel::kWarning;
  return LogLevel::kError;
}

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::kDebug:
      return "DEBUG";
    case LogLevel::kInfo:
      return "INFO";
    case LogLevel::kWarning:
      return "WARNING";
    case LogLevel::kError:
      break;
  }
  return "ERROR";
}

// In force from the moment the library is loaded, before any call: a
// program that sets nothing gets nothing on its standard streams.
const bool kQuietFromLoad = (SetLogCallback(nullptr), true);

}  // namespace

void SetLogCallback(LogCallback callback, LogLevel min_level) {
  if (!callback) {
    tolvaren::RouteRecords(nullptr, EngineLevel(min_level));
  } else {
    tolvaren::RouteRecords(
        [callback = std::move(callback)](int32_t level,
                                         const std::string& message) {
          callback(LibraryLevel(level), message);
        },
        EngineLevel(min_level));
  }
  // A mistyped configuration line is a warning record like any other.
  tolvaren::RouteConfigurationProblems([](const std::string& problem) {
    tolvaren::LogRecord(tolvaren::kLevelWarning, __FILE__, __LINE__,
                        static_cast<const char*>(__func__), "{}", problem);
  });
}

speechnn::ReportSink FrontReportsToLog() {
  return [](speechnn::ReportLevel level, const std::string& line) {
    const int32_t engine_level =
        level == speechnn::ReportLevel::kInfo      ? tolvaren::kLevelInfo
        : level == speechnn::ReportLevel::kWarning ? tolvaren::kLevelWarning
                                                   : tolvaren::kLevelError;
    tolvaren::LogRecord(engine_level, __FILE__, __LINE__,
                        static_cast<const char*>(__func__), "{}", line);
  };
}

void LogToStandardError(bool verbose) {
  LogToStandardError(verbose ? LogDetail::kEverything : LogDetail::kErrors);
}

void LogToStandardError(LogDetail detail) {
  const LogLevel shown =
      detail == LogDetail::kEverything ? LogLevel::kInfo : LogLevel::kError;
  const char* journal_switch = std::getenv("SPDLOG_SYSTEMD");
  std::shared_ptr<spdlog::sinks::systemd_sink_mt> journal;
  if (journal_switch != nullptr && std::strcmp(journal_switch, "true") == 0) {
    try {
      journal = std::make_shared<spdlog::sinks::systemd_sink_mt>();
    } catch (const std::exception&) {
      // No journal to write to: standard error still gets its records.
    }
  }
  if (detail == LogDetail::kNothing && journal == nullptr) {
    SetLogCallback(nullptr);
    return;
  }
  const bool to_terminal = detail != LogDetail::kNothing;
  SetLogCallback(
      [to_terminal, shown, journal](LogLevel level,
                                    const std::string& message) {
        if (to_terminal && level >= shown) {
          // Records of several threads come at once: a line each.
          static std::mutex lines;
          const std::lock_guard<std::mutex> lock(lines);
          std::cerr << '[' << LevelName(level) << "] " << message << std::endl;
        }
        if (journal != nullptr && level >= LogLevel::kError) {
          journal->log(spdlog::details::log_msg("tolvaren_tts",
                                                spdlog::level::err, message));
        }
      },
      to_terminal ? shown : LogLevel::kError);
}

}  // namespace tolvaren_tts
