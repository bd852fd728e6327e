#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/front_test_support.h"
#include "speech_neural_network/utf8_conversion.h"
#include "speech_neural_network/wide_regex.h"

// The reference engine. With the sanitizers on, GCC 12 reports a false
// -Wmaybe-uninitialized inside libstdc++'s <regex>.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop

namespace speechnn {
namespace {

using Rule = void (FrontEngineInterface::*)(std::wstring&);

struct Case {
  std::string input;
  std::string expected;
};

class NormalizationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    front_ = MakeFront(*dir_, FrontFixture{}).release();
  }
  static void TearDownTestSuite() {
    delete front_;
    delete dir_;
    front_ = nullptr;
    dir_ = nullptr;
  }

  static std::string Apply(Rule rule, const std::string& text) {
    std::wstring sentence = utf8string2wstring(text);
    (front_->*rule)(sentence);
    return wstring2utf8string(sentence);
  }

  static std::string Normalize(const std::string& text) {
    std::wstring sentence = utf8string2wstring(text);
    front_->NormalizeSentence(sentence);
    return wstring2utf8string(sentence);
  }

  static void ExpectRule(Rule rule, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      EXPECT_EQ(Apply(rule, c.input), c.expected) << "input: " << c.input;
    }
  }

  static void ExpectNormalized(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      EXPECT_EQ(Normalize(c.input), c.expected) << "input: " << c.input;
    }
  }

  static TempDir* dir_;
  static FrontEngineInterface* front_;
};

TempDir* NormalizationTest::dir_ = nullptr;
FrontEngineInterface* NormalizationTest::front_ = nullptr;

TEST_F(NormalizationTest, ChineseDate) {
  ExpectRule(&FrontEngineInterface::ReplaceChineseDate,
             {
                 {"2023年12月25日", "二零二三年十二月二十五日"},
                 {"23年5月", "二三年五月"},
                 {"2023年01月05号", "二零二三年一月五号"},
                 {"2023年13月", "二零二三年13月"},
                 {"2023年5月32日", "二零二三年五月32日"},
                 {"2023年", "二零二三年"},
                 {"2023年5日", "二零二三年五日"},
                 // Year digits are taken from inside a longer run.
                 {"12345年", "1二三四五年"},
                 {"从2022年到2023年", "从二零二二年到二零二三年"},
             });
}

TEST_F(NormalizationTest, NumericDate) {
  ExpectRule(&FrontEngineInterface::ReplaceNumericDate,
             {
                 {"2023-01-05", "二零二三年一月五日"},
                 {"2023-12-25", "二零二三年十二月二十五日"},
                 {"2023/12/25", "二零二三年十二月二十五日"},
                 {"2023.12.31", "二零二三年十二月三十一日"},
                 {"2023 10 20", "二零二三年十月二十日"},
                 {"2023-12/25", "2023-12/25"},
                 {"2023-1-5", "2023-1-5"},
                 {"2023-13-01", "2023-13-01"},
                 {"2023-02-32", "2023-02-32"},
             });
}

TEST_F(NormalizationTest, ClockTime) {
  ExpectRule(&FrontEngineInterface::ReplaceClockTime,
             {
                 {"12:30", "十二点三十分"},
                 {"8:05", "八点零五分"},
                 {"8:00", "八点零分"},
                 {"08:10", "八点十分"},
                 {"23:59:09", "二十三点五十九分零九秒"},
                 {"12:00:00", "十二点零分零秒"},
                 {"00:30", "零点三十分"},
                 {"0:30", "零点三十分"},
                 {"19:45", "十九点四十五分"},
                 {"24:00", "2四点零分"},
                 {"12:60", "12:60"},
             });
}

TEST_F(NormalizationTest, Temperature) {
  ExpectRule(&FrontEngineInterface::ReplaceTemperature,
             {
                 {"-5℃", "负五度"},
                 {"20摄氏度", "二十摄氏度"},
                 {"36.5°C", "三十六点五度"},
                 {"20°C", "二十度"},
                 {"20℃", "二十度"},
                 {"20度", "二十度"},
                 {"0℃", "零度"},
                 {"-0.5℃", "负零点五度"},
                 {"20°F", "20°F"},
             });
}

TEST_F(NormalizationTest, Fraction) {
  ExpectRule(&FrontEngineInterface::ReplaceFraction,
             {
                 {"3/4", "四分之三"},
                 {"-1/10", "负十分之一"},
                 {"0/5", "五分之零"},
                 {"1/100", "一百分之一"},
             });
}

