// The readers behind the rows of the everyday rule table (everyday_rules.h)
// and of the rows added to the number rules: each turns one match of its
// row's pattern into what is said. Grouped by what they read, each group in
// its own file.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_EVERYDAY_READERS_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_EVERYDAY_READERS_H_

#include <string>
#include <string_view>

#include "speech_neural_network/normalize/wide_regex.h"

namespace speechnn {

// clock_and_calendar.cc: hours, dates and seasons of years.

// The reading of a clock time from its fields as written: 2:30 → 两点三十分,
// 9:00 → 九点, 8:05 → 八点零五分, 0:15 → 零点十五分. `seconds` may be empty.
std::wstring ReadClock(std::wstring_view hour, std::wstring_view minutes,
                       std::wstring_view seconds);
// Groups 1 hour, 2 minutes, 4 seconds.
std::wstring ReadClockTime(const WideMatch& match);
// 9:00-17:00: groups 1, 2 the first time, 3, 4 the second.
std::wstring ReadClockRange(const WideMatch& match);
// 用时1:05:30: groups 1 the word before, 2 what joins it, 3 hours, 4
// minutes, 5 seconds; said 一小时五分三十秒.
std::wstring ReadDuration(const WideMatch& match);
// 6:30pm, 10:15 a.m., 3PM: groups 1 hour, 3 minutes, 4 a or p.
std::wstring ReadTwelveHourTime(const WideMatch& match);
// 2020-7-1, 2020/07/01: groups 1 year, 3 month, 4 day.
std::wstring ReadNumericDate(const WideMatch& match);
// 25/12/2020, 12-25-2020: groups 1, 3 day and month in either order, 2 the
// separator, 4 year.
std::wstring ReadDayMonthYear(const WideMatch& match);
// 2020/07: groups 1 year, 2 month.
std::wstring ReadYearMonth(const WideMatch& match);
// 7/1起, 10/1, 3/4: a month and day when it can only be one or the words
// after it say so (group 3), else a fraction.
std::wstring ReadSlashDate(const WideMatch& match);
// 9.10起: groups 1 a word of prices or 从, 2 month, 3 day, 4 the word
// after; a number after a word of prices (低至9.9起), 从1.5开始 and a
// number that is no month and day (19.5) stay decimals.
std::wstring ReadDottedDate(const WideMatch& match);
// 2019-2020, 2015—2018: groups 1 and 2.
std::wstring ReadYearRange(const WideMatch& match);
// 2023年12月25日 and 20年后: groups 1 number, 3 month, 5 day, 9 day
// character, 10 the words after 年.
std::wstring ReadYearOrYears(const WideMatch& match);
// 了15年, 近40年: group 1 the word before, 2 the number of years.
std::wstring ReadYearsAfterCue(const WideMatch& match);
// 公元前221年: group 1 the era, 2 the year, digit by digit.
std::wstring ReadEraYear(const WideMatch& match);
// 2室1厅: groups 1 and 2, counts of rooms.
std::wstring ReadRooms(const WideMatch& match);

// expressions.cc: sums, comparisons and scores.

// 1+1=2, 3×4, 10%+5%, 6/2=3: the whole match.
std::wstring ReadExpression(const WideMatch& match);
// x>5 (groups 1 to 3) and 0<x (groups 4 to 6): a name, a sign and a
// number, or a number, a sign and a letter.
std::wstring ReadComparison(const WideMatch& match);
// 比分2:1, 3-1战胜: groups 1 the word before, 2 and 3 the two sides.
std::wstring ReadScore(const WideMatch& match);

// measures.cc: money and units.

// ¥1,280, US$30, USD 30: groups 1 currency, 2 number, 3 magnitude.
std::wstring ReadMoneyBefore(const WideMatch& match);
// 30 USD: groups 1 number, 2 currency code.
std::wstring ReadMoneyAfter(const WideMatch& match);
// 180cm, 170-180cm, 60km/h, 2‰: groups 1 number, 2 the end of a range, 3
// unit, 4 the unit after "/".
std::wstring ReadMeasure(const WideMatch& match);
// 35℃-40℃, -5~3度: groups 1 and 2 the two ends.
std::wstring ReadTemperatureRange(const WideMatch& match);
// 元/kg: groups 1 the unit before "/", 2 the one after.
std::wstring ReadPerUnit(const WideMatch& match);
// The alternation of every unit symbol, longest first, for the patterns.
const std::wstring& UnitAlternation();
// The same for what may follow "/": the unit symbols and Chinese measure
// words.
const std::wstring& PerUnitAlternation();

// everyday_rules.cc: telephone numbers and codes, spans of dates.

// 5日—: group 1 the word that ends the first date; the dash becomes 到.
std::wstring ReadDateSpanDash(const WideMatch& match);

// 139-1234-5678, +86 10 8765 4321, (010) 8765 4321: digit by digit with 幺.
std::wstring ReadGroupedPhone(const WideMatch& match);
// 拨打95588, 尾号1234: group 1 the words before, 3 the number, digit by
// digit.
std::wstring ReadServiceNumber(const WideMatch& match);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_EVERYDAY_READERS_H_
