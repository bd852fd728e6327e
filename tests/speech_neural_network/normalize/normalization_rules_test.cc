#include "speech_neural_network/normalize/normalization_rules.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "speech_neural_network/normalize/everyday_rules.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

// The row of either rule table with this name; every test below names one.
const NormalizationRule& RuleNamed(const std::string& name) {
  for (const auto table : {NormalizationRules(), EverydayRules()}) {
    for (const NormalizationRule& rule : table) {
      if (rule.name == name) return rule;
    }
  }
  throw std::invalid_argument("no rule named " + name);
}

std::string Apply(const std::string& rule, const std::string& text) {
  std::wstring sentence = utf8string2wstring(text);
  ApplyRule(RuleNamed(rule), sentence);
  return wstring2utf8string(sentence);
}

std::string Normalize(const std::string& text) {
  std::wstring sentence = utf8string2wstring(text);
  NormalizeSentence(sentence);
  return wstring2utf8string(sentence);
}

void ExpectRule(const std::string& rule, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(Apply(rule, c.input), c.expected)
        << rule << " on input: " << c.input;
  }
}

void ExpectNormalized(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(Normalize(c.input), c.expected) << "input: " << c.input;
  }
}

TEST(NormalizationTest, ChineseDate) {
  ExpectRule("chinese_date",
             {
                 {"2023年12月25日", "二零二三年十二月二十五日"},
                 {"23年5月", "二三年五月"},
                 {"2023年01月05号", "二零二三年一月五号"},
                 {"2023年13月", "二零二三年13月"},
                 {"2023年5月32日", "二零二三年五月32日"},
                 {"2023年", "二零二三年"},
                 {"2023年5日", "二零二三年五日"},
                 // One run is one number: no year is taken from inside it.
                 {"12345年", "一万两千三百四十五年"},
                 {"从2022年到2023年", "从二零二二年到二零二三年"},
             });
}

TEST(NormalizationTest, NumericDate) {
  ExpectRule("numeric_date", {
                                 {"2023-01-05", "二零二三年一月五日"},
                                 {"2023-12-25", "二零二三年十二月二十五日"},
                                 {"2023/12/25", "二零二三年十二月二十五日"},
                                 {"2023.12.31", "二零二三年十二月三十一日"},
                                 {"2023 10 20", "二零二三年十月二十日"},
                                 {"2023-12/25", "2023-12/25"},
                                 {"2023-1-5", "二零二三年一月五日"},
                                 {"2020.7.1", "二零二零年七月一日"},
                                 {"2023-13-01", "2023-13-01"},
                                 {"2023-02-32", "2023-02-32"},
                             });
}

TEST(NormalizationTest, ClockTime) {
  ExpectRule("clock_time", {
                               {"12:30", "十二点三十分"},
                               {"8:05", "八点零五分"},
                               // A whole hour is said without its zero
                               // minutes.
                               {"8:00", "八点"},
                               {"08:10", "八点十分"},
                               {"23:59:09", "二十三点五十九分零九秒"},
                               {"12:00:00", "十二点"},
                               {"00:30", "零点三十分"},
                               {"0:30", "零点三十分"},
                               {"19:45", "十九点四十五分"},
                               {"24:00", "二十四点"},
                               {"24:30", "2四点三十分"},
                               {"12:60", "12:60"},
                           });
}

