#include "library/filled_timings.h"

#include <utility>

#include "absl/status/statusor.h"
#include "tool/logger.h"

namespace tolvaren_tts {

void Warn(const std::string& message) {
  tolvaren::LogRecord(tolvaren::kLevelWarning, __FILE__, __LINE__,
                      static_cast<const char*>(__func__), "{}", message);
}

void FillTimings(bool timed, std::vector<tolvaren::SpokenWord> words,
                 std::vector<tolvaren::TimedRun> runs, int32_t hop_samples,
                 int64_t total_samples, std::vector<WordTiming>* timings) {
  if (!timed) {
    Warn("no timings: this voice's acoustic model gives no durations");
    return;
  }
  tolvaren::TimingInput input;
  input.words = std::move(words);
  input.runs = std::move(runs);
  input.hop_samples = hop_samples;
  input.total_samples = total_samples;
  absl::StatusOr<std::vector<WordTiming>> built = tolvaren::BuildTimings(input);
  if (!built.ok()) {
    Warn("no timings: " + std::string(built.status().message()));
    return;
  }
  *timings = *std::move(built);
}

}  // namespace tolvaren_tts
