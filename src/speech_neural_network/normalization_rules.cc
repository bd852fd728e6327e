// The fourteen rewrite rules that spell out numbers and symbols before a
// sentence is segmented. Each rule rewrites every match of its pattern,
// leftmost first, until none is left; the order of the rules decides how an
// ambiguous string is read (2023-01-05 is a date before it can be a range).

#include <algorithm>
#include <string>

#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/utf8_conversion.h"
#include "speech_neural_network/wide_regex.h"

namespace speechnn {
namespace {

using Starts = WideRegex::Starts;

// A sign group reads 负 only when it is exactly one minus sign.
std::string Sign(const WideMatch& match, std::size_t group) {
  return match.str(group) == L"-" ? "负" : "";
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

}  // namespace

void FrontEngineInterface::NormalizeSentence(std::wstring& sentence) {
  using Rule = void (FrontEngineInterface::*)(std::wstring&);
  static constexpr Rule kRules[] = {
      &FrontEngineInterface::ReplaceChineseDate,
      &FrontEngineInterface::ReplaceNumericDate,
      &FrontEngineInterface::ReplaceClockTime,
      &FrontEngineInterface::ReplaceTemperature,
      &FrontEngineInterface::ReplaceFraction,
      &FrontEngineInterface::ReplacePercent,
      &FrontEngineInterface::ReplaceMobilePhone,
      &FrontEngineInterface::ReplaceTelephone,
      &FrontEngineInterface::ReplaceRange,
      &FrontEngineInterface::ReplaceNegative,
      &FrontEngineInterface::ReplaceDecimal,
      &FrontEngineInterface::ReplaceMeasureWord,
      &FrontEngineInterface::ReplaceDigitString,
      &FrontEngineInterface::ReplaceNumber,
  };
  for (const Rule rule : kRules) {
    // Every pattern needs an ASCII digit and no reading contains one, so
    // once the digits are gone no later rule can match.
    if (!HasAsciiDigit(sentence)) return;
    (this->*rule)(sentence);
  }
}

// 2023年12月25日, 23年5月, 2023年01月05号.
void FrontEngineInterface::ReplaceChineseDate(std::wstring& sentence) {
  static const WideRegex kPattern(
      LR"((\d{4}|\d{2})年((0?[1-9]|1[0-2])月)?(((0?[1-9])|((1|2)[0-9])|30|31)([日号]))?)");
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    std::string reading =
        ReadDigits(wstring2utf8string(match.str(1)), false) + "年";
    if (match.length(3) > 0) {
      reading += ReadIntegerW(match.str(3), false) + "月";
    }
    if (match.length(5) > 0) {
      reading +=
          ReadIntegerW(match.str(5), false) + wstring2utf8string(match.str(9));
    }
    return utf8string2wstring(reading);
  });
}

// 2023-12-25, 2023/12/25, 2023.12.25, 2023 12 25: the same separator twice.
void FrontEngineInterface::ReplaceNumericDate(std::wstring& sentence) {
  static const WideRegex kPattern(
      LR"((\d{4})([- /.])(0[1-9]|1[012])\2(0[1-9]|[12][0-9]|3[01]))");
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    return utf8string2wstring(
        ReadDigits(wstring2utf8string(match.str(1)), false) + "年" +
        ReadIntegerW(match.str(3), false) + "月" +
        ReadIntegerW(match.str(4), false) + "日");
  });
}

// 12:30, 8:05, 23:59:09. Minutes and seconds always say their leading zero
// (零五分), and a zero minute or second is still said (零分).
void FrontEngineInterface::ReplaceClockTime(std::wstring& sentence) {
  static const WideRegex kPattern(
      LR"(([0-1]?[0-9]|2[0-3]):([0-5][0-9])(:([0-5][0-9]))?)");
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    const std::wstring hour = match.str(1);
    // Midnight, written 0 or 00, is said 零点.
    std::string reading =
        (hour == L"0" || hour == L"00") ? "零" : ReadIntegerW(hour, false);
    reading += "点";
    const std::wstring minutes = match.str(2);
    if (minutes[0] == L'0') reading += "零";
    reading += ReadIntegerW(minutes, false) + "分";
    const std::wstring seconds = match.str(4);
    if (!seconds.empty()) {
      if (seconds[0] == L'0') reading += "零";
      reading += ReadIntegerW(seconds, false) + "秒";
    }
    return utf8string2wstring(reading);
  });
}

// -5℃, 36.5°C, 20度; 摄氏度 is kept as written, the other units read 度.
void FrontEngineInterface::ReplaceTemperature(std::wstring& sentence) {
  static const WideRegex kPattern(LR"((-?)(\d+(\.\d+)?)(°C|℃|度|摄氏度))",
                                  Starts::kDigitRunStartOnly);
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    const std::string unit = match.str(4) == L"摄氏度" ? "摄氏度" : "度";
    return utf8string2wstring(Sign(match, 1) + ReadNumberW(match.str(2)) +
                              unit);
  });
}

// 3/4 is said denominator first: 四分之三.
void FrontEngineInterface::ReplaceFraction(std::wstring& sentence) {
  static const WideRegex kPattern(LR"((-?)(\d+)/(\d+))",
                                  Starts::kDigitRunStartOnly);
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    return utf8string2wstring(Sign(match, 1) +
                              ReadIntegerW(match.str(3), true) + "分之" +
                              ReadIntegerW(match.str(2), true));
  });
}