TEST_F(NormalizationTest, Percent) {
  ExpectRule(&FrontEngineInterface::ReplacePercent,
             {
                 {"50%", "百分之五十"},
                 {"-5%", "负百分之五"},
                 {"100%", "百分之一百"},
                 {"12.5%", "百分之十二点五"},
                 {"0%", "百分之零"},
                 {"涨了3%和5%", "涨了百分之三和百分之五"},
             });
}

TEST_F(NormalizationTest, MobilePhone) {
  ExpectRule(&FrontEngineInterface::ReplaceMobilePhone,
             {
                 {"13812345678", "幺三八幺二三四五六七八"},
                 {"+86 13812345678", "八六幺三八幺二三四五六七八"},
                 {"8613812345678", "八六幺三八幺二三四五六七八"},
                 {"15012345678", "幺五零幺二三四五六七八"},
                 {"19912345678", "幺九九幺二三四五六七八"},
                 // A neighbouring digit is read with the number.
                 {"913812345678", "九幺三八幺二三四五六七八"},
                 {"138123456789", "幺三八幺二三四五六七八九"},
                 {"14012345678", "14012345678"},
                 {"1381234567", "1381234567"},
             });
}

TEST_F(NormalizationTest, Telephone) {
  ExpectRule(&FrontEngineInterface::ReplaceTelephone,
             {
                 {"010-12345678", "零幺零幺二三四五六七八"},
                 {"0755-1234567", "零七五五幺二三四五六七"},
                 {"12345678", "幺二三四五六七八"},
                 {"1000000元", "幺零零零零零零元"},
                 {"123456", "123456"},
                 {"0123456", "0123456"},
             });
}

TEST_F(NormalizationTest, Range) {
  ExpectRule(&FrontEngineInterface::ReplaceRange,
             {
                 {"3-5", "三到五"},
                 {"1~3", "一到三"},
                 {"10-20", "十到二十"},
                 {"-5~-3", "负五到负三"},
                 {"1.5-2.5", "一点五到二点五"},
                 {".5-1", "点五到一"},
                 {"0-5", "零到五"},
                 {"3-", "3-"},
             });
}

TEST_F(NormalizationTest, NegativeNumber) {
  ExpectRule(&FrontEngineInterface::ReplaceNegative,
             {
                 {"-15", "负十五"},
                 {"-0", "负零"},
                 {"-05", "负零五"},
                 // Only the minus sign right before the digits is read.
                 {"--3", "-负三"},
                 {"气温-15度", "气温负十五度"},
             });
}

TEST_F(NormalizationTest, Decimal) {
  ExpectRule(&FrontEngineInterface::ReplaceDecimal,
             {
                 {"3.14", "三点一四"},
                 {".5", "点五"},
                 {"-2.5", "负二点五"},
                 {"3.10", "三点一"},
                 {"7", "7"},
                 // The sign belongs to the first form only.
                 {"-.5", "-点五"},
             });
}

TEST_F(NormalizationTest, MeasureWord) {
  ExpectRule(&FrontEngineInterface::ReplaceMeasureWord,
             {
                 {"3个", "三个"},
                 {"10多元", "十多元"},
                 {"2000元", "二千元"},
                 {"5千克", "五千克"},
                 {"2本", "二本"},
                 {"0个", "零个"},
                 {"3个和5本", "三个和五本"},
                 {"100块", "一百块"},
                 {"5美元", "五美元"},
                 {"30余年", "三十余年"},
                 {"3公分", "三公分"},
                 {"5毫米", "五毫米"},
                 {"5", "5"},
                 {"5多", "5多"},
             });
}

TEST_F(NormalizationTest, DigitString) {
  ExpectRule(&FrontEngineInterface::ReplaceDigitString,
             {
                 {"1203", "一二零三"},
                 {"2023", "二零二三"},
                 {"000", "零零零"},
                 {"12", "12"},
                 {"12和345", "12和三四五"},
             });
}

TEST_F(NormalizationTest, PlainNumber) {
  ExpectRule(&FrontEngineInterface::ReplaceNumber,
             {
                 {"5", "五"},
                 {"12", "十二"},
                 {"05", "零五"},
                 {"0", "零"},
                 {"00", "零"},
                 {"-3", "负三"},
                 {"1.0", "一"},
                 {"第1和第2", "第一和第二"},
             });
}

