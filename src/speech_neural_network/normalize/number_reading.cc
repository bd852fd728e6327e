#include "speech_neural_network/normalize/number_reading.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace speechnn {
namespace {

constexpr wchar_t kDigits[] = L"零一二三四五六七八九";
constexpr wchar_t kYao = L'幺';  // 1 in telephone numbers
constexpr wchar_t kTen = L'十';
constexpr wchar_t kPoint = L'点';
constexpr wchar_t kNotANumber[] =
    L"The value does not conform to the numeric format";

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

wchar_t DigitReading(wchar_t c, bool use_yao) {
  return use_yao && c == L'1' ? kYao : kDigits[c - L'0'];
}

// The unit that splits a number of `places` decimal places, by places: 十
// for 1, 百 for 2, 千 for 3, 万 for 4 and 亿 for 8; 十万, 百万 and 千万
// come from the recursion of the positional reading.
wchar_t Unit(int places) {
  switch (places) {
    case 1:
      return kTen;
    case 2:
      return L'百';
    case 3:
      return L'千';
    case 4:
      return L'万';
    default:
      return L'亿';
  }
}

// Decimal places of the unit that splits a number of `length` significant
// digits: 十 for 2, 百 for 3, 千 for 4, 万 for 5 to 8, 亿 beyond.
int UnitPlaces(std::size_t length) {
  if (length <= 4) return static_cast<int>(length) - 1;
  return length <= 8 ? 4 : 8;
}

// Appends the positional reading of `num`: the high part (all but the last
// `places` digits), the unit, then the low part, each read the same way.
// The low part keeps its leading zeros, which is what makes a gap read as
// one 零 (一千零一) and an all-zero low part read as nothing (一千).
void AppendPositional(std::wstring_view num, bool use_yao, bool say_zero,
                      std::wstring& out) {
  const std::size_t first = num.find_first_not_of(L'0');
  if (first == std::wstring_view::npos) return;
  const std::size_t length = num.size() - first;
  if (length == 1) {
    if (say_zero && num.size() > 1) out += kDigits[0];
    if (IsDigit(num.back())) out += DigitReading(num.back(), use_yao);
    return;
  }
  if (length >= 9) {
    // Splitting at 亿 peels eight digits off the end until at most eight
    // significant digits are left; done in a loop so that a number of any
    // length needs no deeper recursion than an eight-digit one.
    const std::size_t groups = (length - 1) / 8;
    const std::size_t high_size = num.size() - 8 * groups;
    AppendPositional(num.substr(0, high_size), use_yao, say_zero, out);
    for (std::size_t start = high_size; start < num.size(); start += 8) {
      out += Unit(8);
      AppendPositional(num.substr(start, 8), use_yao, say_zero, out);
    }
    return;
  }
  const int places = UnitPlaces(length);
  const std::size_t split = num.size() - places;
  AppendPositional(num.substr(0, split), use_yao, say_zero, out);
  out += Unit(places);
  AppendPositional(num.substr(split), use_yao, say_zero, out);
}

}  // namespace

std::wstring ReadDigits(std::wstring_view digits, bool use_yao) {
  std::wstring reading;
  reading.reserve(digits.size());
  for (const wchar_t c : digits) {
    if (IsDigit(c)) reading += DigitReading(c, use_yao);
  }
  return reading;
}

std::wstring ReadPositional(std::wstring_view num, bool say_zero) {
  std::wstring reading;
  AppendPositional(num, false, say_zero, reading);
  return reading;
}

std::wstring ReadInteger(std::wstring_view num, bool use_yao, bool say_zero) {
  // A zero that is to be said must not vanish: 0个 is 零个, -0 is 负零.
  if (say_zero && !num.empty() &&
      num.find_first_not_of(L'0') == std::wstring_view::npos) {
    return std::wstring(1, kDigits[0]);
  }
  std::wstring reading;
  AppendPositional(num, use_yao, say_zero, reading);
  // 一十 at the very start is said 十 (10 → 十, 15 → 十五, 100000 → 十万);
  // inside a number it stays (110 → 一百一十).
  if (reading.size() >= 2 && reading[0] == DigitReading(L'1', use_yao) &&
      reading[1] == kTen) {
    reading.erase(0, 1);
  }
  return reading;
}

// One trailing 0 of the fraction is dropped (1.50 → 一点五, 1.500 →
// 一点五零), but never the only digit after the point: 1.0 is written with
// its point, and is said 一点零, not as the integer 一.
std::wstring ReadNumber(std::wstring_view text) {
  const std::size_t point = text.find(L'.');
  if (point == std::wstring_view::npos) return ReadInteger(text, false, true);
  if (text.find(L'.', point + 1) != std::wstring_view::npos) {
    return kNotANumber;
  }
  const std::wstring_view integer = text.substr(0, point);
  std::wstring_view fraction = text.substr(point + 1);
  if (fraction.size() > 1 && fraction.back() == L'0') {
    fraction.remove_suffix(1);
  }
  const std::wstring fraction_reading = ReadDigits(fraction, false);
  // Nothing after the point (1.) reads as the integer alone.
  if (fraction_reading.empty()) {
    return integer.empty() ? std::wstring() : ReadInteger(integer, false, true);
  }
  if (integer.empty()) return kPoint + fraction_reading;
  return ReadInteger(integer, false, true) + kPoint + fraction_reading;
}

void SpellDigitRunsWhere(std::wstring& sentence,
                         bool (*spell)(const std::wstring& sentence,
                                       std::size_t begin, std::size_t end)) {
  const auto is_digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
  std::size_t i = 0;
  while (i < sentence.size()) {
    if (!is_digit(sentence[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < sentence.size() && is_digit(sentence[end])) ++end;
    if (spell(sentence, i, end)) {
      const std::wstring reading =
          ReadDigits(std::wstring_view(sentence).substr(i, end - i), false);
      sentence.replace(i, end - i, reading);
      end = i + reading.size();
    }
    i = end;
  }
}

}  // namespace speechnn
