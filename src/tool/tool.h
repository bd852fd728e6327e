// The application object: start-up, the per-text synthesis driver and file
// mode. Tool::frontProcess, the front end's part, lives in front_process.cc.

#ifndef TOLVAREN_TTS_TOOL_TOOL_H_
#define TOLVAREN_TTS_TOOL_TOOL_H_

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/front_interface.h"
#include "tool/conf/tool_conf.h"
#include "tool/synth/acoustic_model.h"
#include "tool/synth/vocoder.h"
#include "tool/synth/voice_config.h"

namespace tolvaren {

// Raised by the constructor when start-up cannot go on (configuration,
// front end, models, voice metadata); the entry point ends the process with
// status 1. The records the failure needs are logged before it is raised,
// except for runtime errors (IsRuntimeError), which the entry point logs.
class StartupError : public std::runtime_error {
 public:
  explicit StartupError(absl::Status status)
      : std::runtime_error(std::string(status.message())),
        status_(std::move(status)) {}
  const absl::Status& status() const { return status_; }

 private:
  absl::Status status_;
};

class Tool {
 public:
  // Start-up with the configuration at ToolConfPath().
  Tool();
  explicit Tool(const std::string& conf_path);

  // Text to phone ids; true when every sentence was converted.
  bool frontProcess(const std::string& text, std::vector<int>& phone_ids);

  // Synthesises `text` into wav_path + "/" + text. True when the file was
  // written; failures are logged.
  bool predict(const std::string& text);

  // Synthesises every line of text_path. True when every line's file was
  // written.
  bool getFileAndPredict();

  // Runs the acoustic model and the chunked vocoder over `phone_ids`,
  // appending one trimmed sample vector per chunk to `chunks`. Runtime
  // errors are RuntimeError statuses; InvalidArgument is an unusable chunk
  // plan (logged at INFO by predict), FailedPrecondition unusable model
  // outputs.
  [[nodiscard]] absl::Status Synthesize(
      std::vector<int64_t>& phone_ids, std::vector<std::vector<float>>& chunks);

  // For the end of the process only: gives up the front end without
  // destroying it, so its dictionaries and tables (a great many small
  // allocations) are not freed one by one when the operating system is
  // about to take the whole address space back anyway. The front end is
  // unusable afterwards; the predictors are destroyed as usual.
  void AbandonFrontEndAtExit() { static_cast<void>(front_inst.release()); }

  const ToolConf& conf() const { return conf_; }
  const VoiceConfig& voice() const { return voice_; }

  // The phone id of a pause, -1 when the phone table has none.
  int64_t pause_id() const { return pause_id_; }

  // Seconds spent inside the two models' Run calls so far.
  double model_run_seconds() const {
    return fastspeech2_predictor.run_seconds() +
           hifigan_predictor.run_seconds();
  }

 private:
  FastSpeech2Predictor fastspeech2_predictor;
  HifiGanPredictor hifigan_predictor;
  std::unique_ptr<speechnn::FrontEngineInterface> front_inst;
  ToolConf conf_;
  VoiceConfig voice_;
  int64_t pause_id_ = -1;
};

// Writes the chunk list to `path` in the chunk file format (see
// io/chunk_file.h). Failures are logged; returns true when the file was
// written.
bool saveWavBufferToFile(const std::string& path,
                         const std::vector<std::vector<float>>& chunks);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_TOOL_H_
