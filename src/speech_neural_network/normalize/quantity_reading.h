// How a number is said when it counts something: the digit 2 is 两 before a
// measure word (两个, 两本) and at the head of 百, 千, 万 and 亿 (两千,
// 一万两千), while ordinals and the numbers of names keep 二 (第二次,
// 二号楼, 二年级, 二月). The words that decide it are two tables, which the
// rules and their tests both walk.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_QUANTITY_READING_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_QUANTITY_READING_H_

#include <string>
#include <string_view>

#include "absl/types/span.h"

namespace speechnn {

// Words after which a number names or ranks something (二号, 二楼, 二班,
// 二等奖): the number keeps 二.
absl::Span<const std::wstring_view> NameWords();

// Words and measure words after which a number counts (两人, 两次, 两小时,
// 两点 as a clock hour): the number says 两 for 2.
absl::Span<const std::wstring_view> CountWords();

// Whether the words after a number make it a name (2月, 2单元) or a count
// (2日元, 2个月): the longer word of the two tables that `following` begins
// with decides.
bool NamesTheNumber(std::wstring_view following);
bool CountsTheNumber(std::wstring_view following);

// The positional reading of an integer that counts: 2 → 两, 200 → 两百,
// 2000 → 两千, 12000 → 一万两千, 22 → 二十二, 1200 → 一千二百.
std::wstring ReadQuantity(std::wstring_view digits);

// A number written in digits, an integer or with one point, said as a
// quantity: integers by ReadQuantity, decimals as ReadNumber (2.5 → 二点五).
std::wstring ReadQuantityNumber(std::wstring_view number);

// The digits before `following`: a quantity when, after an approximation
// (多, 余, 几, 来), the words count the number, or when the number has more
// than one digit and the words do not name it; else the plain positional
// reading.
std::wstring ReadCountBefore(std::wstring_view digits,
                             std::wstring_view following);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_QUANTITY_READING_H_
