// The process-wide logger: spdlog with a colour console sink and an optional
// systemd journal sink, configured once from SPDLOG_STDOUT, SPDLOG_SYSTEMD and
// SPDLOG_LEVEL.
//
// Every record is "{count:3d} [INFO] message" or "{count:3d} [ERROR] message",
// where count numbers the records that passed the level threshold (an 8-bit
// counter shown modulo 128). Each record carries its call site as the
// compiler sees it: the source name derived from __FILE__ (see
// LogSourceName), the line and the function name.

#ifndef TOLVAREN_TTS_TOOL_LOGGER_H_
#define TOLVAREN_TTS_TOOL_LOGGER_H_

#include <fmt/format.h>
#include <spdlog/logger.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tolvaren {

// Numeric levels as used in SPDLOG_LEVEL: trace 0, debug 1, info 2,
// warning 3, error 4, critical 5.
inline constexpr int32_t kLevelDebug = 1;
inline constexpr int32_t kLevelInfo = 2;
inline constexpr int32_t kLevelWarning = 3;
inline constexpr int32_t kLevelError = 4;

// Receives a record's level and its message (no counter, no level name).
using RecordSink =
    std::function<void(int32_t level, const std::string& message)>;

struct LoggerHolder {
  // Builds the logger from the environment, writing the notices about unset
  // or invalid variables to standard output. Never throws: if spdlog fails,
  // `logger` stays empty and records are dropped. With `from_environment`
  // false, nothing is read or written and no logger is built: the records
  // go where RouteRecords says.
  explicit LoggerHolder(bool from_environment = true);

  std::shared_ptr<spdlog::logger> logger;
  uint8_t record_count = 0;
  // Read without the lock, so that a record below it costs no locking.
  std::atomic<int32_t> level{kLevelInfo};
  // Whether records reach standard output.
  bool console = false;
  // The message of the latest ERROR record, whether it passed the threshold
  // or not: what the entry point says when no console shows the log.
  std::string last_error;
  // Set by RouteRecords: records at or above `level` go to `routed_sink`
  // (nowhere when it is empty), not to `logger`.
  bool routed = false;
  RecordSink routed_sink;
  // Guards the fields above but `level`: synthesizers on several threads
  // share the holder, its counter and last_error. Never held while
  // `routed_sink` runs, so that a sink may log or call the library.
  std::mutex mutex;
};

// The calendar time in whole seconds, for the "current time {}" of the
// progress records.
inline long long Now() { return static_cast<long long>(std::time(nullptr)); }

// The one holder of the process, created on first use.
LoggerHolder& GetLogger();

// From now on the process's records go to `sink` (nowhere when it is empty)
// at or above `min_level`, never to the console or the journal; a log not
// built yet is never built from the environment, so nothing reaches
// standard output. For programs that embed the engine; may be called at any
// time, from any thread, also from inside a sink. `sink` runs on the thread
// that made the record with no lock held: records of several threads may
// reach it at once, and it may make records itself.
void RouteRecords(RecordSink sink, int32_t min_level);

// The name a record gives its source file: the path from the source tree's
// root with "./" in front and the extension dropped, so that
// ".../src/tool/synth/vocoder.cc" is "./src/tool/synth/vocoder". A path
// outside the tree keeps what follows its last "/src/" (or its whole self).
std::string LogSourceName(std::string_view file);

// Writes one record through `holder` (the counter advances only when the
// record passes the threshold). `file` is a path as __FILE__ gives it.
void WriteRecord(LoggerHolder& holder, int32_t record_level, const char* file,
                 int line, const char* function, const std::string& message);

// Records kept back, in the order they were made, for work done on another
// thread whose records must come where the work would have come had it run
// in turn: Release writes them then, as WriteRecord would have; records
// never released are dropped, as for work whose outcome is never used.
class HeldRecords {
 public:
  HeldRecords() = default;
  HeldRecords(const HeldRecords&) = delete;
  HeldRecords& operator=(const HeldRecords&) = delete;

  // Writes the held records in order and forgets them.
  void Release();
  bool empty() const { return records_.empty(); }

 private:
  friend void WriteRecord(LoggerHolder&, int32_t, const char*, int, const char*,
                          const std::string&);
  struct Record {
    LoggerHolder* holder;
    int32_t level;
    const char* file;
    int line;
    const char* function;
    std::string message;
  };
  std::vector<Record> records_;
};

// While one lives, the records its thread makes go to `held` rather than
// out. One thread fills a HeldRecords at a time; it is released after that
// thread's work is done (and joined).
class RecordHold {
 public:
  explicit RecordHold(HeldRecords& held);
  ~RecordHold();
  RecordHold(const RecordHold&) = delete;
  RecordHold& operator=(const RecordHold&) = delete;

 private:
  HeldRecords* outer_;
};

template <typename... Args>
void LogRecord(int32_t record_level, const char* file, int line,
               const char* function, fmt::format_string<Args...> format,
               Args&&... args) {
  WriteRecord(GetLogger(), record_level, file, line, function,
              fmt::format(format, std::forward<Args>(args)...));
}

}  // namespace tolvaren

// <syslog.h> (pulled in by the journal sink) defines LOG_INFO and
// LOG_WARNING as priority numbers; inside this program the names mean the
// logging calls. Include this header after any header that brings in
// <syslog.h>.
#ifdef LOG_INFO
#undef LOG_INFO
#endif
#ifdef LOG_WARNING
#undef LOG_WARNING
#endif
#define LOG_INFO(...)                                               \
  ::tolvaren::LogRecord(::tolvaren::kLevelInfo, __FILE__, __LINE__, \
                        static_cast<const char*>(__func__), __VA_ARGS__)
#define LOG_WARNING(...)                                               \
  ::tolvaren::LogRecord(::tolvaren::kLevelWarning, __FILE__, __LINE__, \
                        static_cast<const char*>(__func__), __VA_ARGS__)
#define LOG_ERROR(...)                                               \
  ::tolvaren::LogRecord(::tolvaren::kLevelError, __FILE__, __LINE__, \
                        static_cast<const char*>(__func__), __VA_ARGS__)

#endif  // TOLVAREN_TTS_TOOL_LOGGER_H_