TEST_F(NormalizationTest, RuleOrderDecidesReading) {
  ExpectNormalized({
      {"今天是2023年5月1日。", "今天是二零二三年五月一日。"},
      {"2023-01-05", "二零二三年一月五日"},
      {"12:30", "十二点三十分"},
      {"3-5个", "三到五个"},
      {"2023", "二零二三"},
      {"2023元", "二千零二十三元"},
      {"3个和5本", "三个和五本"},
      {"1000000元", "幺零零零零零零元"},
      {"8:00", "八点零分"},
      {"23:59:09", "二十三点五十九分零九秒"},
      {"12:00:00", "十二点零分零秒"},
      {"00:30", "零点三十分"},
      {"20摄氏度", "二十摄氏度"},
      {"20°C", "二十度"},
      {"20℃", "二十度"},
      {"请拨打13812345678", "请拨打幺三八幺二三四五六七八"},
      {"电话010-12345678", "电话零幺零幺二三四五六七八"},
      {"-15", "负十五"},
      {"3.14", "三点一四"},
      {"第5名", "第五名"},
      {"1203", "一二零三"},
  });
}

TEST_F(NormalizationTest, ZeroIsNeverSilent) {
  ExpectNormalized({
      {"0", "零"},
      {"00", "零"},
      {"0个", "零个"},
      {"0℃", "零度"},
      {"-0", "负零"},
      {"0%", "百分之零"},
      {"0/5", "五分之零"},
      {"0-5", "零到五"},
      {"0:30", "零点三十分"},
      {"0.5", "零点五"},
      {"1.0", "一"},
      {"0.0", "零"},
  });
}

TEST_F(NormalizationTest, RealisticSentences) {
  ExpectNormalized({
      {"会议定于2024年3月15日下午2:30开始，",
       "会议定于二零二四年三月十五日下午二点三十分开始，"},
      {"气温从-3℃升到12℃", "气温从负三度升到十二度"},
      {"合格率达到98.5%", "合格率达到百分之九十八点五"},
      {"他买了3斤苹果和2瓶水", "他买了三斤苹果和二瓶水"},
      {"比分是3-1", "比分是三到一"},
      {"房间号是302", "房间号是三零二"},
      {"约有3/4的人同意", "约有四分之三的人同意"},
      {"2023-10-01 08:00", "二零二三年十月一日 八点零分"},
  });
}

TEST_F(NormalizationTest, TextWithoutDigitsIsUnchanged) {
  ExpectNormalized({
      {"", ""},
      {"今天天气很好，我们去公园散步吧。", "今天天气很好，我们去公园散步吧。"},
      {"年月日号度摄氏度个元块", "年月日号度摄氏度个元块"},
      {"a-b~c.d:e/f%g+h °C℃", "a-b~c.d:e/f%g+h °C℃"},
      // Full-width digits are not ASCII digits.
      {"３个", "３个"},
  });
}

TEST_F(NormalizationTest, LongSentences) {
  const std::size_t length = 100000;
  // Prose without digits.
  std::string prose;
  for (std::size_t i = 0; i <= length / 14; ++i) {
    prose += "今天天气很好我们去公园散步吧";
  }
  EXPECT_EQ(Normalize(prose), prose);

  // A run of zeros is left to the digit-string rule.
  std::string zeros(length, '0');
  std::string expected;
  for (std::size_t i = 0; i < length; ++i) expected += "零";
  EXPECT_EQ(Normalize(zeros), expected);

  // Zeros before a count: the whole run is one number.
  EXPECT_EQ(Normalize(std::string(length, '0') + "5个"), "零五个");

  // Mixed digits: every ten are read as a telephone number.
  std::string digits;
  expected.clear();
  for (std::size_t i = 0; i < length / 10; ++i) {
    digits += "1234567890";
    expected += "幺二三四五六七八九零";
  }
  EXPECT_EQ(Normalize(digits), expected);

  // Many short matches in a long sentence.
  std::string mixed;
  expected.clear();
  for (std::size_t i = 0; i <= length / 19; ++i) {
    mixed += "3个和12:30还有-5℃以及50%";
    expected += "三个和十二点三十分还有负五度以及百分之五十";
  }
  EXPECT_EQ(Normalize(mixed), expected);
}

// The rule patterns exactly as the rules use them, whether the rule skips
// starts inside digit runs, and the group each rule replaces.
struct PatternCase {
  const wchar_t* pattern;
  WideRegex::Starts starts;
  std::size_t target = 0;
};

