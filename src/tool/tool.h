// The application object of tolvaren_tts: its configuration, its
// file-naming policy and file mode, over the speech engine
// (speech_engine.h) that the library holds too.

#ifndef TOLVAREN_TTS_TOOL_TOOL_H_
#define TOLVAREN_TTS_TOOL_TOOL_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "absl/status/statusor.h"
#include "speech_neural_network/front_interface.h"
#include "tool/conf/tool_conf.h"
#include "tool/engine_parts.h"
#include "tool/speech_engine.h"
#include "tool/synth/voice_config.h"

namespace tolvaren {

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

  // The engine the tool synthesises with (the library holds one too).
  SpeechEngine& engine() { return engine_; }

  // See SpeechEngine::AbandonFrontEndAtExit.
  void AbandonFrontEndAtExit() { engine_.AbandonFrontEndAtExit(); }

  const ToolConf& conf() const { return conf_; }
  const VoiceConfig& voice() const { return engine_.voice(); }
  // Null only after AbandonFrontEndAtExit.
  const speechnn::FrontEngineInterface* front() const {
    return engine_.front();
  }
  // Whether the acoustic model takes a duration scale (a speaking rate).
  bool takes_duration_scale() const { return engine_.takes_duration_scale(); }

  // Removes what killed runs left in wav_path: called by the tool at
  // start-up, never by the library.
  void RemoveStaleTemporaries();

  // The phone id of a pause, -1 when the phone table has none.
  int64_t pause_id() const { return engine_.pause_id(); }

  // Seconds spent inside the two models' Run calls so far.
  double model_run_seconds() const { return engine_.model_run_seconds(); }

 private:
  // Reads `conf_path` into `conf` when it is given, then starts the
  // engine.
  Tool(const std::string* conf_path, ToolConf conf,
       speechnn::ReportSink front_reports);
  // The predictors come first: their records precede start-up's.
  SpeechEngine engine_;
  ToolConf conf_;
};

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
