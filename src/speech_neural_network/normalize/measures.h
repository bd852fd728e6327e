// Money and units after numbers: the currency signs and codes and the unit
// symbols, with how each is said. The rows that read them (everyday_rules.h)
// and their tests walk these tables.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_MEASURES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_MEASURES_H_

#include <string_view>

#include "absl/types/span.h"

namespace speechnn {

struct Currency {
  std::wstring_view symbol;  // ¥, US$, USD ...
  std::wstring_view reading;
  // A code, which may also follow the number (30 USD).
  bool code;
};

struct Unit {
  std::wstring_view symbol;  // cm, km, m², °F ...
  std::wstring_view reading;
  // Said before the number (‰: 千分之二).
  bool before;
  // Units are no codes; the member lets tables of both be walked alike.
  static constexpr bool code = false;
};

absl::Span<const Currency> Currencies();
absl::Span<const Unit> Units();

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_MEASURES_H_