const std::vector<PatternCase>& RulePatterns() {
  using Starts = WideRegex::Starts;
  static const std::vector<PatternCase> patterns = {
      {LR"((\d{4}|\d{2})年((0?[1-9]|1[0-2])月)?(((0?[1-9])|((1|2)[0-9])|30|31)([日号]))?)",
       Starts::kAnywhere},
      {LR"((\d{4})([- /.])(0[1-9]|1[012])\2(0[1-9]|[12][0-9]|3[01]))",
       Starts::kAnywhere},
      {LR"(([0-1]?[0-9]|2[0-3]):([0-5][0-9])(:([0-5][0-9]))?)",
       Starts::kAnywhere},
      {LR"((-?)(\d+(\.\d+)?)(°C|℃|度|摄氏度))", Starts::kDigitRunStartOnly},
      {LR"((-?)(\d+)/(\d+))", Starts::kDigitRunStartOnly},
      {LR"((-?)(\d+(\.\d+)?)%)", Starts::kDigitRunStartOnly},
      {LR"((\d)?((\+?86 ?)?1([38]\d|5[0-35-9]|7[678]|9[89])\d{8})(\d)?)",
       Starts::kAnywhere},
      {LR"((\d)?((0(10|2[1-3]|[3-9]\d{2})-?)?[1-9]\d{6,7})(\d)?)",
       Starts::kAnywhere},
      {LR"(((-?)((\d+)(\.\d+)?)|(\.(\d+)))[-~]((-?)((\d+)(\.\d+)?)|(\.(\d+))))",
       Starts::kDigitRunStartOnly},
      {LR"((-)(\d+))", Starts::kAnywhere},
      {LR"((-?)((\d+)(\.\d+))|(\.(\d+)))", Starts::kDigitRunStartOnly},
      {LR"((\d+)([多余几])?)"
       LR"((朵|匹|张|座|回|场|尾|条|个|首|阙|阵|网|炮|顶|丘|棵|只|支|袭|辆|挑|担|颗|壳|窠|曲|墙|群|腔|砣|座|客|贯|扎|捆|刀|令|打|手|罗|坡|山|岭|江|溪|钟|队|单|双|对|出|口|头|脚|板|跳|枝|件|贴|针|线|管|名|位|身|堂|课|本|页|家|户|层|丝|毫|厘|分|钱|两|斤|担|铢|石|钧|锱|忽|(千|毫|微)克|毫|厘|(公)分|分|寸|尺|丈|里|寻|常|铺|程|(千|分|厘|毫|微)米|米|撮|勺|合|升|斗|石|盘|碗|碟|叠|桶|笼|盆|盒|杯|钟|斛|锅|簋|篮|盘|桶|罐|瓶|壶|卮|盏|箩|箱|煲|啖|袋|钵|年|月|日|季|刻|时|周|天|秒|分|旬|纪|岁|世|更|夜|春|夏|秋|冬|代|伏|辈|丸|泡|粒|颗|幢|堆|条|根|支|道|面|片|张|颗|块|元|(亿|千万|百万|万|千|百)|(亿|千万|百万|万|千|百|美|)元|(亿|千万|百万|万|千|百|)块|角|毛|分))",
       Starts::kDigitRunStartOnly, 1},
      {LR"(\d{3}\d*)", Starts::kDigitRunStartOnly},
      {LR"((-?)((\d+)(\.\d+)?)|(\.(\d+)))", Starts::kDigitRunStartOnly},
  };
  return patterns;
}

// Short random sentences over the characters the patterns care about, with
// plenty of digits so that matches are common.
std::wstring RandomSentence(std::mt19937& random) {
  static const std::wstring kSymbols =
      L"-~.:/%+ 年月日号度摄氏°C℃多余几个元千万百亿分克米公块美和x";
  std::uniform_int_distribution<int> length(0, 20);
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<std::size_t> symbol(0, kSymbols.size() - 1);
  std::wstring sentence;
  const int n = length(random);
  for (int i = 0; i < n; ++i) {
    if (kind(random) < 6) {
      sentence.push_back(static_cast<wchar_t>(L'0' + digit(random)));
    } else {
      sentence.push_back(kSymbols[symbol(random)]);
    }
  }
  return sentence;
}

std::vector<std::wstring> Groups(const WideMatch& match) {
  std::vector<std::wstring> groups;
  for (std::size_t i = 0; i < match.size(); ++i) {
    groups.push_back(match.matched(i) ? match.str(i) : L"<unset>");
  }
  return groups;
}

std::vector<std::wstring> Groups(const std::wsmatch& match) {
  std::vector<std::wstring> groups;
  for (std::size_t i = 0; i < match.size(); ++i) {
    groups.push_back(match[i].matched ? match.str(i) : L"<unset>");
  }
  return groups;
}

