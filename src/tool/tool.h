// The application object: start-up, the per-text synthesis driver and file
// mode.

#ifndef TOLVAREN_TTS_TOOL_TOOL_H_
#define TOLVAREN_TTS_TOOL_TOOL_H_

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "speech_neural_network/front_interface.h"
#include "tool/fastspeech2.h"
#include "tool/hifigan.h"
#include "tool/tool_conf.h"

namespace tolvaren {

// Raised by the constructor on the two fatal start-up conditions (unreadable
// configuration, front end that cannot be created); the entry point ends the
// process with status 1.
class StartupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
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
  // appending one trimmed sample vector per chunk to `chunks`. False (logged)
  // when the model outputs or the chunk plan are unusable; runtime errors
  // arrive as Ort::Exception.
  bool Synthesize(std::vector<int64_t>& phone_ids,
                  std::vector<std::vector<float>>& chunks);

  const ToolConf& conf() const { return conf_; }

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
  // Runs the acoustic model over `phone_ids` into `mel` ([frames, bins]).
  // Long sequences run piece by piece (see acoustic_pieces.h); their rows
  // are joined in `joined_rows`, of which `mel` is then a view. False
  // (logged) when a piece's output is unusable.
  bool RunAcousticModel(std::vector<int64_t>& phone_ids,
                        std::vector<float>& joined_rows, Ort::Value& mel);

  int64_t pause_id_ = -1;
  int32_t intra_op_num_threads = 4;
  int32_t inter_op_num_threads = 4;
};

// Writes the chunk list as: chunk count, each chunk's sample count (unsigned
// 64-bit little-endian), then all samples (32-bit float little-endian). The
// file appears complete or not at all: data go to a temporary file in the
// same folder that replaces `path` only after a successful close. Failures
// are logged; returns true when the file was written.
bool saveWavBufferToFile(const std::string& path,
                         const std::vector<std::vector<float>>& chunks);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_TOOL_H_
