// The tool configuration file: lines "--key=value", everything else ignored
// (the shared reader of src/common/key_value_file.h).

#ifndef TOLVAREN_TTS_TOOL_CONF_TOOL_CONF_H_
#define TOLVAREN_TTS_TOOL_CONF_TOOL_CONF_H_

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "absl/status/status.h"

namespace tolvaren {

struct ToolConf {
  // Every pair read, plus the known keys (empty when absent).
  std::map<std::string, std::string> entries;
  std::string wav_path;
  std::string text_path;
  std::string fastspeech2_model_path;
  std::string hifigan_model_path;
  std::string front_conf_path;
  // A voice folder beside the acoustic model to speak with instead of the
  // configured models (voice_choice.h); empty or "default": those models.
  std::string voice;
  // The model sessions' threads. Absent keys keep these: 4 and 4 with the
  // runtime's own spinning (the shipped tool.conf asks for 0 and 1). An
  // intra-op count of 0 means one thread per core this process may run on
  // (ResolvedIntraOpThreads).
  int32_t intra_op_num_threads = 4;
  int32_t inter_op_num_threads = 4;
  std::optional<bool> allow_spinning;
  // Where the models' pre-optimised copies are kept: "" (or absent) keeps
  // none, "auto" the user's cache folder, anything else that folder.
  std::string model_cache_path;

  // intra_op_num_threads with 0 replaced by AvailableCores().
  int32_t ResolvedIntraOpThreads() const;

  // InvalidArgument naming the key and its value when a value cannot work.
  // Paths are not checked here: a wrong model path is the runtime's error
  // and a missing front configuration the front end's.
  [[nodiscard]] absl::Status Validate() const;
};

// The most threads a key may ask for: more is a typing error, not a machine.
inline constexpr int32_t kMaxThreads = 1024;

// The cores this process may run on (its affinity mask), at least 1. The
// sessions are given this count rather than the runtime's own 0, which
// counts every core of the machine and pins one worker to each, cores
// outside the process's affinity included.
int32_t AvailableCores();

// Reads `path` into `conf`. Logs each pair ("Key: {}; Value: {}"); on a file
// that cannot be opened logs "Cannot open config file" and returns false.
// Keys and values are taken exactly as written: no trimming, a carriage
// return stays in the value, the last of repeated keys wins. `reason`, when
// given, receives why a file was not read (a FIFO, too large, ...), empty
// for one that does not exist.
bool ReadConfFile(const std::string& path, ToolConf& conf,
                  std::string* reason = nullptr);

// Where a ROS 2 "humble" install keeps the configuration: the path the
// tool has always read, and still reads where its own install has none.
inline constexpr char kRosToolConfPath[] =
    "/opt/ros/humble/share/tolvaren_tts/resources/conf/tool.conf";

// The configuration path: TOLVAREN_TTS_CONF when set and not empty,
// otherwise the compiled-in path of the installed package, otherwise (that
// file missing and a ROS install's present) kRosToolConfPath.
std::string ToolConfPath();

// ToolConfPath's choice, with what it consults given: the variable's value
// (null when unset), the compiled-in path and whether a path exists.
std::string ChooseToolConfPath(
    const char* variable, const std::string& installed,
    const std::function<bool(const std::string&)>& exists);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_CONF_TOOL_CONF_H_
