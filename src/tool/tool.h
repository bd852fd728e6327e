// The application object: start-up, the per-text synthesis driver and file
// mode. Tool::frontProcess, the front end's part, lives in front_process.cc.

#ifndef TOLVAREN_TTS_TOOL_TOOL_H_
#define TOLVAREN_TTS_TOOL_TOOL_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "absl/status/statusor.h"
#include "speech_neural_network/front_interface.h"
#include "tool/conf/tool_conf.h"
#include "tool/synth/engine.h"
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

// How a text enters the front end (frontProcess). The tool names its output
// files by the text and so refuses texts that could form a path; callers
// that name nothing by the text take every text.
struct FrontRequest {
  bool refuse_name_characters = true;
  // When set, receives one trace per sentence reached.
  std::vector<speechnn::SentenceTrace>* traces = nullptr;
  // When set, receives the reason of a failure.
  std::string* failure = nullptr;
};

// Receives each finished chunk of an utterance's samples, in order. A
// status other than OK stops the synthesis and is returned as it is.
using ChunkSink = std::function<absl::Status(std::vector<float> chunk)>;

class Tool {
 public:
  // Start-up with the configuration at ToolConfPath().
  Tool();
  explicit Tool(const std::string& conf_path);
  // Start-up with a configuration already read (or made in memory).
  explicit Tool(ToolConf conf);
  // The same, the front end's report lines (its configuration echo
  // included) going to `front_reports` instead of standard error.
  Tool(ToolConf conf, speechnn::ReportSink front_reports);

  // Text to phone ids; true when every sentence was converted.
  bool frontProcess(const std::string& text, std::vector<int>& phone_ids);
  bool frontProcess(const std::string& text, std::vector<int>& phone_ids,
                    const FrontRequest& request);

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
  // The same, handing each chunk to `sink` as soon as it is vocoded; the
  // chunks are the ones Synthesize appends. On a failure the chunks already
  // handed over stay with the sink.
  // `duration_scale` multiplies every phone's length (2 speaks half as
  // fast); anything but 1 needs takes_duration_scale().
  [[nodiscard]] absl::Status Synthesize(std::vector<int64_t>& phone_ids,
                                        const ChunkSink& sink,
                                        float duration_scale = 1.0f);

  // The engine the tool synthesises with, for callers that speak segments
  // of their own or stream (the library, tolvaren_say).
  SynthesisEngine& engine() { return engine_; }

  // For the end of the process only: gives up the front end without
  // destroying it, so its dictionaries and tables (a great many small
  // allocations) are not freed one by one when the operating system is
  // about to take the whole address space back anyway. The front end is
  // unusable afterwards; the predictors are destroyed as usual.
  void AbandonFrontEndAtExit() { static_cast<void>(front_inst.release()); }

  const ToolConf& conf() const { return conf_; }
  const VoiceConfig& voice() const { return voice_; }
  // Null only after AbandonFrontEndAtExit.
  const speechnn::FrontEngineInterface* front() const {
    return front_inst.get();
  }
  // Whether the acoustic model takes a duration scale (a speaking rate).
  bool takes_duration_scale() const;

  // Removes what killed runs left in wav_path: called by the tool at
  // start-up, never by the library.
  void RemoveStaleTemporaries();

  // The phone id of a pause, -1 when the phone table has none.
  int64_t pause_id() const { return pause_id_; }

  // Seconds spent inside the two models' Run calls so far.
  double model_run_seconds() const {
    return engine_.acoustic().run_seconds() + engine_.vocoder().run_seconds();
  }

 private:
  // Reads `conf_path` into `conf` when it is given, then starts the front
  // end and the models.
  Tool(const std::string* conf_path, ToolConf conf,
       speechnn::ReportSink front_reports);
  // Loads both models with the configured threads and cache, and applies
  // their metadata to the voice.
  [[nodiscard]] absl::Status LoadModels();
  // The predictors come first: their records precede start-up's.
  SynthesisEngine engine_;
  std::unique_ptr<speechnn::FrontEngineInterface> front_inst;
  ToolConf conf_;
  VoiceConfig voice_;
  int64_t pause_id_ = -1;
};

// Turns each run of consecutive `pause_id`s in `phone_ids` into one; no
// change when `pause_id` is negative (no pause phone).
void CollapsePauseRuns(std::vector<int>& phone_ids, int64_t pause_id);

// Writes the chunk list to `path` in the chunk file format (see
// io/chunk_file.h). Failures are logged; returns true when the file was
// written.
bool saveWavBufferToFile(const std::string& path,
                         const std::vector<std::vector<float>>& chunks);

// Logs the failure of writing the chunk file `path` as saveWavBufferToFile
// does; true when `written` is OK.
bool ReportWritten(const std::string& path, const absl::Status& written);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_TOOL_H_