// A replacement that keeps the groups' symbols (so that it can be matched
// again around its edges) and turns digits into characters no pattern uses.
std::wstring Disguise(const std::vector<std::wstring>& groups) {
  std::wstring out;
  for (std::size_t i = 1; i < groups.size(); ++i) {
    for (const wchar_t c : groups[i]) {
      out.push_back(c >= L'0' && c <= L'9'
                        ? static_cast<wchar_t>(L'〇' + (c - L'0'))
                        : c);
    }
  }
  return out.empty() ? L"〇" : out;
}

TEST(WideRegexTest, SearchAgreesWithEcmaScript) {
  std::mt19937 random(5);
  for (const PatternCase& p : RulePatterns()) {
    const std::wregex reference(p.pattern, std::regex::ECMAScript);
    const WideRegex plain(p.pattern);
    const WideRegex guarded(p.pattern, p.starts);
    for (int round = 0; round < 3000; ++round) {
      const std::wstring sentence = RandomSentence(random);
      std::wsmatch expected;
      const bool found = std::regex_search(sentence, expected, reference);
      for (const WideRegex* regex : {&plain, &guarded}) {
        WideMatch match;
        ASSERT_EQ(regex->Search(sentence, match), found)
            << wstring2utf8string(p.pattern) << " on "
            << wstring2utf8string(sentence);
        if (!found) continue;
        ASSERT_EQ(match.position(0),
                  static_cast<std::size_t>(expected.position(0)))
            << wstring2utf8string(sentence);
        ASSERT_EQ(Groups(match), Groups(expected))
            << wstring2utf8string(p.pattern) << " on "
            << wstring2utf8string(sentence);
      }
    }
  }
}

TEST(WideRegexTest, ReplaceAllAgreesWithRestartingSearch) {
  std::mt19937 random(7);
  for (const PatternCase& p : RulePatterns()) {
    const std::wregex reference(p.pattern, std::regex::ECMAScript);
    const WideRegex regex(p.pattern, p.starts);
    const std::size_t target = p.target;
    for (int round = 0; round < 2000; ++round) {
      const std::wstring original = RandomSentence(random);
      std::wstring expected = original;
      std::wsmatch found;
      while (std::regex_search(expected, found, reference)) {
        expected.replace(found.position(target), found.length(target),
                         Disguise(Groups(found)));
      }
      std::wstring actual = original;
      regex.ReplaceAll(actual, target, [](const WideMatch& match) {
        return Disguise(Groups(match));
      });
      ASSERT_EQ(wstring2utf8string(actual), wstring2utf8string(expected))
          << wstring2utf8string(p.pattern) << " on "
          << wstring2utf8string(original);
    }
  }
}

TEST(WideRegexTest, MatchDetails) {
  const WideRegex regex(LR"((\d+)(x)?(y)?)");
  WideMatch match;
  ASSERT_TRUE(regex.Search(L"ab12y", match));
  EXPECT_EQ(match.size(), 4u);
  EXPECT_EQ(match.position(0), 2u);
  EXPECT_EQ(match.str(0), L"12y");
  EXPECT_FALSE(match.matched(2));
  EXPECT_EQ(match.position(2), WideMatch::npos);
  EXPECT_EQ(match.length(2), 0u);
  EXPECT_EQ(match.str(2), L"");
  EXPECT_EQ(match.str(3), L"y");
  EXPECT_FALSE(regex.Search(L"", match));
  EXPECT_FALSE(regex.Search(L"abc", match));
  EXPECT_THROW(WideRegex(L"(unclosed"), std::invalid_argument);
}

TEST(WideRegexTest, FailingReplacementKeepsTextRewrittenSoFar) {
  const WideRegex regex(LR"(\d+)");
  std::wstring text = L"a1b22c3";
  int calls = 0;
  EXPECT_THROW(regex.ReplaceAll(text, 0,
                                [&calls](const WideMatch&) -> std::wstring {
                                  if (++calls == 2) {
                                    throw std::runtime_error("no reading");
                                  }
                                  return L"一";
                                }),
               std::runtime_error);
  EXPECT_EQ(text, L"a一b22c3");
}

TEST(WideRegexTest, LongInputsStayLinear) {
  // Without the digit-run guard each of these takes quadratic time: every
  // start inside the run reads to its end before failing.
  const std::wstring digits(200000, L'7');
  WideMatch match;
  const WideRegex fraction(LR"((-?)(\d+)/(\d+))",
                           WideRegex::Starts::kDigitRunStartOnly);
  EXPECT_FALSE(fraction.Search(digits, match));
  ASSERT_TRUE(fraction.Search(digits + L"/2", match));
  EXPECT_EQ(match.position(0), 0u);
  EXPECT_EQ(match.length(2), digits.size());
}

}  // namespace
}  // namespace speechnn
