// Addresses and names written with signs: e-mail addresses, web addresses,
// domain names, file names, IP addresses and version numbers. Their signs
// are said as people say them when they read one out (. 点, / 斜杠, : 冒号,
// @ 艾特, _ 下划线, - 杠), their numbers digit by digit (IP addresses, digits
// inside names) or by component (versions: 3.10.2 is 三点十点二), and their
// letters are left for spelling.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_TEXT_FORMS_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_TEXT_FORMS_H_

#include <string>
#include <string_view>

#include "absl/types/span.h"

namespace speechnn {

struct SymbolReading {
  wchar_t symbol;
  std::wstring_view reading;
};

// How each sign inside an address is said.
absl::Span<const SymbolReading> AddressSymbols();

// Reads every address, file name, IP address and version in `sentence`,
// and joins a hyphenated Latin word that has a reading of its own (Wi-Fi).
void ReadTextForms(std::wstring& sentence);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_TEXT_FORMS_H_
