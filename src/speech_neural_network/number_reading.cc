// Reading of ASCII digit strings as Chinese numerals: digit by digit
// (二零二三), positionally with 十, 百, 千, 万 and 亿 (二千零二十三), and
// decimals with 点.

#include <string>
#include <string_view>
#include <vector>

#include "absl/strings/str_split.h"
#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

constexpr char kYao[] = "幺";  // 1 in telephone numbers
constexpr char kYi[] = "一";
constexpr char kPoint[] = "点";
constexpr char kNotANumber[] =
    "The value does not conform to the numeric format";

const std::string kEmpty;

// The two maps as read by one reading; a key that is absent reads as
// nothing. Holds references into the maps, which the reading does not
// change.
class Numerals {
 public:
  Numerals(const std::map<std::string, std::string>& digits,
           const std::map<int, std::string>& units)
      : digit_map_(digits), unit_map_(units) {
    for (char c = '0'; c <= '9'; ++c) {
      const auto it = digits.find(std::string(1, c));
      digit_[c - '0'] = it == digits.end() ? &kEmpty : &it->second;
    }
  }

  const std::string& Digit(char c) const {
    if (c >= '0' && c <= '9') return *digit_[c - '0'];
    const auto it = digit_map_.find(std::string(1, c));
    return it == digit_map_.end() ? kEmpty : it->second;
  }

  const std::string& Unit(int places) const {
    const auto it = unit_map_.find(places);
    return it == unit_map_.end() ? kEmpty : it->second;
  }

 private:
  const std::map<std::string, std::string>& digit_map_;
  const std::map<int, std::string>& unit_map_;
  const std::string* digit_[10];
};

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
void AppendPositional(const Numerals& numerals, std::string_view num,
                      bool say_zero, std::string& out) {
  const std::size_t first = num.find_first_not_of('0');
  if (first == std::string_view::npos) return;
  const std::size_t length = num.size() - first;
  if (length == 1) {
    if (say_zero && num.size() > 1) out += numerals.Digit('0');
    out += numerals.Digit(num.back());
    return;
  }
  if (length >= 9) {
    // Splitting at 亿 peels eight digits off the end until at most eight
    // significant digits are left; done in a loop so that a number of any
    // length needs no deeper recursion than an eight-digit one.
    const std::size_t groups = (length - 1) / 8;
    const std::size_t high_size = num.size() - 8 * groups;
    AppendPositional(numerals, num.substr(0, high_size), say_zero, out);
    for (std::size_t start = high_size; start < num.size(); start += 8) {
      out += numerals.Unit(8);
      AppendPositional(numerals, num.substr(start, 8), say_zero, out);
    }
    return;
  }
  const int places = UnitPlaces(length);
  const std::size_t split = num.size() - places;
  AppendPositional(numerals, num.substr(0, split), say_zero, out);
  out += numerals.Unit(places);
  AppendPositional(numerals, num.substr(split), say_zero, out);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

void FrontEngineInterface::FillNumberMaps() {
  digit_map = {{"0", "零"}, {"1", "一"}, {"2", "二"}, {"3", "三"}, {"4", "四"},
               {"5", "五"}, {"6", "六"}, {"7", "七"}, {"8", "八"}, {"9", "九"}};
  // Decimal places a unit stands for; 十万, 百万 and 千万 come from the
  // recursion of the positional reading, never from this map.
  unit_map = {{1, "十"}, {2, "百"}, {3, "千"}, {4, "万"}, {8, "亿"}};
}

// Each digit by itself; anything else (a "-", a blank, the bytes of other
// characters) adds nothing.
std::string FrontEngineInterface::ReadDigits(const std::string& digits,
                                             bool use_yao) {
  digit_map["1"] = use_yao ? kYao : kYi;
  const Numerals numerals(digit_map, unit_map);
  std::string reading;
  reading.reserve(digits.size() * 3);
  for (const char c : digits) reading += numerals.Digit(c);
  return reading;
}

// With `say_zero` clear no 零 is ever said: used for months, days and clock
// fields, where 05 reads 五.
std::string FrontEngineInterface::ReadPositional(const std::string& num,
                                                 bool say_zero) {
  const Numerals numerals(digit_map, unit_map);
  std::string reading;
  AppendPositional(numerals, num, say_zero, reading);
  return reading;
}

std::string FrontEngineInterface::ReadInteger(const std::string& num,
                                              bool use_yao, bool say_zero) {
  digit_map["1"] = use_yao ? kYao : kYi;
  // A zero that is to be said must not vanish: 0个 is 零个, -0 is 负零.
  if (say_zero && !num.empty() &&
      num.find_first_not_of('0') == std::string::npos) {
    return digit_map["0"];
  }
  std::string reading = ReadPositional(num, say_zero);
  // 一十 at the very start is said 十 (10 → 十, 15 → 十五, 100000 → 十万);
  // inside a number it stays (110 → 一百一十).
  const std::string& one = digit_map["1"];
  const std::string& ten = unit_map[1];
  if (Utf8Length(one) == 1 && Utf8Length(ten) == 1 &&
      StartsWith(reading, one) &&
      reading.compare(one.size(), ten.size(), ten) == 0) {
    reading.erase(0, one.size());
  }
  return reading;
}

// An integer, or a number with one point whose fraction is read digit by
// digit. One trailing 0 of the fraction is dropped (1.50 → 一点五, 1.500 →
// 一点五零); when that leaves nothing to say after the point, 点 is not
// said either (1.0 → 一).
std::string FrontEngineInterface::ReadNumber(const std::string& text) {
  const std::vector<std::string> pieces =
      absl::StrSplit(text, absl::ByString("."));
  if (pieces.size() == 1) return ReadInteger(text, false, true);
  if (pieces.size() != 2) return kNotANumber;
  const std::string& integer = pieces[0];
  std::string fraction = pieces[1];
  const bool has_fraction_digits = !fraction.empty();
  if (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  const std::string fraction_reading = ReadDigits(fraction, false);
  if (fraction_reading.empty()) {
    if (!integer.empty()) return ReadInteger(integer, false, true);
    // ".0" is a zero too, and is said.
    return has_fraction_digits ? digit_map["0"] : std::string();
  }
  if (integer.empty()) return kPoint + fraction_reading;
  return ReadInteger(integer, false, true) + kPoint + fraction_reading;
}

std::string FrontEngineInterface::ReadNumberW(const std::wstring& text) {
  return ReadNumber(wstring2utf8string(text));
}

std::string FrontEngineInterface::ReadIntegerW(const std::wstring& text,
                                               bool say_zero) {
  return ReadInteger(wstring2utf8string(text), false, say_zero);
}

}  // namespace speechnn
