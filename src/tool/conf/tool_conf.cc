#include "tool/conf/tool_conf.h"

#include <sched.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <iterator>
#include <string_view>
#include <thread>
#include <vector>

#include "common/key_value_file.h"
#include "common/log_text.h"
#include "tool/logger.h"

#ifndef TOLVAREN_CONF_PATH
#define TOLVAREN_CONF_PATH \
  "/usr/local/share/tolvaren_tts/resources/conf/tool.conf"
#endif

namespace tolvaren {

namespace {

// The thread keys, the least count each takes (0 for intra-op: one thread
// per core; the runtime would read 0 inter-op as its own choice, which is
// never what a configuration means) and the field each sets.
struct ThreadKey {
  const char* key;
  int32_t least;
  int32_t ToolConf::*field;
};
constexpr ThreadKey kThreadKeys[] = {
    {"intra_op_num_threads", 0, &ToolConf::intra_op_num_threads},
    {"inter_op_num_threads", 1, &ToolConf::inter_op_num_threads}};
constexpr char kSpinningKey[] = "allow_spinning";

// Every key the tool reads; any other is reported as a likely typing error.
constexpr std::string_view kToolKeys[] = {"wav_path",
                                          "text_path",
                                          "fastspeech2_model_path",
                                          "hifigan_model_path",
                                          "front_conf_path",
                                          "intra_op_num_threads",
                                          "inter_op_num_threads",
                                          "allow_spinning",
                                          "model_cache_path",
                                          "voice"};

// The whole of `text` as a decimal int32 (a sign only for negatives).
std::optional<int32_t> ParseInt(const std::string& text) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<bool> ParseFlag(const std::string& text) {
  if (text == "1" || text == "true") return true;
  if (text == "0" || text == "false") return false;
  return std::nullopt;
}

absl::Status BadValue(const std::string& key, const std::string& value,
                      const std::string& needed) {
  return absl::InvalidArgumentError(key + " is " + value + ", " + needed +
                                    " is needed");
}

}  // namespace

int32_t AvailableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int32_t>(cores);
}

int32_t ToolConf::ResolvedIntraOpThreads() const {
  return intra_op_num_threads == 0 ? AvailableCores() : intra_op_num_threads;
}

absl::Status ToolConf::Validate() const {
  for (const ThreadKey& thread : kThreadKeys) {
    const std::string needed = "a whole number from " +
                               std::to_string(thread.least) + " to " +
                               std::to_string(kMaxThreads);
    // Text that never became a number is reported as written.
    const auto entry = entries.find(thread.key);
    if (entry != entries.end() && !ParseInt(entry->second).has_value()) {
      return BadValue(thread.key, entry->second, needed);
    }
    const int32_t value = this->*thread.field;
    if (value < thread.least || value > kMaxThreads) {
      return BadValue(thread.key, std::to_string(value), needed);
    }
  }
  const auto spinning = entries.find(kSpinningKey);
  if (spinning != entries.end() && !ParseFlag(spinning->second).has_value()) {
    return BadValue(kSpinningKey, spinning->second, "0, 1, true or false");
  }
  return absl::OkStatus();
}

bool ReadConfFile(const std::string& path, ToolConf& conf,
                  std::string* reason) {
  std::vector<KeyValueLine> lines;
  std::vector<KeyValueLine> skipped;
  const absl::Status read = ReadKeyValueFile(path, lines, &skipped);
  // Entries read before a failure are still logged, as they were read.
  for (const KeyValueLine& line : lines) {
    conf.entries[line.key] = line.value;
    LOG_INFO("Key: {}; Value: {}", line.key, line.value);
  }
  for (const std::string& problem :
       DescribeKeyProblems(path, lines, skipped,
                           {std::begin(kToolKeys), std::end(kToolKeys)})) {
    LOG_INFO("Warning: {}", problem);
    ReportToStandardError(problem);
  }
  if (!read.ok()) {
    if (!absl::IsNotFound(read)) {
      LOG_ERROR("Error: {}", EscapeForLog(std::string(read.message())));
      if (reason != nullptr) *reason = std::string(read.message());
    }
    LOG_ERROR("Cannot open config file");
    return false;
  }
  conf.wav_path = conf.entries["wav_path"];
  conf.text_path = conf.entries["text_path"];
  conf.fastspeech2_model_path = conf.entries["fastspeech2_model_path"];
  conf.hifigan_model_path = conf.entries["hifigan_model_path"];
  conf.front_conf_path = conf.entries["front_conf_path"];
  // The optional keys are looked up, not inserted: absent stays absent.
  // Values that do not parse leave the defaults, for Validate to report.
  for (const ThreadKey& thread : kThreadKeys) {
    const auto entry = conf.entries.find(thread.key);
    if (entry == conf.entries.end()) continue;
    if (const std::optional<int32_t> count = ParseInt(entry->second)) {
      conf.*thread.field = *count;
    }
  }
  if (const auto entry = conf.entries.find("voice");
      entry != conf.entries.end()) {
    conf.voice = entry->second;
  }
  if (const auto entry = conf.entries.find("model_cache_path");
      entry != conf.entries.end()) {
    conf.model_cache_path = entry->second;
  }
  if (const auto entry = conf.entries.find(kSpinningKey);
      entry != conf.entries.end()) {
    conf.allow_spinning = ParseFlag(entry->second);
  }
  return true;
}

std::string ChooseToolConfPath(
    const char* variable, const std::string& installed,
    const std::function<bool(const std::string&)>& exists) {
  if (variable != nullptr && variable[0] != '\0') return variable;
  if (installed != kRosToolConfPath && !exists(installed) &&
      exists(kRosToolConfPath)) {
    return kRosToolConfPath;
  }
  return installed;
}

std::string ToolConfPath() {
  return ChooseToolConfPath(
      std::getenv("TOLVAREN_TTS_CONF"), TOLVAREN_CONF_PATH,
      [](const std::string& path) { return access(path.c_str(), F_OK) == 0; });
}

}  // namespace tolvaren
