#include "speech_neural_network/normalize/normalization_rules.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "speech_neural_network/normalize/everyday_readers.h"
#include "speech_neural_network/normalize/everyday_rules.h"
#include "speech_neural_network/normalize/expressions.h"
#include "speech_neural_network/normalize/number_reading.h"
#include "speech_neural_network/normalize/number_shapes.h"
#include "speech_neural_network/normalize/quantity_reading.h"
#include "speech_neural_network/normalize/text_forms.h"

namespace speechnn {
namespace {

using Starts = WideRegex::Starts;

// A sign group reads 负 only when it is exactly one minus sign.
std::wstring Sign(const WideMatch& match, std::size_t group) {
  return match.str(group) == L"-" ? L"负" : L"";
}

// The group's text, or the other group's when the first is empty: the
// decimal patterns give a number either with digits before the point or as
// ".digits", in different groups.
std::wstring FirstNonEmpty(const WideMatch& match, std::size_t preferred,
                           std::size_t fallback) {
  std::wstring text = match.str(preferred);
  return text.empty() ? match.str(fallback) : text;
}

bool HasAsciiDigit(const std::wstring& sentence) {
  return std::any_of(sentence.begin(), sentence.end(),
                     [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// -5℃, 36.5°C, 20度; 摄氏度 is kept as written, the other units read 度.
std::wstring Temperature(const WideMatch& match) {
  const wchar_t* unit = match.str(4) == L"摄氏度" ? L"摄氏度" : L"度";
  return Sign(match, 1) + ReadNumber(match.str(2)) + unit;
}

// 3/4 is said denominator first: 四分之三.
std::wstring Fraction(const WideMatch& match) {
  return Sign(match, 1) + ReadInteger(match.str(3), false, true) + L"分之" +
         ReadInteger(match.str(2), false, true);
}

// 50% → 百分之五十; the sign comes before 百分之.
std::wstring Percent(const WideMatch& match) {
  return Sign(match, 1) + L"百分之" + ReadNumber(match.str(2));
}

// 5%-10%, 5-10%: a range of percentages, each end said with 百分之 (the
// "-" between them is no minus sign).
std::wstring PercentRange(const WideMatch& match) {
  return Sign(match, 1) + L"百分之" + ReadNumber(match.str(2)) + L"到" +
         Sign(match, 5) + L"百分之" + ReadNumber(match.str(6));
}

// Telephone numbers are read digit by digit with 幺; "+", blanks and "-"
// read as nothing.
std::wstring PhoneNumber(const WideMatch& match) {
  return ReadDigits(match.str(0), true);
}

// 555-1234: three digits, a hyphen and four, is how a local telephone
// number is written. Two ends that both end in 0 (100-1000) are a range.
// Groups of the range pattern: 1 and 8 the two ends as written, 4 and 11
// their digits before any point.
bool IsLocalTelephone(const WideMatch& match) {
  const std::wstring first = match.str(4);
  const std::wstring second = match.str(11);
  return first.size() == 3 && second.size() == 4 && match.str(1) == first &&
         match.str(8) == second && match.str(0)[3] == L'-' &&
         !(first.back() == L'0' && second.back() == L'0');
}

// One end of a range: a count before a counted word (1-2天 is 一到两天).
std::wstring RangeEnd(const WideMatch& match, std::size_t number,
                      std::size_t point_only, std::size_t sign) {
  const std::wstring text = FirstNonEmpty(match, point_only, number);
  const std::wstring reading = text.find(L'.') == std::wstring::npos
                                   ? ReadCountBefore(text, match.str(15))
                                   : ReadNumber(text);
  return Sign(match, sign) + reading;
}

// 3-5, 1~3, -5~-3: both ends read as numbers, joined by 到. Group 15 holds
// the words after the range.
std::wstring Range(const WideMatch& match) {
  if (IsLocalTelephone(match)) return PhoneNumber(match);
  return RangeEnd(match, 3, 6, 2) + L"到" + RangeEnd(match, 10, 13, 9);
}

std::wstring Negative(const WideMatch& match) {
  return L"负" + ReadInteger(match.str(2), false, true);
}

// A signed number or ".digits" (groups 5 and 2 of the decimal patterns).
std::wstring SignedNumber(const WideMatch& match) {
  return Sign(match, 1) + ReadNumber(FirstNonEmpty(match, 5, 2));
}

// A count before a measure word says 两 (两个, 两千米) unless the word
// makes the number a name (二月, 二日, 二单元). Group 10 holds what follows
// the measure word.
std::wstring Count(const WideMatch& match) {
  return NamesTheNumber(match.str(3) + match.str(10))
             ? ReadInteger(match.str(1), false, true)
             : ReadQuantity(match.str(1));
}

std::wstring Ordinal(const WideMatch& match) {
  return L"第" + ReadInteger(match.str(1), false, true);
}

// 等于100, 大于-3, 等于2个: a value, counted when a counting word follows.
// Groups 1 the word, 3 the number, 4 its fraction, 5 what follows.
std::wstring ValueAfterSign(const WideMatch& match) {
  const std::wstring number = match.str(3);
  const bool counted = match.length(4) == 0 && CountsTheNumber(match.str(5));
  return match.str(1) + Sign(match, 2) +
         (counted ? ReadQuantity(number) : ReadNumber(number));
}

// A number after a word that makes it an amount (共2000, 余额3500), unless
// the word after it names the number (约2楼 is 约二楼). Group 3 holds what
// follows.
std::wstring AmountAfterWord(const WideMatch& match) {
  const std::wstring number = match.str(2);
  return match.str(1) + (NamesTheNumber(match.str(3))
                             ? ReadInteger(number, false, true)
                             : ReadQuantity(number));
}

// A run too long for any count: a code, read digit by digit like a
// telephone number.
std::wstring Code(const WideMatch& match) {
  return ReadDigits(match.str(0), true);
}

std::wstring DigitString(const WideMatch& match) {
  return ReadDigits(match.str(0), false);
}

// A four-digit number from 1901 to 2099 that is not a round hundred: a year
// (2008奥运会, 2023赛季), not a count.
bool LooksLikeYear(std::wstring_view digits) {
  return digits.size() == 4 &&
         (digits.substr(0, 2) == L"19" || digits.substr(0, 2) == L"20") &&
         digits.substr(2) != L"00";
}

// The service numbers of banks, carriers and public lines (95588, 96110,
// 12306, 10086): said digit by digit wherever they stand.
bool LooksLikeServiceNumber(std::wstring_view digits) {
  if (digits.size() != 5) return false;
  const std::wstring_view head = digits.substr(0, 3);
  return digits.substr(0, 2) == L"95" || digits.substr(0, 2) == L"96" ||
         head == L"123" || (head == L"100" && digits.substr(3) != L"00");
}

// A count before a noun (128人, 100000000人) reads as a number, with 两 for
// 2 before a word that counts (两人, 两小时). Runs of more than twelve
// digits, with a leading zero, or shaped like a year stay digit by digit,
// as the digit-string rule reads them. Group 2 holds what follows.
std::wstring CountBeforeNoun(const WideMatch& match) {
  const std::wstring digits = match.str(1);
  if (LooksLikeServiceNumber(digits)) return ReadDigits(digits, true);
  const bool count =
      digits.size() <= 12 && digits[0] != L'0' && !LooksLikeYear(digits);
  return count || digits.size() == 1 ? ReadCountBefore(digits, match.str(2))
                                     : ReadDigits(digits, false);
}

constexpr NormalizationRule kRules[] = {
    {"era_year", LR"((公元前|公元)(\d+)年)", Starts::kAnywhere, 0, ReadEraYear},
    // A span of years after a word that makes it one (了15年, 近40年).
    {"years_after_word",
     LR"((了|近|约|长达|整整|足足|已经|已|有|过去|这|满|共|历时|将近|大约|第)(\d{1,3})年)",
     Starts::kAnywhere, 0, ReadYearsAfterCue},
    // A year (2020年, 98年), a date, or a span of years, told apart by the
    // number and by the words after 年 (group 10: 20年后, 1000多年).
    {"chinese_date",
     LR"((\d+)年((0?[1-9]|1[0-2])月)?(((0?[1-9])|((1|2)[0-9])|30|31)([日号]))?(?=(级|后|前|来|间|内|里|多|余|半|以来|以上|以下|左右|之久|之后|之前|的时间|的历史|历史|文明|不变|了|牢|)))",
     Starts::kDigitRunStartOnly, 0, ReadYearOrYears},
    // 24:00 is the end of the day, a time like any other. Minutes have two
    // digits, no more: 1:500 is a ratio.
    {"clock_time",
     LR"((24(?=:00)|[0-1]?[0-9]|2[0-3]):([0-5][0-9])(:([0-5][0-9]))?(?![0-9]))",
     Starts::kAnywhere, 0, ReadClockTime},
    // Any other colon between numbers is a ratio or a score: 2:1, 16:9.
    {"ratio", LR"(()(\d+):(\d+))", Starts::kDigitRunStartOnly, 0, ReadScore},
    {"temperature", LR"((-?)(\d+(\.\d+)?)(°C|℃|度|摄氏度))",
     Starts::kDigitRunStartOnly, 0, Temperature},
    {"fraction", LR"((-?)(\d+)/(\d+))", Starts::kDigitRunStartOnly, 0,
     Fraction},
    {"percent_range", LR"((-?)(\d+(\.\d+)?)(%?)[-~](-?)(\d+(\.\d+)?)%)",
     Starts::kDigitRunStartOnly, 0, PercentRange},
    {"percent", LR"((-?)(\d+(\.\d+)?)%)", Starts::kDigitRunStartOnly, 0,
     Percent},
    // After 等于, 大于 or 小于 (the signs said, or written so) a number is
    // a value: 等于100 is 等于一百, never 一零零.
    {"number_after_equals",
     LR"((等于|大于|小于)(-?)(\d{1,12}(\.\d+)?)(?![0-9]|\.\d)(?=([一-鿿]?[一-鿿]?)))",
     Starts::kAnywhere, 0, ValueAfterSign, L"于"},
    // A hotline or a code after the word that introduces it (拨打95588,
    // 客服电话400, 尾号1234).
    {"number_after_word",
     LR"((拨打|致电|拨|热线|电话|客服|呼叫|号码|短信|发送|尾号|编号|工号|账号|单号|卡号|房号|门牌号|验证码|密码|车次|航班|邮编|代码|学号)(是|为|:|：| )?(\d{3,8})(?![0-9.\-]))",
     Starts::kAnywhere, 0, ReadServiceNumber},
    {"long_code", LR"(\d{13}\d*)", Starts::kDigitRunStartOnly, 0, Code},
    // Mobile numbers, with an optional +86 prefix. A digit right before or
    // after belongs to the match and is read with it.
    {"mobile_phone",
     LR"((\d)?((\+?86 ?)?1([38]\d|5[0-35-9]|7[678]|9[89])\d{8})(\d)?)",
     Starts::kAnywhere, 0, PhoneNumber},
    // Runs of eleven or twelve digits that are no mobile number.
    {"code", LR"(\d{11}\d*)", Starts::kDigitRunStartOnly, 0, Code},
    // Landline numbers with an optional area code, and with it any run of
    // seven to ten digits not starting with 0, unless the run ends in 000
    // before a Chinese character: a count (1000000元, 100000000人).
    {"telephone",
     LR"((?!\d*000[一-鿿])(\d)?((0(10|2[1-3]|[3-9]\d{2})-?)?[1-9]\d{6,7})(\d)?)",
     Starts::kAnywhere, 0, PhoneNumber},
    {"range",
     LR"(((-?)((\d+)(\.\d+)?)|(\.(\d+)))[-~]((-?)((\d+)(\.\d+)?)|(\.(\d+)))(?=([一-鿿]?[一-鿿]?[一-鿿]?)))",
     Starts::kDigitRunStartOnly, 0, Range},
    // Not the integer part of a decimal, which the decimal rule reads whole
    // (-1.0 is 负一点零, not 负一 and a separate 点零).
    {"negative", LR"((-)(\d+)(?!\d|\.\d))", Starts::kAnywhere, 0, Negative},
    // 3.14, -2.5, .5. The alternation binds loosest: the sign belongs to the
    // first form only.
    {"decimal", LR"((-?)((\d+)(\.\d+))|(\.(\d+)))", Starts::kDigitRunStartOnly,
     0, SignedNumber},
    {"ordinal", LR"(第(\d+))", Starts::kAnywhere, 0, Ordinal},
    // Flats are told by their rooms: 2室1厅 is 两室一厅.
    {"rooms", LR"((\d)室(\d)厅)", Starts::kAnywhere, 0, ReadRooms},
    {"amount_after_word",
     LR"((共|一共|总共|共计|合计|总计|累计|约|大约|达|达到|超过|不到|将近|仅|只有|余额|售价|价格是|价格为|价格|金额|总分|人数|增至|降至|高达|多达|至少|最多)(\d+)(?![0-9])(?=([一-鿿]?[一-鿿]?)))",
     Starts::kAnywhere, 0, AmountAfterWord},
    // A count before a measure word (3个, 10多元, 2000元): only the digits are
    // replaced; the approximation (多, 余, 几) and the measure word stay. The
    // list names some words twice, which changes nothing.
    {"measure_word",
     LR"((\d+)([多余几])?)"
     LR"((朵|匹|张|座|回|场|尾|条|个|首|阙|阵|网|炮|顶|丘|棵|只|支|袭|辆|挑|担|颗|壳|窠|曲|墙|群|腔|砣|座|客|贯|扎|捆|刀|令|打|手|罗|坡|山|岭|江|溪|钟|队|单|双|对|出|口|头|脚|板|跳|枝|件|贴|针|线|管|名|位|身|堂|课|本|页|家|户|层|丝|毫|厘|分|钱|两|斤|担|铢|石|钧|锱|忽|(千|毫|微)克|毫|厘|(公)分|分|寸|尺|丈|里|寻|常|铺|程|(千|分|厘|毫|微)米|米|撮|勺|合|升|斗|石|盘|碗|碟|叠|桶|笼|盆|盒|杯|钟|斛|锅|簋|篮|盘|桶|罐|瓶|壶|卮|盏|箩|箱|煲|啖|袋|钵|年|月|日|季|刻|时|周|天|秒|分|旬|纪|岁|世|更|夜|春|夏|秋|冬|代|伏|辈|丸|泡|粒|颗|幢|堆|条|根|支|道|面|片|张|颗|块|元|(亿|千万|百万|万|千|百)|(亿|千万|百万|万|千|百|美|)元|(亿|千万|百万|万|千|百|)块|角|毛|分))"
     LR"((?=([一-鿿]?[一-鿿]?)))",
     Starts::kDigitRunStartOnly, 1, Count},
    // Any other count before a Chinese character (128人参加), unless what
    // follows makes it a code or an identifier (110报警, 302房间, 5号,
    // 404错误).
    {"count",
     LR"((\d+)(?![号室房路报急求电热客服投举转错])(?=([一-鿿][一-鿿]?[一-鿿]?)))",
     Starts::kDigitRunStartOnly, 0, CountBeforeNoun},
    // Runs of three or more digits still left (years on their own, codes)
    // are read digit by digit: 2023 → 二零二三.
    {"digit_string", LR"(\d{3}\d*)", Starts::kDigitRunStartOnly, 0,
     DigitString},
    // Whatever numbers remain: one or two digits, possibly signed or decimal.
    {"number", LR"((-?)((\d+)(\.\d+)?)|(\.(\d+)))", Starts::kDigitRunStartOnly,
     0, SignedNumber},
};

constexpr std::size_t kRuleCount = sizeof(kRules) / sizeof(kRules[0]);

// The compiled patterns of both tables, by row: the number rules, then the
// everyday rows; built together on first use.
const WideRegex& Compiled(const NormalizationRule& rule) {
  static const std::vector<std::unique_ptr<WideRegex>> compiled = [] {
    std::vector<std::unique_ptr<WideRegex>> patterns;
    for (const NormalizationRule& row : kRules) {
      patterns.push_back(std::make_unique<WideRegex>(row.pattern, row.starts));
    }
    for (const NormalizationRule& row : EverydayRules()) {
      patterns.push_back(std::make_unique<WideRegex>(row.pattern, row.starts));
    }
    return patterns;
  }();
  const bool number_rule = &rule >= kRules && &rule < kRules + kRuleCount;
  const std::size_t row =
      number_rule
          ? static_cast<std::size_t>(&rule - kRules)
          : kRuleCount +
                static_cast<std::size_t>(&rule - EverydayRules().data());
  return *compiled[row];
}

}  // namespace

absl::Span<const NormalizationRule> NormalizationRules() {
  return absl::MakeConstSpan(kRules, kRuleCount);
}

void ApplyRule(const NormalizationRule& rule, std::wstring& sentence) {
  if (!rule.needs.empty() &&
      sentence.find_first_of(rule.needs.data(), 0, rule.needs.size()) ==
          std::wstring::npos) {
    return;
  }
  Compiled(rule).ReplaceAll(sentence, rule.target_group, rule.reader);
}

void NormalizeSentence(std::wstring& sentence) {
  ReadTextForms(sentence);
  if (HasAsciiDigit(sentence)) {
    FoldColonsBetweenDigits(sentence);
    DropHyphensInNames(sentence);
    ReadEverydayForms(sentence);
    ReadGroupedNumbers(sentence);
    ReadDigitsOfNames(sentence);
  }
  // After the sums and units, which read their own signs (m², 1+1=2).
  ReadMathSigns(sentence);
  for (const NormalizationRule& rule : kRules) {
    // Every pattern needs an ASCII digit and no reading contains one, so
    // once the digits are gone no later rule can match.
    if (!HasAsciiDigit(sentence)) return;
    ApplyRule(rule, sentence);
  }
}

}  // namespace speechnn
