// Before anything is spoken: the files a tolvaren_say run reads and writes
// are distinct, so that no output replaces the text it is made from or
// another output.

#ifndef TOLVAREN_TTS_SAY_OUTPUT_PLAN_H_
#define TOLVAREN_TTS_SAY_OUTPUT_PLAN_H_

#include <string>

#include "say/say_options.h"

namespace tolvaren_say {

// Whether `name` is one that --output-dir gives a line's WAV ("0001.wav").
bool IsLineFileName(const std::string& name);

// Why two of the run's files are one, "" when they are not. The roles are
// the text file of -f, the file of -o, that of --timings and the WAVs of
// --output-dir; two are one when their paths name the same entry (after
// the links of their folders), when both exist and are the same file (a
// link, a hard link), or when a file is one that --output-dir would write.
std::string SameFileTwice(const SayOptions& options);

}  // namespace tolvaren_say

#endif  // TOLVAREN_TTS_SAY_OUTPUT_PLAN_H_
