// Clock times, dates and years: the readers of the rows that read them.

#include <string>
#include <string_view>

#include "speech_neural_network/normalize/everyday_readers.h"
#include "speech_neural_network/normalize/number_reading.h"
#include "speech_neural_network/normalize/quantity_reading.h"

namespace speechnn {
namespace {

// The value of a short run of ASCII digits (at most 9 of them).
int ValueOf(std::wstring_view digits) {
  int value = 0;
  for (const wchar_t c : digits.substr(0, 9)) value = value * 10 + (c - L'0');
  return value;
}

bool AllZero(std::wstring_view digits) {
  return digits.find_first_not_of(L'0') == std::wstring_view::npos;
}

// A month, day or clock field, never with 零 (05 → 五).
std::wstring Field(std::wstring_view digits) {
  return ReadInteger(digits, false, false);
}

// Minutes and seconds say a leading zero: 05 → 零五.
std::wstring Sixtieths(std::wstring_view digits, const wchar_t* unit) {
  std::wstring reading = digits[0] == L'0' ? L"零" : L"";
  return reading + Field(digits) + unit;
}

std::wstring DateReading(std::wstring_view year, int month, int day) {
  std::wstring reading;
  if (!year.empty()) reading = ReadDigits(year, false) + L"年";
  reading += Field(std::to_wstring(month)) + L"月";
  if (day > 0) reading += Field(std::to_wstring(day)) + L"日";
  return reading;
}

bool IsMonth(int value) { return value >= 1 && value <= 12; }
bool IsDay(int value) { return value >= 1 && value <= 31; }

// Words after 年 that make the number before it a count of years.
bool CountsYears(std::wstring_view after) {
  return !after.empty() && after != L"级";
}

}  // namespace

std::wstring ReadClock(std::wstring_view hour, std::wstring_view minutes,
                       std::wstring_view seconds) {
  // Midnight is 零点; the hour counts, so 2 and 02 are 两点.
  std::wstring reading =
      AllZero(hour) ? L"零" : ReadQuantity(hour.substr(hour[0] == L'0'));
  reading += L"点";
  const bool whole = AllZero(minutes) && (seconds.empty() || AllZero(seconds));
  if (whole) return reading;
  reading += Sixtieths(minutes, L"分");
  if (!seconds.empty()) reading += Sixtieths(seconds, L"秒");
  return reading;
}

std::wstring ReadClockTime(const WideMatch& match) {
  return ReadClock(match.str(1), match.str(2), match.str(4));
}

std::wstring ReadClockRange(const WideMatch& match) {
  return ReadClock(match.str(1), match.str(2), L"") + L"到" +
         ReadClock(match.str(3), match.str(4), L"");
}

std::wstring ReadDuration(const WideMatch& match) {
  const std::wstring joint = match.str(2);
  std::wstring reading =
      match.str(1) + (joint == L"是" || joint == L"为" ? joint : L"");
  const std::wstring hours = match.str(3);
  const std::wstring minutes = match.str(4);
  const std::wstring seconds = match.str(5);
  if (!AllZero(hours)) {
    reading += ReadQuantity(hours.substr(hours.size() > 1 && hours[0] == L'0'));
    reading += L"小时";
  }
  if (!AllZero(minutes)) {
    reading += Field(minutes) + L"分";
  } else if (!AllZero(hours) && !AllZero(seconds)) {
    reading += L"零";
  }
  // 0:00:00 still says a time: 零秒.
  const bool nothing_said = AllZero(hours) && AllZero(minutes);
  if (!AllZero(seconds) || nothing_said) {
    reading += (AllZero(seconds) ? L"零" : Field(seconds)) + L"秒";
  }
  return reading;
}

std::wstring ReadTwelveHourTime(const WideMatch& match) {
  const int hour = ValueOf(match.str(1));
  const std::wstring minutes = match.length(3) > 0 ? match.str(3) : L"00";
  if (hour > 12) return ReadClock(match.str(1), minutes, L"");
  const bool pm = match.str(4) == L"p" || match.str(4) == L"P";
  const wchar_t* part = nullptr;
  if (pm) {
    part = hour == 12 ? L"中午" : hour < 6 ? L"下午" : L"晚上";
  } else {
    part = hour == 12 || hour < 6 ? L"凌晨" : L"上午";
  }
  // 12 a.m. is midnight, 零点.
  const std::wstring said = !pm && hour == 12 ? L"0" : match.str(1);
  return part + ReadClock(said, minutes, L"");
}

std::wstring ReadNumericDate(const WideMatch& match) {
  return DateReading(match.str(1), ValueOf(match.str(3)),
                     ValueOf(match.str(4)));
}

std::wstring ReadDayMonthYear(const WideMatch& match) {
  const int first = ValueOf(match.str(1));
  const int second = ValueOf(match.str(3));
  // Month first unless the first field cannot be a month.
  if (IsMonth(first) && IsDay(second)) {
    return DateReading(match.str(4), first, second);
  }
  if (IsMonth(second) && IsDay(first)) {
    return DateReading(match.str(4), second, first);
  }
  const wchar_t* separator = match.str(2) == L"/" ? L"斜杠" : L"杠";
  return ReadInteger(match.str(1), false, true) + separator +
         ReadInteger(match.str(3), false, true) + separator +
         ReadDigits(match.str(4), false);
}

std::wstring ReadYearMonth(const WideMatch& match) {
  return DateReading(match.str(1), ValueOf(match.str(2)), 0);
}

std::wstring ReadSlashDate(const WideMatch& match) {
  const int first = ValueOf(match.str(1));
  const int second = ValueOf(match.str(2));
  const bool could_be_date = match.length(1) <= 2 && match.length(2) <= 2 &&
                             IsMonth(first) && IsDay(second);
  // 7/1 is no fraction anyone writes; 3/4 is a date only when the words
  // after it say so (3/4起).
  if (could_be_date && (first > second || match.length(3) > 0)) {
    const std::wstring after = match.str(3);
    if (after == L"日" || after == L"号") {
      return Field(match.str(1)) + L"月" + Field(match.str(2));
    }
    return DateReading(L"", first, second);
  }
  return ReadInteger(match.str(2), false, true) + L"分之" +
         ReadInteger(match.str(1), false, true);
}

std::wstring ReadDottedDate(const WideMatch& match) {
  const int month = ValueOf(match.str(2));
  const int day = ValueOf(match.str(3));
  // 从1.5开始 counts on from a number; 从9.10起 is a date.
  const std::wstring before = match.str(1);
  const bool value =
      match.matched(1) && (before != L"从" || match.str(4) == L"开始");
  if (!value && match.length(2) <= 2 && match.length(3) <= 2 &&
      IsMonth(month) && IsDay(day)) {
    return before + DateReading(L"", month, day);
  }
  return match.str(1) + ReadNumber(match.str(2) + L"." + match.str(3));
}

std::wstring ReadYearRange(const WideMatch& match) {
  if (ValueOf(match.str(2)) > ValueOf(match.str(1))) {
    return ReadDigits(match.str(1), false) + L"到" +
           ReadDigits(match.str(2), false);
  }
  return ReadInteger(match.str(1), false, true) + L"到" +
         ReadInteger(match.str(2), false, true);
}

std::wstring ReadYearOrYears(const WideMatch& match) {
  const std::wstring number = match.str(1);
  const std::wstring after = match.str(10);
  std::wstring reading;
  const bool dated = match.length(3) > 0 || match.length(5) > 0;
  const int value = ValueOf(number);
  bool year = false;
  if (dated) {
    year = true;
  } else if (after == L"级") {
    // 二年级, 十二年级: a grade, named by its number.
    return ReadInteger(number, false, true) + L"年";
  } else if (number.size() == 4) {
    // 2020年 is a year; 5000年 and 1000年前 are spans of time.
    year = value >= 1000 && value < 2100 &&
           !(value % 1000 == 0 && CountsYears(after));
  } else if (number.size() == 2) {
    // 98年 is a year, written short; 20年后 counts.
    year = !CountsYears(after);
  }
  reading = year ? ReadDigits(number, false) : ReadQuantity(number);
  reading += L"年";
  if (match.length(3) > 0) reading += Field(match.str(3)) + L"月";
  if (match.length(5) > 0) reading += Field(match.str(5)) + match.str(9);
  return reading;
}

std::wstring ReadEraYear(const WideMatch& match) {
  return match.str(1) + ReadDigits(match.str(2), false) + L"年";
}

std::wstring ReadRooms(const WideMatch& match) {
  return ReadQuantity(match.str(1)) + L"室" + ReadQuantity(match.str(2)) +
         L"厅";
}

std::wstring ReadYearsAfterCue(const WideMatch& match) {
  return match.str(1) + ReadQuantity(match.str(2)) + L"年";
}

}  // namespace speechnn
