// Numbers as people write them, read before the rewrite rules: thousands
// separators (5,999 and 1，000) and numbers that belong to a name (GPT-4o,
// A-12, VT100): their hyphen is no minus sign, and they are no count.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_NUMBER_SHAPES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_NUMBER_SHAPES_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace speechnn {

// The positions of the commas (ASCII or full-width) that separate the digit
// groups of one number, in order: 1 to 3 digits, then only groups of
// exactly 3, each after one comma (12,345,678). 1,2 and 1,2345 are lists.
// Full-width digits count as digits, since sentences are split before they
// are folded. One pass over the text.
std::vector<std::size_t> ThousandsSeparators(std::wstring_view text);

// Reads every number written with thousands separators as an amount (5,999
// → 五千九百九十九, 2,000 → 两千), with a fraction after a point, a minus sign
// before it (one that follows neither a digit nor a letter), a percent sign
// after it, and a "-" or "~" between two numbers read as 到.
void ReadGroupedNumbers(std::wstring& sentence);

// Removes a "-" that stands between a Latin letter and a digit (GPT-4o,
// iPhone-15): it joins a name to its number.
void DropHyphensInNames(std::wstring& sentence);

// Reads a run of three or more digits right after a Latin letter digit by
// digit (VT100, RTX4090, GB2312), and one of one or two digits as a number
// without 两 (B2层 B二层, G20): the number of a name, not a count.
void ReadDigitsOfNames(std::wstring& sentence);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_NUMBER_SHAPES_H_
