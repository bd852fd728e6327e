// Word and syllable timings as JSON Lines: what `tolvaren_say --timings
// FILE` writes.
//
// The first line names the sample rate the positions count in; then one
// line per entry of the timings, in order:
//
//   {"sample_rate":24000}
//   {"word":"你好","pinyin":"ni2 hao3","start":0,"end":12900,
//    "syllables":[{"text":"你","pinyin":"ni2","start":0,"end":4500},
//                 {"text":"好","pinyin":"hao3","start":4500,"end":12900}]}
//   {"pause":true,"start":12900,"end":16500}
//
// (each entry on one line, wrapped here).
//
// `start` and `end` are sample positions in the audio written, half-open:
// an entry's `end` is the next one's `start`. Strings are JSON strings
// (UTF-8; quotes, backslashes, control characters and the line and
// paragraph separators U+2028 and U+2029 escaped; a byte that is not UTF-8
// becomes U+FFFD), so every line parses on its own, in JavaScript as well.

#ifndef TOLVAREN_TTS_TOOL_IO_TIMINGS_JSONL_H_
#define TOLVAREN_TTS_TOOL_IO_TIMINGS_JSONL_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tolvaren_tts/timings.h"

namespace tolvaren {

// `text` as a JSON string, quotes included.
std::string JsonString(std::string_view text);

// The first line: {"sample_rate":RATE} and a newline.
std::string TimingsHeaderLine(int sample_rate);

// One entry's line, newline included, its positions moved on by `offset`
// samples (where the audio of its text begins in the output, for a writer
// that puts several texts into one stream). A `file` that is not empty
// comes first, as "file" (for a writer that puts each text into a file of
// its own and the timings of all into one).
std::string TimingLine(const tolvaren_tts::WordTiming& entry,
                       std::size_t offset = 0, std::string_view file = {});

// The header line and every entry's line.
std::string TimingsJsonl(int sample_rate,
                         const std::vector<tolvaren_tts::WordTiming>& entries);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_IO_TIMINGS_JSONL_H_
