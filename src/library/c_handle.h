// A C handle's lifetime: the calls in progress on it, which destroy waits
// for, and the handles whose calls the current thread is inside (a call on
// one of them can only come from its own callback).

#ifndef TOLVAREN_LIBRARY_C_HANDLE_H_
#define TOLVAREN_LIBRARY_C_HANDLE_H_

#include <condition_variable>
#include <memory>
#include <mutex>

#include "tolvaren_tts/synthesizer.h"
#include "tolvaren_tts/tolvaren_tts.h"

struct tolvaren_tts_synthesizer {
  // Guards the count of calls in progress, so that destroy waits for them.
  std::mutex mutex;
  std::condition_variable idle;
  int calls = 0;
  bool closing = false;
  std::unique_ptr<tolvaren_tts::Synthesizer> synthesizer;
};

namespace tolvaren_tts {

// Whether this thread is inside a call on `tts`.
bool InCall(const tolvaren_tts_synthesizer* tts);

// One call on a handle, counted while it runs; none once the handle is
// being destroyed.
class HandleCall {
 public:
  explicit HandleCall(tolvaren_tts_synthesizer* tts);
  ~HandleCall();
  HandleCall(const HandleCall&) = delete;
  HandleCall& operator=(const HandleCall&) = delete;

  bool entered() const { return entered_; }

 private:
  tolvaren_tts_synthesizer* tts_;
  bool entered_ = false;
};

}  // namespace tolvaren_tts

#endif  // TOLVAREN_LIBRARY_C_HANDLE_H_
