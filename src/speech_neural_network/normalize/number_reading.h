// Reading of ASCII digit strings as Chinese numerals: digit by digit
// (二零二三), positionally with 十, 百, 千, 万 and 亿 (二千零二十三), and
// decimals with 点. Pure functions over fixed tables: any thread may call
// them, and no call changes the next one's reading.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_NUMBER_READING_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_NUMBER_READING_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace speechnn {

// Each digit by itself, 1 as 幺 with `use_yao` (telephone numbers); anything
// else (a "-", a blank, another character) adds nothing.
std::wstring ReadDigits(std::wstring_view digits, bool use_yao);

// Replaces each run of ASCII digits sentence[begin, end) for which
// `spell(sentence, begin, end)` holds by ReadDigits of it (no 幺); the
// replacement is not scanned again.
void SpellDigitRunsWhere(std::wstring& sentence,
                         bool (*spell)(const std::wstring& sentence,
                                       std::size_t begin, std::size_t end));

// The positional reading. With `say_zero` clear no 零 is ever said: used for
// months, days and clock fields, where 05 reads 五.
std::wstring ReadPositional(std::wstring_view num, bool say_zero);

// The positional reading of an integer, with 一十 at the very start said 十
// and an all-zero number said 零 when `say_zero` is set.
std::wstring ReadInteger(std::wstring_view num, bool use_yao, bool say_zero);

// An integer, or a number with one point whose fraction is read digit by
// digit.
std::wstring ReadNumber(std::wstring_view text);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_NUMBER_READING_H_
