#include "tool/speech_engine.h"

#include <mutex>
#include <utility>

namespace tolvaren {

SpeechEngine::~SpeechEngine() {
  // Waits for a call running on another thread.
  const std::lock_guard<std::mutex> wait(calls_.mutex);
}

void SpeechEngine::Start(const ToolConf& conf,
                         speechnn::ReportSink front_reports) {
  const EngineHold hold(calls_);
  StartEngineParts(conf, std::move(front_reports), parts_);
}

bool SpeechEngine::FrontProcess(const std::string& text,
                                std::vector<int>& phone_ids,
                                const FrontRequest& request) {
  const EngineHold hold(calls_);
  if (absl::Status held = hold.status(); !held.ok()) {
    if (request.failure != nullptr)
      *request.failure = std::string(held.message());
    return false;
  }
  return tolvaren::FrontProcess(parts_, text, phone_ids, request);
}

absl::Status SpeechEngine::Synthesize(const std::vector<Segment>& segments,
                                      const SampleSink& sink,
                                      const EngineRequest& request) {
  const EngineHold hold(calls_);
  if (absl::Status held = hold.status(); !held.ok()) return held;
  return parts_.synth.Synthesize(segments, sink, request);
}

absl::Status SpeechEngine::Speak(
    const std::string& text, const SpeakRequest& request,
    const SampleSink& sink, std::vector<tolvaren_tts::WordTiming>* timings) {
  const EngineHold hold(calls_);
  if (absl::Status held = hold.status(); !held.ok()) return held;
  return tolvaren::Speak(parts_, text, request, sink, timings);
}

absl::Status SpeechEngine::Pinyin(const std::string& text, bool markup,
                                  std::string* pinyin) {
  const EngineHold hold(calls_);
  if (absl::Status held = hold.status(); !held.ok()) return held;
  return SpokenPinyin(parts_, text, markup, pinyin);
}

void SpeechEngine::AbandonFrontEndAtExit() {
  const EngineHold hold(calls_);
  static_cast<void>(parts_.front.release());
}

}  // namespace tolvaren
