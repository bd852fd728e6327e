// What SIGINT, SIGTERM and SIGHUP leave behind: nothing but the files that
// were complete. Every temporary file being written (the audio's, the
// timings') is removed and the run exits with 128 + the signal's number.

#ifndef TOLVAREN_TTS_SAY_SIGNAL_CLEANUP_H_
#define TOLVAREN_TTS_SAY_SIGNAL_CLEANUP_H_

#include <signal.h>

#include <string>

namespace tolvaren_say {

// Installs the handlers; call once, before any temporary is made.
void RemoveTemporaryOnSignals();

// Holds the three signals back for its lifetime, so that creating and
// recording a temporary, or renaming and forgetting it, is one step a
// signal cannot split.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

// How many temporaries may be recorded at once: the audio's and the
// timings'.
inline constexpr int kMaxTemporaries = 4;

// Records a temporary that a signal removes; returns its slot for
// ForgetTemporary, or -1 when the name is too long to be kept or every
// slot is taken. Call with the signals held.
int RecordTemporary(const std::string& path);
void ForgetTemporary(int slot);

}  // namespace tolvaren_say

#endif  // TOLVAREN_TTS_SAY_SIGNAL_CLEANUP_H_
