#include "speech_neural_network/normalize/everyday_rules.h"

#include <vector>

#include "speech_neural_network/normalize/everyday_readers.h"
#include "speech_neural_network/normalize/measures.h"
#include "speech_neural_network/normalize/number_reading.h"

namespace speechnn {
namespace {

using Starts = WideRegex::Starts;

// A number as written before a unit or after a currency: 1,280 or 99.9.
constexpr wchar_t kAmount[] = LR"((\d+(?:,\d{3})*(?:\.\d+)?))";

// Groups of digits joined by "-" or blanks that make a telephone number:
// a mobile number 3-4-4, a service line 400/800 3-3-4, an area code (in
// brackets or not) and the number, and any of these after a country code
// (+86, (+86), 0086); and a mobile number 3-4-4 joined by points.
constexpr wchar_t kGroupedPhone[] =
    LR"((?:(?:\+|00)\d{1,3}[ \-]?|\(\+\d{1,3}\) ?)?(?:1[3-9]\d[ \-]\d{4}[ \-]\d{4}|[48]00[ \-]\d{3}[ \-]\d{4}|(?:\(0\d{2,3}\) ?|0\d{2,3}[ \-])\d{3,4}[ \-]?\d{4})(?![0-9])|(?:\+\d{1,3}|\(\+\d{1,3}\)|00\d{1,3})[ \-]?(?:1[3-9]\d{9}|\d{1,4}[ \-]\d{3,4}[ \-]?\d{4})(?![0-9])|1[3-9]\d\.\d{4}\.\d{4}(?![0-9.]))";

// A sum, an equation or a comparison: numbers joined by signs, at least one
// of which is no "-" or "/" (3-5 is a range, 3/4 a fraction).
constexpr wchar_t kOperand[] = LR"(-?\d+(?:\.\d+)?[%²³]?)";
constexpr wchar_t kAnySign[] = LR"( ?[\-/+×÷*=<>≤≥≠≈] ?)";
constexpr wchar_t kStrongSign[] = LR"( ?[+×÷*=<>≤≥≠≈] ?)";

// The dashes written between the two ends of a span of years or dates,
// the doubled em dash included.
constexpr wchar_t kSpanDash[] = LR"( ?(?:——|[\-~～—–]) ?)";

// The Latin letters, written out: a pattern names every character its
// matches may hold (wide_regex.h).
constexpr wchar_t kLetters[] =
    L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Words after a score that say it is one (3-1战胜).
constexpr wchar_t kResultWords[] =
    LR"(获胜|取胜|战胜|击败|赢|胜|负|输|落败|战平|打平|逆转|大胜|险胜|完胜|小胜|横扫|领先|落后|拿下)";

// Words after a month/day written with "/" that say it is a date.
constexpr wchar_t kDateWords[] =
    LR"(起|前|后|至|到|开始|截止|当天|大促|促销|活动|生效|上线|发布|凌晨|上午|下午|晚上|中午|零点|号|日|)";

// Words after a month and day written with a point (9.10起) that say it
// is a date; a decimal seldom stands before them.
constexpr wchar_t kDottedDateWords[] =
    LR"(起(?![步跳价])|开始|恢复|当天|截止|生效|上线|发布|实施|执行|开售|发售|开幕|开业|开学|放假|举行|举办|正式|凌晨|零点|上午|下午|晚上|中午|早上)";

std::wstring CurrencyAlternation(bool codes_only) {
  std::wstring alternation;
  for (const Currency& currency : Currencies()) {
    if (codes_only && !currency.code) continue;
    if (!alternation.empty()) alternation += L'|';
    for (const wchar_t c : currency.symbol) {
      if (c == L'$') alternation += L'\\';
      alternation += c;
    }
    if (currency.code && !codes_only) alternation += L" ?";
  }
  return alternation;
}

std::wstring Expression() {
  const std::wstring tail = std::wstring(L"(?:") + kAnySign + kOperand + L")*";
  return kOperand + tail + kStrongSign + kOperand + tail;
}

struct Row {
  const char* name;
  std::wstring pattern;
  Starts starts;
  std::wstring (*reader)(const WideMatch& match);
  // See NormalizationRule::needs.
  std::wstring needs;
};

// The first characters of the symbols of a table: a match holds one.
template <typename Row>
std::wstring FirstCharacters(absl::Span<const Row> rows, bool codes_only) {
  std::wstring starts;
  for (const Row& row : rows) {
    if (codes_only && !row.code) continue;
    if (starts.find(row.symbol[0]) == std::wstring::npos) {
      starts += row.symbol[0];
    }
  }
  return starts;
}

std::vector<Row> Rows() {
  const std::wstring amount = kAmount;
  const std::wstring units = UnitAlternation();
  const std::wstring per = PerUnitAlternation();
  const std::wstring letter = std::wstring(L"[") + kLetters + L"]";
  return {
      {"money_before",
       L"(" + CurrencyAlternation(false) + L")" + amount + L"(万|亿|千)?",
       Starts::kAnywhere, ReadMoneyBefore,
       FirstCharacters(Currencies(), false)},
      {"money_after",
       amount + L" ?(" + CurrencyAlternation(true) + L")(?![A-Za-z])",
       Starts::kDigitRunStartOnly, ReadMoneyAfter,
       FirstCharacters(Currencies(), true)},
      // 5元/斤, 80次/分, 300元/间/晚: the slash between two unit words is
      // 每.
      {"per_unit",
       L"(元|块|美元|欧元|英镑|日元|港元|公里|千米|米|公斤|千克|克|升|毫升|次|"
       L"人|个|件|张|台|辆|位|份|套|本|瓶|盒|箱|袋|包|斤|吨|度|步|字|页|杯|间|"
       L"晚)/(" +
           per + L")(?![A-Za-z])",
       Starts::kAnywhere, ReadPerUnit, L"/"},
      {"temperature_range",
       LR"((-?\d+(?:\.\d+)?)(?:°C|℃|度)?[\-~～](-?\d+(?:\.\d+)?)(°C|℃|度))",
       Starts::kDigitRunStartOnly, ReadTemperatureRange, L"-~～"},
      // A measure or a range of them: 180cm, 170-180cm.
      {"measure",
       amount + LR"((?:[\-~～])" + amount + L")? ?(" + units + L")(?:/(" + per +
           L"))?(?![A-Za-z])",
       Starts::kDigitRunStartOnly, ReadMeasure,
       FirstCharacters(Units(), false)},
      {"grouped_phone", kGroupedPhone, Starts::kAnywhere, ReadGroupedPhone,
       L"-( +."},
      {"year_range",
       std::wstring(LR"(((?:1[0-9]|20)[0-9]{2}))") + kSpanDash +
           LR"(((?:1[0-9]|20)[0-9]{2})(?![0-9]))",
       Starts::kAnywhere, ReadYearRange, L"-~～—–"},
      // 3月5日—4月2日, 6月1日-9日: a dash between the word that ends a date
      // and the next date is 到, never a minus sign.
      {"date_range",
       std::wstring(LR"(([年月日号]))") + kSpanDash +
           LR"((?=\d{1,4}[年月日号]))",
       Starts::kAnywhere, ReadDateSpanDash, L"-~～—–"},
      {"expression", Expression(), Starts::kDigitRunStartOnly, ReadExpression,
       L"+×÷*=<>≤≥≠≈"},
      // x>5, t<0, 0<x: a letter compared with a number; < and > are no
      // markup in plain text.
      {"comparison",
       L"(" + letter + L"[" + kLetters +
           LR"(0-9_]*) ?([<>≤≥≠]) ?(-?\d+(?:\.\d+)?)(?![0-9.])|(-?\d+(?:\.\d+)?) ?([<>≤≥≠]) ?()" +
           letter + L")",
       Starts::kAnywhere, ReadComparison, L"<>≤≥≠"},
      {"score_after_word",
       LR"((比分是|比分为|比分|战成|打成)(\d+)[:\-](\d+)(?![0-9]))",
       Starts::kAnywhere, ReadScore, L"比战打"},
      {"score_before_result",
       std::wstring(LR"(()(\d+)[:\-](\d+)(?=)") + kResultWords + L")",
       Starts::kDigitRunStartOnly, ReadScore, L":-"},
      // 用时1:05:30: after a word that times a race or a task, h:mm:ss is
      // a duration.
      {"duration_after_word",
       LR"((成绩|用时|耗时|跑出|历时|时长|完赛|净时间)(是|为|:|：)?(\d{1,2}):([0-5][0-9]):([0-5][0-9])(?![0-9]))",
       Starts::kAnywhere, ReadDuration, L"成用耗跑历时完净"},
      {"twelve_hour_time",
       LR"((\d{1,2})(:([0-5][0-9]))? ?([aApP])\.?[mM]\.?(?![A-Za-z]))",
       Starts::kAnywhere, ReadTwelveHourTime, L"aApP"},
      {"clock_range",
       LR"(([01]?[0-9]|2[0-4]):([0-5][0-9]) ?[\-~～—–至到] ?([01]?[0-9]|2[0-4]):([0-5][0-9])(?![0-9]))",
       Starts::kAnywhere, ReadClockRange, L":"},
      // 2020-7-1, 2020/07/01, 2020.7.1, 2023 10 20: the same separator
      // twice.
      {"numeric_date",
       LR"((\d{4})([- /.])(0?[1-9]|1[012])\2(0?[1-9]|[12][0-9]|3[01])(?![0-9]))",
       Starts::kAnywhere, ReadNumericDate, L"- /."},
      // 25/12/2020, 12-25-2020: the same separator twice.
      {"day_month_year", LR"((\d{1,2})([/\-])(\d{1,2})\2(\d{4})(?![0-9]))",
       Starts::kAnywhere, ReadDayMonthYear, L"/-"},
      {"year_month",
       LR"(((?:1[0-9]|20)[0-9]{2})[/\-](0?[1-9]|1[0-2])(?![0-9/\-.]))",
       Starts::kAnywhere, ReadYearMonth, L"/-"},
      // 9.10起: a month and day written with a point, told from a decimal
      // by the word after it; after a word of prices (低至9.9起) it is one.
      {"dotted_date",
       std::wstring(
           LR"((低至|低到|仅需|只要|仅|最低|售价|特价|单价|券后|到手价|到手|从)?(\d+)\.(\d+)(?![0-9.])(?=()") +
           kDottedDateWords + L"))",
       Starts::kDigitRunStartOnly, ReadDottedDate, L"."},
      {"slash_date",
       std::wstring(LR"((\d+)/(\d+)(?![0-9/])(?=()") + kDateWords + L"))",
       Starts::kDigitRunStartOnly, ReadSlashDate, L"/"},
  };
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

absl::Span<const NormalizationRule> EverydayRules() {
  struct Table {
    std::vector<Row> rows = Rows();
    std::vector<NormalizationRule> rules;
  };
  static const Table* const table = [] {
    auto* built = new Table;
    for (const Row& row : built->rows) {
      built->rules.push_back(
          {row.name, row.pattern, row.starts, 0, row.reader, row.needs});
    }
    return built;
  }();
  return table->rules;
}

void ReadEverydayForms(std::wstring& sentence) {
  for (const NormalizationRule& rule : EverydayRules()) {
    ApplyRule(rule, sentence);
  }
}

void FoldColonsBetweenDigits(std::wstring& sentence) {
  for (std::size_t i = 1; i + 1 < sentence.size(); ++i) {
    if (sentence[i] == L'：' && IsDigit(sentence[i - 1]) &&
        IsDigit(sentence[i + 1])) {
      sentence[i] = L':';
    }
  }
}

std::wstring ReadGroupedPhone(const WideMatch& match) {
  return ReadDigits(match.str(0), true);
}

std::wstring ReadDateSpanDash(const WideMatch& match) {
  return match.str(1) + L"到";
}

std::wstring ReadServiceNumber(const WideMatch& match) {
  const std::wstring joint = match.str(2);
  const bool said = joint == L"是" || joint == L"为" || joint == L"：";
  return match.str(1) + (said ? joint : L"") + ReadDigits(match.str(3), true);
}

}  // namespace speechnn