TEST(NormalizationTest, Temperature) {
  ExpectRule("temperature", {
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

TEST(NormalizationTest, Fraction) {
  ExpectRule("fraction", {
                             {"3/4", "四分之三"},
                             {"-1/10", "负十分之一"},
                             {"0/5", "五分之零"},
                             {"1/100", "一百分之一"},
                         });
}

TEST(NormalizationTest, Percent) {
  ExpectRule("percent", {
                            {"50%", "百分之五十"},
                            {"-5%", "负百分之五"},
                            {"100%", "百分之一百"},
                            {"12.5%", "百分之十二点五"},
                            {"0%", "百分之零"},
                            {"涨了3%和5%", "涨了百分之三和百分之五"},
                        });
}

TEST(NormalizationTest, PercentRange) {
  ExpectRule("percent_range", {
                                  {"5%-10%", "百分之五到百分之十"},
                                  {"5-10%", "百分之五到百分之十"},
                                  {"-5%~5%", "负百分之五到百分之五"},
                                  {"5%-10", "5%-10"},
                              });
}

TEST(NormalizationTest, MobilePhone) {
  ExpectRule("mobile_phone",
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

TEST(NormalizationTest, Telephone) {
  ExpectRule("telephone", {
                              {"010-12345678", "零幺零幺二三四五六七八"},
                              {"0755-1234567", "零七五五幺二三四五六七"},
                              {"12345678", "幺二三四五六七八"},
                              // A count, left to the later rules.
                              {"1000000元", "1000000元"},
                              {"12345678元", "幺二三四五六七八元"},
                              {"123456", "123456"},
                              {"0123456", "0123456"},
                          });
}

TEST(NormalizationTest, Range) {
  ExpectRule("range", {
                          {"3-5", "三到五"},
                          {"1~3", "一到三"},
                          {"10-20", "十到二十"},
                          {"-5~-3", "负五到负三"},
                          {"1.5-2.5", "一点五到二点五"},
                          {".5-1", "点五到一"},
                          {"0-5", "零到五"},
                          {"3-", "3-"},
                          // Three digits and four: a local telephone number,
                          // unless both ends are round.
                          {"555-1234", "五五五幺二三四"},
                          {"100-1000", "一百到一千"},
                          {"555~1234", "五百五十五到一千二百三十四"},
                      });
}

TEST(NormalizationTest, NegativeNumber) {
  ExpectRule("negative",
             {
                 {"-15", "负十五"},
                 {"-0", "负零"},
                 {"-05", "负零五"},
                 // Only the minus sign right before the digits is read.
                 {"--3", "-负三"},
                 {"气温-15度", "气温负十五度"},
                 // A decimal is left whole for the decimal rule.
                 {"-1.0", "-1.0"},
                 {"-12.5", "-12.5"},
             });
}

TEST(NormalizationTest, Decimal) {
  ExpectRule("decimal", {
                            {"3.14", "三点一四"},
                            {".5", "点五"},
                            {"-2.5", "负二点五"},
                            {"3.10", "三点一"},
                            {"7", "7"},
                            // The sign belongs to the first form only.
                            {"-.5", "-点五"},
                        });
}

TEST(NormalizationTest, MeasureWord) {
  ExpectRule("measure_word", {
                                 {"3个", "三个"},
                                 {"10多元", "十多元"},
                                 {"2000元", "两千元"},
                                 {"5千克", "五千克"},
                                 {"2本", "两本"},
                                 {"2月", "二月"},
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

TEST(NormalizationTest, DigitString) {
  ExpectRule("digit_string", {
                                 {"1203", "一二零三"},
                                 {"2023", "二零二三"},
                                 {"000", "零零零"},
                                 {"12", "12"},
                                 {"12和345", "12和三四五"},
                             });
}

TEST(NormalizationTest, PlainNumber) {
  ExpectRule("number", {
                           {"5", "五"},
                           {"12", "十二"},
                           {"05", "零五"},
                           {"0", "零"},
                           {"00", "零"},
                           {"-3", "负三"},
                           {"1.0", "一点零"},
                           {"第1和第2", "第一和第二"},
                       });
}

TEST(NormalizationTest, RuleOrderDecidesReading) {
  ExpectNormalized({
      {"今天是2023年5月1日。", "今天是二零二三年五月一日。"},
      {"2023-01-05", "二零二三年一月五日"},
      {"12:30", "十二点三十分"},
      {"3-5个", "三到五个"},
      {"2023", "二零二三"},
      {"2023元", "两千零二十三元"},
      {"3个和5本", "三个和五本"},
      {"1000000元", "一百万元"},
      {"8:00", "八点"},
      {"23:59:09", "二十三点五十九分零九秒"},
      {"12:00:00", "十二点"},
      {"00:30", "零点三十分"},
      {"20摄氏度", "二十摄氏度"},
      {"20°C", "二十度"},
      {"20℃", "二十度"},
      {"请拨打13812345678", "请拨打幺三八幺二三四五六七八"},
      {"电话010-12345678", "电话零幺零幺二三四五六七八"},
      {"-15", "负十五"},
      {"3.14", "三点一四"},
      {"-1.0", "负一点零"},
      {"24:00", "二十四点"},
      {"5%-10%", "百分之五到百分之十"},
      {"第5名", "第五名"},
      {"1203", "一二零三"},
      {"6月1日-6月9日", "六月一日到六月九日"},
      {"1:500的比例尺", "一比五百的比例尺"},
      {"1:50000", "一比五万"},
      {"√9=3", "根号九等于三"},
      {"∛8", "三次根号八"},
      {"x=100", "x等于一百"},
      {"结果等于2。", "结果等于二。"},
      {"大于-3.5", "大于负三点五"},
      {"等于2个", "等于两个"},
  });
}

// Thousands separators, counts before a noun, the hyphen of a name and
// local telephone numbers; years and codes stay digit by digit.
TEST(NormalizationTest, NumbersAsPeopleWriteThem) {
  ExpectNormalized({
      {"5,999元", "五千九百九十九元"},
      {"1,000元", "一千元"},
      {"12,345,678元", "一千二百三十四万五千六百七十八元"},
      {"1，000元", "一千元"},
      {"1,234.5米", "一千二百三十四点五米"},
      {"10,000%", "百分之一万"},
      {"-1,000元", "负一千元"},
      {"1,000-2,000元", "一千到两千元"},
      {"1,2和1,2345", "一,二和一,二三四五"},
      {"共有128人参加", "共有一百二十八人参加"},
      {"2,000人", "两千人"},
      {"共100000000人", "共一亿人"},
      {"2000人", "两千人"},
      {"2008奥运会", "二零零八奥运会"},
      {"0128人", "零一二八人"},
      {"110报警", "一一零报警"},
      {"302房间", "三零二房间"},
      {"404错误", "四零四错误"},
      {"2024年", "二零二四年"},
      {"GPT-4o", "GPT四o"},
      {"A-12", "A十二"},
      {"iPhone-15", "iPhone十五"},
      {"VT100的", "VT一零零的"},
      {"USD100,000", "十万美元"},
      {"555-1234", "五五五幺二三四"},
      {"零下-5度", "零下负五度"},
      {"约2楼", "约二楼"},
      {"最多2层", "最多两层"},
  });
}

TEST(NormalizationTest, ZeroIsNeverSilent) {
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
      {"1.0", "一点零"},
      {"0.0", "零点零"},
  });
}

TEST(NormalizationTest, RealisticSentences) {
  ExpectNormalized({
      {"会议定于2024年3月15日下午2:30开始，",
       "会议定于二零二四年三月十五日下午两点三十分开始，"},
      {"气温从-3℃升到12℃", "气温从负三度升到十二度"},
      {"合格率达到98.5%", "合格率达到百分之九十八点五"},
      {"他买了3斤苹果和2瓶水", "他买了三斤苹果和两瓶水"},
      {"比分是3-1", "比分是三比一"},
      {"房间号是302", "房间号是三零二"},
      {"约有3/4的人同意", "约有四分之三的人同意"},
      {"2023-10-01 08:00", "二零二三年十月一日 八点"},
  });
}

TEST(NormalizationTest, TextWithoutDigitsIsUnchanged) {
  ExpectNormalized({
      {"", ""},
      {"今天天气很好，我们去公园散步吧。", "今天天气很好，我们去公园散步吧。"},
      {"年月日号度摄氏度个元块", "年月日号度摄氏度个元块"},
      // Only a "+" after a letter is said, as in x+y and C++.
      {"a-b~c.d:e/f%g+h °C℃", "a-b~c.d:e/f%g加h °C℃"},
      // Full-width digits are not ASCII digits.
      {"３个", "３个"},
  });
}

TEST(NormalizationTest, LongSentences) {
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

  // A run far too long for a count is a code, read digit by digit.
  EXPECT_EQ(Normalize(std::string(length, '0') + "5个"), expected + "五个");

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

}  // namespace
}  // namespace speechnn
