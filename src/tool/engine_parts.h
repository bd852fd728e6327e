// What a speech engine is made of: the text front end, both models (the
// synthesis engine), the voice they declare, the pause's id and the phone
// inventory. The steps that turn text into segments and audio work on
// these; SpeechEngine (speech_engine.h) holds them and lets one call at a
// time reach them.

#ifndef TOLVAREN_TTS_TOOL_ENGINE_PARTS_H_
#define TOLVAREN_TTS_TOOL_ENGINE_PARTS_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/front_interface.h"
#include "tool/conf/tool_conf.h"
#include "tool/phone_table.h"
#include "tool/synth/engine.h"
#include "tool/synth/voice_config.h"

namespace tolvaren {

// Raised when start-up cannot go on (configuration, front end, models,
// voice metadata); the tool's entry point ends the process with status 1.
// The records the failure needs are logged before it is raised, except for
// runtime errors (IsRuntimeError), which the entry point logs.
class StartupError : public std::runtime_error {
 public:
  explicit StartupError(absl::Status status)
      : std::runtime_error(std::string(status.message())),
        status_(std::move(status)) {}
  const absl::Status& status() const { return status_; }

 private:
  absl::Status status_;
};

// How a text enters the front end (FrontProcess). The tool names its output
// files by the text and so refuses texts that could form a path; callers
// that name nothing by the text take every text.
struct FrontRequest {
  bool refuse_name_characters = true;
  // When set, receives one trace per sentence reached.
  std::vector<speechnn::SentenceTrace>* traces = nullptr;
  // When set, receives the reason of a failure.
  std::string* failure = nullptr;
};

struct EngineParts {
  // The predictors come first: their records precede start-up's.
  SynthesisEngine synth;
  std::unique_ptr<speechnn::FrontEngineInterface> front;
  VoiceConfig voice;
  // The phone id of a pause, -1 when the phone table has none.
  int64_t pause_id = -1;
  // Read on first need (timings, pinyin): it lies beside the dictionary.
  std::optional<PhoneTable> phone_table;

  bool takes_duration_scale() const {
    return synth.acoustic().HasDurationScale();
  }
};

// Checks `conf` (a bad value named; `conf_path`, when given, names the file
// it came from) and resolves its voice into model paths. The failure is
// logged and returned.
[[nodiscard]] absl::Status PrepareConf(ToolConf& conf,
                                       const std::string* conf_path);

// Builds the front end and loads both models of a prepared `conf` into
// `parts`, side by side; throws StartupError.
void StartEngineParts(const ToolConf& conf, speechnn::ReportSink front_reports,
                      EngineParts& parts);

// Text to phone ids, with the tool's log records; false, with the reason in
// request.failure, when a sentence could not be converted.
bool FrontProcess(EngineParts& parts, const std::string& text,
                  std::vector<int>& phone_ids, const FrontRequest& request);

// Reads the phone inventory into parts.phone_table unless it is there.
[[nodiscard]] absl::Status LoadPhoneTable(EngineParts& parts);

// Turns each run of consecutive `pause_id`s in `phone_ids` into one; no
// change when `pause_id` is negative (no pause phone).
void CollapsePauseRuns(std::vector<int>& phone_ids, int64_t pause_id);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_ENGINE_PARTS_H_
