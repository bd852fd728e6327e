#include "speech_neural_network/markup/markup_values.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "absl/strings/ascii.h"
#include "absl/strings/match.h"
#include "absl/strings/str_split.h"
#include "absl/strings/strip.h"
#include "speech_neural_network/markup/text_views.h"
#include "speech_neural_network/normalize/number_reading.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

// A value an attribute names ("x-strong", "fast").
template <typename T>
struct Named {
  absl::string_view name;
  T value;
};

template <typename T, std::size_t N>
std::optional<T> Lookup(const Named<T> (&table)[N], absl::string_view name) {
  for (const Named<T>& named : table) {
    if (named.name == name) return named.value;
  }
  return std::nullopt;
}

// A non-negative decimal number ("1", "0.5", "1e9"), nothing around it.
std::optional<double> ReadNonNegative(absl::string_view text) {
  if (text.empty() ||
      (!absl::ascii_isdigit(static_cast<unsigned char>(text[0])) &&
       text[0] != '.')) {
    return std::nullopt;
  }
  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: either way far past a bound.
    return absl::StrContains(text, "e-") || absl::StrContains(text, "E-")
               ? 0.0
               : std::numeric_limits<double>::max();
  }
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  return value;
}

bool AllDigits(absl::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!absl::ascii_isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string Utf8(const std::wstring& wide) { return wstring2utf8string(wide); }

std::wstring Wide(absl::string_view text) {
  return utf8string2wstring(std::string(text));
}

std::string SpellDigits(std::string_view content) {
  std::wstring text = Wide(AbslView(content));
  SpellDigitRunsWhere(
      text, [](const std::wstring&, std::size_t, std::size_t) { return true; });
  return Utf8(text);
}

// The integer part of a cardinal the positional reading covers (亿亿 at most).
constexpr std::size_t kMaxCardinalDigits = 16;

std::optional<std::string> ReadCardinal(std::string_view content) {
  std::string number;
  for (const char c : content) {
    if (c != ',' && !absl::ascii_isspace(static_cast<unsigned char>(c))) {
      number += c;
    }
  }
  std::string sign;
  if (!number.empty() && (number[0] == '-' || number[0] == '+')) {
    if (number[0] == '-') sign = "负";
    number.erase(0, 1);
  }
  const std::vector<absl::string_view> halves = absl::StrSplit(number, '.');
  if (halves.size() > 2 || !AllDigits(halves[0]) ||
      halves[0].size() > kMaxCardinalDigits ||
      (halves.size() == 2 && !AllDigits(halves[1]))) {
    return std::nullopt;
  }
  return sign + Utf8(ReadNumber(Wide(number)));
}

// The days of `month` (1-12) in `year` of the Gregorian calendar.
int DaysIn(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30,
                                  31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::optional<std::string> ReadDate(std::string_view content) {
  const std::vector<absl::string_view> fields = absl::StrSplit(
      absl::StripAsciiWhitespace(AbslView(content)), absl::ByAnyChar("-/."));
  if (fields.size() < 2 || fields.size() > 3) return std::nullopt;
  for (absl::string_view field : fields) {
    if (!AllDigits(field) || field.size() > 4) return std::nullopt;
  }
  const int year = std::stoi(std::string(fields[0]));
  const int month = std::stoi(std::string(fields[1]));
  const int day = fields.size() == 3 ? std::stoi(std::string(fields[2])) : 1;
  if (month < 1 || month > 12 || day < 1 || day > DaysIn(year, month)) {
    return std::nullopt;
  }
  std::wstring text = ReadDigits(Wide(fields[0]), false) + L"年" +
                      ReadInteger(Wide(fields[1]), false, false) + L"月";
  if (fields.size() == 3) {
    text += ReadInteger(Wide(fields[2]), false, false) + L"日";
  }
  return Utf8(text);
}

}  // namespace

absl::StatusOr<double> ReadBreakTime(std::string_view time) {
  const absl::string_view text = absl::StripAsciiWhitespace(AbslView(time));
  if (absl::StartsWith(text, "-")) {
    return absl::InvalidArgumentError("a negative break time");
  }
  absl::string_view number = text;
  double scale = 1000;
  if (absl::ConsumeSuffix(&number, "ms")) {
    scale = 1;
  } else if (!absl::ConsumeSuffix(&number, "s")) {
    return absl::InvalidArgumentError("a break time without ms or s");
  }
  const std::optional<double> value = ReadNonNegative(number);
  if (!value) return absl::InvalidArgumentError("an unreadable break time");
  return *value > std::numeric_limits<double>::max() / scale
             ? std::numeric_limits<double>::max()
             : *value * scale;
}

std::optional<int> BreakStrengthMs(std::string_view strength) {
  static constexpr Named<int> kStrengths[] = {
      {"none", 0},     {"x-weak", 100}, {"weak", 250},
      {"medium", 500}, {"strong", 750}, {"x-strong", 1000},
  };
  return Lookup(kStrengths, AbslView(strength));
}

std::optional<double> ReadRate(std::string_view rate) {
  static constexpr Named<double> kRates[] = {
      {"x-slow", 0.5},  {"slow", 0.75}, {"medium", 1.0},
      {"default", 1.0}, {"fast", 1.25}, {"x-fast", 1.5},
  };
  absl::string_view text = absl::StripAsciiWhitespace(AbslView(rate));
  if (std::optional<double> named = Lookup(kRates, text)) return named;
  const bool percent = absl::ConsumeSuffix(&text, "%");
  std::optional<double> value = ReadNonNegative(text);
  if (!value || *value <= 0) return std::nullopt;
  return percent ? *value / 100 : *value;
}

std::optional<std::string> RewriteSayAs(std::string_view interpret_as,
                                        std::string_view content) {
  if (interpret_as == "characters" || interpret_as == "digits") {
    return SpellDigits(content);
  }
  if (interpret_as == "telephone") {
    if (content.find_first_of("0123456789") == std::string_view::npos) {
      return std::nullopt;
    }
    return Utf8(ReadDigits(Wide(AbslView(content)), true));
  }
  if (interpret_as == "cardinal") return ReadCardinal(content);
  if (interpret_as == "date") return ReadDate(content);
  return std::nullopt;
}

}  // namespace speechnn
