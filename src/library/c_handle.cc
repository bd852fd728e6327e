#include "library/c_handle.h"

#include <algorithm>
#include <vector>

namespace tolvaren_tts {
namespace {

// The handles whose calls this thread is inside, innermost last.
thread_local std::vector<const tolvaren_tts_synthesizer*> handles_in_call;

}  // namespace

bool InCall(const tolvaren_tts_synthesizer* tts) {
  return std::find(handles_in_call.begin(), handles_in_call.end(), tts) !=
         handles_in_call.end();
}

HandleCall::HandleCall(tolvaren_tts_synthesizer* tts) : tts_(tts) {
  const std::lock_guard<std::mutex> lock(tts->mutex);
  if (tts->closing) return;
  handles_in_call.push_back(tts);
  ++tts->calls;
  entered_ = true;
}

HandleCall::~HandleCall() {
  if (!entered_) return;
  handles_in_call.pop_back();
  // Notified under the lock: destroy frees the handle only after this
  // thread has let go of it.
  const std::lock_guard<std::mutex> lock(tts_->mutex);
  if (--tts_->calls == 0) tts_->idle.notify_all();
}

}  // namespace tolvaren_tts
