#include "tool/logger.h"

#include <spdlog/details/console_globals.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/systemd_sink.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <utility>
#include <vector>

namespace tolvaren {
namespace {

// Index = numeric level; only these exact names are accepted.
constexpr std::array<const char*, 6> kLevelNames = {
    "trace", "debug", "info", "warning", "error", "critical"};
constexpr std::array<spdlog::level::level_enum, 6> kSpdlogLevels = {
    spdlog::level::trace, spdlog::level::debug, spdlog::level::info,
    spdlog::level::warn,  spdlog::level::err,   spdlog::level::critical};

enum class Switch { kUnset, kTrue, kFalse, kInvalid };

Switch ReadSwitch(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return Switch::kUnset;
  const std::string text(value);
  if (text == "true") return Switch::kTrue;
  if (text == "false") return Switch::kFalse;
  return Switch::kInvalid;
}

}  // namespace

std::string LogSourceName(std::string_view file) {
  bool in_tree = false;
#ifdef TOLVAREN_SOURCE_ROOT_DIR
  constexpr std::string_view kRoot = TOLVAREN_SOURCE_ROOT_DIR "/";
  in_tree = file.substr(0, kRoot.size()) == kRoot;
  if (in_tree) file.remove_prefix(kRoot.size());
#endif
  const std::size_t src = file.rfind("/src/");
  if (!in_tree && src != std::string_view::npos) file.remove_prefix(src + 1);
  if (file.substr(0, 2) == "./") file.remove_prefix(2);
  while (!file.empty() && file.front() == '/') file.remove_prefix(1);
  const std::size_t slash = file.rfind('/');
  const std::size_t dot = file.rfind('.');
  if (dot != std::string_view::npos &&
      (slash == std::string_view::npos || dot > slash)) {
    file = file.substr(0, dot);
  }
  return "./" + std::string(file);
}

LoggerHolder::LoggerHolder(bool from_environment) {
  if (!from_environment) return;
  try {
    std::vector<spdlog::sink_ptr> sinks;

    const Switch console = ReadSwitch("SPDLOG_STDOUT");
    if (console == Switch::kUnset) {
      std::cout
          << "environment variable SPDLOG_STDOUT is not set, and set true\n";
    } else if (console == Switch::kInvalid) {
      std::cout
          << "environment variable SPDLOG_STDOUT is invalid, and set true\n";
    }
    if (console != Switch::kFalse) {
      this->console = true;
      sinks.push_back(std::make_shared<spdlog::sinks::ansicolor_stdout_sink<
                          spdlog::details::console_mutex>>());
    }

    const Switch journal = ReadSwitch("SPDLOG_SYSTEMD");
    if (journal == Switch::kUnset) {
      std::cout
          << "environment variable SPDLOG_SYSTEMD is not set, and set false\n";
    } else if (journal == Switch::kInvalid) {
      std::cout
          << "environment variable SPDLOG_SYSTEMD is invalid, and set false\n";
    } else if (journal == Switch::kTrue) {
      sinks.push_back(
          std::make_shared<spdlog::sinks::systemd_sink<std::mutex>>());
    }

    logger =
        std::make_shared<spdlog::logger>("spdlog", sinks.begin(), sinks.end());

    const char* level_value = std::getenv("SPDLOG_LEVEL");
    level = kLevelInfo;
    if (level_value == nullptr) {
      std::cout << "environment variable SPDLOG_LEVEL is not set, and set "
                   "default level\n";
    } else {
      bool known = false;
      for (std::size_t i = 0; i < kLevelNames.size(); ++i) {
        if (std::string(level_value) == kLevelNames[i]) {
          level = static_cast<int32_t>(i);
          known = true;
          break;
        }
      }
      if (!known) {
        std::cout << "environment variable SPDLOG_LEVEL is invalid, and set "
                     "default level\n";
      }
    }
    std::cout.flush();
    logger->set_level(kSpdlogLevels[static_cast<std::size_t>(level)]);
    logger->set_pattern("%v");
  } catch (const spdlog::spdlog_ex&) {
    // A logger that cannot be built is not worth ending the process for;
    // records are then dropped (see WriteRecord).
  }
}

namespace {

// Set before the holder is made when the records are routed from the start.
std::atomic<bool> routed_from_start{false};

}  // namespace

LoggerHolder& GetLogger() {
  static LoggerHolder holder(!routed_from_start.load());
  return holder;
}

void RouteRecords(RecordSink sink, int32_t min_level) {
  routed_from_start.store(true);
  LoggerHolder& holder = GetLogger();
  const std::lock_guard<std::mutex> lock(holder.mutex);
  holder.routed = true;
  holder.routed_sink = std::move(sink);
  holder.level = min_level;
  holder.console = false;
}

namespace {

thread_local HeldRecords* thread_hold = nullptr;

}  // namespace

RecordHold::RecordHold(HeldRecords& held) : outer_(thread_hold) {
  thread_hold = &held;
}

RecordHold::~RecordHold() { thread_hold = outer_; }

void HeldRecords::Release() {
  std::vector<Record> records = std::move(records_);
  records_.clear();
  for (const Record& record : records) {
    WriteRecord(*record.holder, record.level, record.file, record.line,
                record.function, record.message);
  }
}

void WriteRecord(LoggerHolder& holder, int32_t record_level, const char* file,
                 int line, const char* function, const std::string& message) {
  if (thread_hold != nullptr) {
    thread_hold->records_.push_back(
        {&holder, record_level, file, line, function, message});
    return;
  }
  const bool passes = holder.level.load() <= record_level;
  if (!passes && record_level < kLevelError) return;
  std::unique_lock<std::mutex> lock(holder.mutex);
  if (record_level >= kLevelError) holder.last_error = message;
  if (!passes) return;
  ++holder.record_count;  // Wraps at 256 as an 8-bit counter.
  if (holder.routed) {
    // A copy, called without the lock: the sink may log again, route the
    // records elsewhere or end an engine whose end logs.
    const RecordSink sink = holder.routed_sink;
    lock.unlock();
    if (sink) sink(record_level, message);
    return;
  }
  std::shared_ptr<spdlog::logger> logger = holder.logger;
  if (logger == nullptr) return;
  const int shown = holder.record_count % 128;
  const bool is_error = record_level >= kLevelError;
  const std::string prefix = is_error ? fmt::format("{0:3d} [ERROR] ", shown)
                                      : fmt::format("{0:3d} [INFO] ", shown);
  const std::string source = LogSourceName(file);
  logger->log(spdlog::source_loc{source.c_str(), line, function},
              is_error ? spdlog::level::err : spdlog::level::info,
              prefix + message);
}

}  // namespace tolvaren
