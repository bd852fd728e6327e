// The timings a C call collects when its options ask for them, and the
// object that hands them to the caller.

#ifndef TOLVAREN_LIBRARY_C_TIMINGS_H_
#define TOLVAREN_LIBRARY_C_TIMINGS_H_

#include <vector>

#include "tolvaren_tts/timings.h"
#include "tolvaren_tts/tolvaren_tts.h"

struct tolvaren_tts_timings {
  std::vector<tolvaren_tts::WordTiming> words;
};

namespace tolvaren_tts::c_api {

// Where the caller of one synthesis wants its timings, if it does: made
// from options whose struct_size has been checked, it clears the caller's
// pointer at once so that a failure leaves it NULL.
class TimingsRequest {
 public:
  explicit TimingsRequest(const tolvaren_tts_options* options);
  TimingsRequest(const TimingsRequest&) = delete;
  TimingsRequest& operator=(const TimingsRequest&) = delete;

  // What the synthesis fills; nullptr when none were asked for.
  std::vector<WordTiming>* words() {
    return out_ == nullptr ? nullptr : &words_;
  }
  // After a synthesis that succeeded: the words as the caller's timings.
  // TOLVAREN_TTS_OUT_OF_MEMORY when they cannot be handed over.
  [[nodiscard]] tolvaren_tts_status HandOver();

 private:
  tolvaren_tts_timings** out_ = nullptr;
  std::vector<WordTiming> words_;
};

}  // namespace tolvaren_tts::c_api

#endif  // TOLVAREN_LIBRARY_C_TIMINGS_H_
