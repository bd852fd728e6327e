// The library's word timings of a finished synthesis, and the warnings it
// logs through the library's log routes.
#ifndef TOLVAREN_LIBRARY_FILLED_TIMINGS_H_
#define TOLVAREN_LIBRARY_FILLED_TIMINGS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tolvaren_tts/timings.h"
#include "tool/synth/timings.h"

namespace tolvaren_tts {

void Warn(const std::string& message);

// The timings of a finished synthesis; none, with a warning, when the voice
// gave no durations or they do not fit the words (never a failed
// synthesis: the audio is already out).
void FillTimings(bool timed, std::vector<tolvaren::SpokenWord> words,
                 std::vector<tolvaren::TimedRun> runs, int32_t hop_samples,
                 int64_t total_samples, std::vector<WordTiming>* timings);

}  // namespace tolvaren_tts

#endif  // TOLVAREN_LIBRARY_FILLED_TIMINGS_H_