// 50% → 百分之五十; the sign comes before 百分之.
void FrontEngineInterface::ReplacePercent(std::wstring& sentence) {
  static const WideRegex kPattern(LR"((-?)(\d+(\.\d+)?)%)",
                                  Starts::kDigitRunStartOnly);
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    return utf8string2wstring(Sign(match, 1) + "百分之" +
                              ReadNumberW(match.str(2)));
  });
}

// Mobile numbers, with an optional +86 prefix, read digit by digit with 幺.
// A digit right before or after belongs to the match and is read with it;
// "+" and the blank after 86 read as nothing.
void FrontEngineInterface::ReplaceMobilePhone(std::wstring& sentence) {
  static const WideRegex kPattern(
      LR"((\d)?((\+?86 ?)?1([38]\d|5[0-35-9]|7[678]|9[89])\d{8})(\d)?)");
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    return utf8string2wstring(
        ReadDigits(wstring2utf8string(match.str(0)), true));
  });
}

// Landline numbers with an optional area code, and with it any run of seven
// to ten digits not starting with 0, read digit by digit with 幺; the "-"
// after the area code reads as nothing.
void FrontEngineInterface::ReplaceTelephone(std::wstring& sentence) {
  static const WideRegex kPattern(
      LR"((\d)?((0(10|2[1-3]|[3-9]\d{2})-?)?[1-9]\d{6,7})(\d)?)");
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    return utf8string2wstring(
        ReadDigits(wstring2utf8string(match.str(0)), true));
  });
}

// 3-5, 1~3, -5~-3: both ends read as numbers, joined by 到.
void FrontEngineInterface::ReplaceRange(std::wstring& sentence) {
  static const WideRegex kPattern(
      LR"(((-?)((\d+)(\.\d+)?)|(\.(\d+)))[-~]((-?)((\d+)(\.\d+)?)|(\.(\d+))))",
      Starts::kDigitRunStartOnly);
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    return utf8string2wstring(
        Sign(match, 2) + ReadNumberW(FirstNonEmpty(match, 6, 3)) + "到" +
        Sign(match, 9) + ReadNumberW(FirstNonEmpty(match, 13, 10)));
  });
}

void FrontEngineInterface::ReplaceNegative(std::wstring& sentence) {
  static const WideRegex kPattern(LR"((-)(\d+))");
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    return utf8string2wstring("负" + ReadIntegerW(match.str(2), true));
  });
}

// 3.14, -2.5, .5. The alternation binds loosest: the sign belongs to the
// first form only.
void FrontEngineInterface::ReplaceDecimal(std::wstring& sentence) {
  static const WideRegex kPattern(LR"((-?)((\d+)(\.\d+))|(\.(\d+)))",
                                  Starts::kDigitRunStartOnly);
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    return utf8string2wstring(Sign(match, 1) +
                              ReadNumberW(FirstNonEmpty(match, 5, 2)));
  });
}

// A count before a measure word (3个, 10多元, 2000元): only the digits are
// replaced; the approximation (多, 余, 几) and the measure word stay. The list
// names some words twice, which changes nothing.
void FrontEngineInterface::ReplaceMeasureWord(std::wstring& sentence) {
  static const WideRegex kPattern(
      LR"((\d+)([多余几])?)"
      LR"((朵|匹|张|座|回|场|尾|条|个|首|阙|阵|网|炮|顶|丘|棵|只|支|袭|辆|挑|担|颗|壳|窠|曲|墙|群|腔|砣|座|客|贯|扎|捆|刀|令|打|手|罗|坡|山|岭|江|溪|钟|队|单|双|对|出|口|头|脚|板|跳|枝|件|贴|针|线|管|名|位|身|堂|课|本|页|家|户|层|丝|毫|厘|分|钱|两|斤|担|铢|石|钧|锱|忽|(千|毫|微)克|毫|厘|(公)分|分|寸|尺|丈|里|寻|常|铺|程|(千|分|厘|毫|微)米|米|撮|勺|合|升|斗|石|盘|碗|碟|叠|桶|笼|盆|盒|杯|钟|斛|锅|簋|篮|盘|桶|罐|瓶|壶|卮|盏|箩|箱|煲|啖|袋|钵|年|月|日|季|刻|时|周|天|秒|分|旬|纪|岁|世|更|夜|春|夏|秋|冬|代|伏|辈|丸|泡|粒|颗|幢|堆|条|根|支|道|面|片|张|颗|块|元|(亿|千万|百万|万|千|百)|(亿|千万|百万|万|千|百|美|)元|(亿|千万|百万|万|千|百|)块|角|毛|分))",
      Starts::kDigitRunStartOnly);
  kPattern.ReplaceAll(sentence, 1, [this](const WideMatch& match) {
    return utf8string2wstring(ReadIntegerW(match.str(1), true));
  });
}

// Runs of three or more digits still left (years on their own, codes) are
// read digit by digit: 2023 → 二零二三.
void FrontEngineInterface::ReplaceDigitString(std::wstring& sentence) {
  static const WideRegex kPattern(LR"(\d{3}\d*)", Starts::kDigitRunStartOnly);
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    return utf8string2wstring(
        ReadDigits(wstring2utf8string(match.str(0)), false));
  });
}

// Whatever numbers remain: one or two digits, possibly signed or decimal.
void FrontEngineInterface::ReplaceNumber(std::wstring& sentence) {
  static const WideRegex kPattern(LR"((-?)((\d+)(\.\d+)?)|(\.(\d+)))",
                                  Starts::kDigitRunStartOnly);
  kPattern.ReplaceAll(sentence, 0, [this](const WideMatch& match) {
    return utf8string2wstring(Sign(match, 1) +
                              ReadNumberW(FirstNonEmpty(match, 5, 2)));
  });
}

}  // namespace speechnn
