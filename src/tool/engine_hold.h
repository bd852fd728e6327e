// One call's hold on a speech engine: calls run one at a time, each
// waiting for the one before; a call from the thread already inside one is
// refused, as it can only come from that call's own callbacks (its chunks,
// or a log record it wrote) and would wait on itself for ever.

#ifndef TOLVAREN_TTS_TOOL_ENGINE_HOLD_H_
#define TOLVAREN_TTS_TOOL_ENGINE_HOLD_H_

#include <atomic>
#include <mutex>
#include <thread>

#include "absl/status/status.h"

namespace tolvaren {

// What a speech engine's calls share: the lock, and the thread inside a
// call (none between calls).
struct EngineCalls {
  std::mutex mutex;
  std::atomic<std::thread::id> caller{};
};

class EngineHold {
 public:
  explicit EngineHold(EngineCalls& calls) : calls_(calls) {
    if (calls.caller.load() == std::this_thread::get_id()) return;
    lock_ = std::unique_lock<std::mutex>(calls.mutex);
    calls.caller.store(std::this_thread::get_id());
  }
  ~EngineHold() {
    if (lock_.owns_lock()) calls_.caller.store(std::thread::id());
  }
  EngineHold(const EngineHold&) = delete;
  EngineHold& operator=(const EngineHold&) = delete;

  // OK when the hold was taken; Aborted for a call from inside a call.
  absl::Status status() const {
    if (lock_.owns_lock()) return absl::OkStatus();
    return absl::AbortedError(
        "the synthesizer was called from inside its own callback: it is in "
        "the middle of that call");
  }

 private:
  EngineCalls& calls_;
  std::unique_lock<std::mutex> lock_;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_ENGINE_HOLD_H_
