// The speech engine every front door holds: the tool (Tool), the library
// (and through it tolvaren_say, Python and the ROS node). It owns the text
// front end, both models, the voice and the output stage (EngineParts),
// and is where their thread rules live: any number of threads may call
// one engine; its calls run one at a time, each waiting for the one
// before, while two engines run in parallel. A call from inside one of its
// own calls (a chunk sink, or a log callback on that call's thread) is
// refused with Aborted. Destroying the engine waits for a call running on
// another thread.

#ifndef TOLVAREN_TTS_TOOL_SPEECH_ENGINE_H_
#define TOLVAREN_TTS_TOOL_SPEECH_ENGINE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "tolvaren_tts/timings.h"
#include "tool/engine_hold.h"
#include "tool/engine_parts.h"
#include "tool/speak.h"

namespace tolvaren {

class SpeechEngine {
 public:
  // The predictors are built here (their records come first); Start loads.
  SpeechEngine() = default;
  ~SpeechEngine();
  SpeechEngine(const SpeechEngine&) = delete;
  SpeechEngine& operator=(const SpeechEngine&) = delete;

  // Builds the front end and loads the models of a prepared configuration
  // (PrepareConf); throws StartupError. Once, before any call.
  void Start(const ToolConf& conf, speechnn::ReportSink front_reports);

  // Text to phone ids (see FrontProcess).
  bool FrontProcess(const std::string& text, std::vector<int>& phone_ids,
                    const FrontRequest& request);
  // Segments of phone ids to samples (see SynthesisEngine::Synthesize).
  [[nodiscard]] absl::Status Synthesize(const std::vector<Segment>& segments,
                                        const SampleSink& sink,
                                        const EngineRequest& request = {});
  // A request's text to samples, with timings when asked (see Speak).
  [[nodiscard]] absl::Status Speak(
      const std::string& text, const SpeakRequest& request,
      const SampleSink& sink, std::vector<tolvaren_tts::WordTiming>* timings);
  // The pinyin of a text's words (see SpokenPinyin).
  [[nodiscard]] absl::Status Pinyin(const std::string& text, bool markup,
                                    std::string* pinyin);

  // Facts fixed at start-up, read without waiting.
  const VoiceConfig& voice() const { return parts_.voice; }
  int64_t pause_id() const { return parts_.pause_id; }
  bool takes_duration_scale() const { return parts_.takes_duration_scale(); }
  // Null before Start and after AbandonFrontEndAtExit.
  const speechnn::FrontEngineInterface* front() const {
    return parts_.front.get();
  }
  // Seconds spent inside the two models' Run calls so far (between calls).
  double model_run_seconds() const {
    return parts_.synth.acoustic().run_seconds() +
           parts_.synth.vocoder().run_seconds();
  }

  // For the end of the process only: gives up the front end without
  // destroying it, so its dictionaries and tables (a great many small
  // allocations) are not freed one by one when the operating system is
  // about to take the whole address space back anyway. The front end is
  // unusable afterwards; the predictors are destroyed as usual.
  void AbandonFrontEndAtExit();

  // The parts without the hold, for a single thread that steps through
  // them itself (tests, benchmarks).
  EngineParts& unguarded_parts() { return parts_; }

 private:
  EngineParts parts_;
  EngineCalls calls_;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SPEECH_ENGINE_H_
