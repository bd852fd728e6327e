// The attribute values and contents that the markup elements read: a break's
// length, a speaking rate, and the say-as rewrites into text that the front
// end reads the way the markup asked.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_MARKUP_VALUES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_MARKUP_VALUES_H_

#include <optional>
#include <string>
#include <string_view>

#include "absl/status/statusor.h"

namespace speechnn {

// The longest break; a longer one is cut to it (with a warning).
inline constexpr int kMaxBreakMs = 10000;
// The speaking-rate factors synthesis can honour.
inline constexpr double kMinRate = 0.25;
inline constexpr double kMaxRate = 4.0;

// <break time>: "300ms", "1.5s", "1e9s" (a decimal number, then ms or s),
// in milliseconds, not yet capped. Fails on a negative, unreadable or
// unit-less value.
absl::StatusOr<double> ReadBreakTime(std::string_view time);

// <break strength>: none 0, x-weak 100, weak 250, medium 500, strong 750,
// x-strong 1000 ms; nullopt for another word.
std::optional<int> BreakStrengthMs(std::string_view strength);

// <prosody rate>: x-slow 0.5, slow 0.75, medium (and default) 1, fast 1.25,
// x-fast 1.5, a percentage ("80%": 0.8) or a plain factor ("1.2"); nullopt
// for anything else or a factor that is not above 0.
std::optional<double> ReadRate(std::string_view rate);

// <say-as interpret-as> with its content: the text that the front end reads
// that way (all UTF-8):
//   characters  one by one: each digit as 零…九, the rest as written
//   digits      the same
//   telephone   digits alone, one by one, 1 as 幺 ("-", "+", blanks unsaid)
//   cardinal    a number ("-1,234.5": 负一千二百三十四点五)
//   date        year-month-day with "-", "/" or "." (2023-05-01:
//               二零二三年五月一日), or year-month
// nullopt for an interpretation outside this list, or a content the
// interpretation cannot read (the caller speaks it as written).
std::optional<std::string> RewriteSayAs(std::string_view interpret_as,
                                        std::string_view content);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_MARKUP_VALUES_H_
