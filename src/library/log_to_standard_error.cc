#include <spdlog/details/console_globals.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "tolvaren_tts/log.h"
#include "tool/logger.h"

namespace tolvaren_tts {

void LogToStandardError(bool verbose) {
  LogToStandardError(verbose ? LogDetail::kEverything : LogDetail::kErrors);
}

void LogToStandardError(LogDetail detail) {
  const bool verbose = detail == LogDetail::kEverything;
  // The log is built from these variables on first use, and it writes a
  // notice to standard output for each one unset or invalid: set them all
  // so that nothing reaches standard output.
  setenv("SPDLOG_STDOUT", "false", 1);
  const char* journal = std::getenv("SPDLOG_SYSTEMD");
  if (journal == nullptr || std::strcmp(journal, "true") != 0) {
    setenv("SPDLOG_SYSTEMD", "false", 1);
  }
  setenv("SPDLOG_LEVEL", verbose ? "info" : "error", 1);

  tolvaren::LoggerHolder& holder = tolvaren::GetLogger();
  if (holder.logger == nullptr) return;
  const std::lock_guard<std::mutex> lock(holder.mutex);
  // Should the log exist already, its console sink leaves as well.
  std::vector<spdlog::sink_ptr>& sinks = holder.logger->sinks();
  sinks.erase(std::remove_if(sinks.begin(), sinks.end(),
                             [](const spdlog::sink_ptr& sink) {
                               return std::dynamic_pointer_cast<
                                          spdlog::sinks::ansicolor_stdout_sink<
                                              spdlog::details::console_mutex>>(
                                          sink) != nullptr;
                             }),
              sinks.end());
  if (detail != LogDetail::kNothing) {
    auto standard_error = std::make_shared<spdlog::sinks::stderr_sink_mt>();
    standard_error->set_pattern("%v");
    sinks.insert(sinks.begin(), standard_error);
  }
  holder.level = verbose ? tolvaren::kLevelInfo : tolvaren::kLevelError;
  holder.logger->set_level(verbose ? spdlog::level::info : spdlog::level::err);
}

}  // namespace tolvaren_tts
