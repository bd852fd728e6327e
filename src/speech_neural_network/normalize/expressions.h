// Arithmetic and comparison signs, and the words that say them. The table
// serves the reader of whole expressions (1+1=2) and the pass that says the
// signs that have no other meaning wherever they stand (a≥b, ±5).

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_EXPRESSIONS_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_EXPRESSIONS_H_

#include <string>
#include <string_view>

#include "absl/types/span.h"

namespace speechnn {

struct SignReading {
  wchar_t sign;
  std::wstring_view reading;
  // Said wherever it stands; the others only between numbers.
  bool anywhere;
};

// Every sign with its reading: + 加, × 乘, ÷ 除以, = 等于, ≥ 大于等于 ...
absl::Span<const SignReading> SignReadings();

// Says each sign that reads the same wherever it stands (≥ ≤ ≠ ≈ ± × ÷ =,
// π, ², ³ and the roots √ ∛ ∜), and a "+" between two letters or after one
// (C++, x+y).
void ReadMathSigns(std::wstring& sentence);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_EXPRESSIONS_H_
