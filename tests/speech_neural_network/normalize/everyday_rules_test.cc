#include "speech_neural_network/normalize/everyday_rules.h"

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "speech_neural_network/normalize/expressions.h"
#include "speech_neural_network/normalize/measures.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

struct Case {
  std::wstring input;
  std::wstring expected;
};

std::wstring Apply(const std::string& name, std::wstring text) {
  for (const NormalizationRule& rule : EverydayRules()) {
    if (rule.name == name) {
      ApplyRule(rule, text);
      return text;
    }
  }
  throw std::invalid_argument("no everyday rule named " + name);
}

void ExpectRule(const std::string& rule, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(wstring2utf8string(Apply(rule, c.input)),
              wstring2utf8string(c.expected))
        << rule << " on input: " << wstring2utf8string(c.input);
  }
}

TEST(EverydayRulesTest, MoneyIsSaidAfterItsAmount) {
  ExpectRule("money_before", {
                                 {L"¥1,280", L"一千二百八十元"},
                                 {L"HK$2,500", L"两千五百港元"},
                                 {L"¥2", L"两元"},
                                 {L"$1.99", L"一点九九美元"},
                                 {L"¥20万", L"二十万元"},
                                 {L"RMB 50", L"五十元"},
                                 {L"$", L"$"},
                                 {L"¥88.00", L"八十八元"},
                                 {L"¥1,024.00", L"一千零二十四元"},
                                 {L"¥88.50", L"八十八点五元"},
                             });
  ExpectRule("money_after", {
                                {L"30 USD", L"三十美元"},
                                {L"5.00 USD", L"五美元"},
                                {L"30USDT", L"30USDT"},
                            });
}

TEST(EverydayRulesTest, EveryCurrencyIsSaid) {
  for (const Currency& currency : Currencies()) {
    const std::wstring symbol(currency.symbol);
    const std::wstring said = L"五" + std::wstring(currency.reading);
    EXPECT_EQ(Apply("money_before", symbol + L"5"), said);
    if (currency.code) {
      EXPECT_EQ(Apply("money_after", L"5 " + symbol), said);
    }
  }
}

TEST(EverydayRulesTest, EveryUnitIsSaid) {
  for (const Unit& unit : Units()) {
    const std::wstring reading(unit.reading);
    EXPECT_EQ(
        wstring2utf8string(Apply("measure", L"5" + std::wstring(unit.symbol))),
        wstring2utf8string(unit.before ? reading + L"五" : L"五" + reading));
  }
}

TEST(EverydayRulesTest, Measures) {
  ExpectRule("measure", {
                            {L"60km/h", L"六十公里每小时"},
                            {L"10m/s", L"十米每秒"},
                            {L"2L", L"两升"},
                            {L"1,200mm", L"一千二百毫米"},
                            {L"3.5kg", L"三点五公斤"},
                            {L"2‰", L"千分之二"},
                            {L"5GB的", L"五G的"},
                            {L"40°F", L"四十华氏度"},
                            {L"170-180cm", L"一百七十到一百八十厘米"},
                            {L"1~2‰", L"千分之一到千分之二"},
                            {L"5.6mmol/L", L"五点六毫摩尔每升"},
                            {L"90mg/dL", L"九十毫克每分升"},
                            {L"35μg/m³", L"三十五微克每立方米"},
                            // Not units: a letter follows, or none is one.
                            {L"5mx", L"5mx"},
                            {L"5G网络", L"5G网络"},
                            {L"30°C", L"30°C"},
                        });
  ExpectRule("temperature_range", {
                                      {L"35℃-40℃", L"三十五到四十度"},
                                      {L"-5~3度", L"负五到三度"},
                                      {L"35-40", L"35-40"},
                                  });
  ExpectRule("per_unit", {{L"元/斤", L"元每斤"},
                          {L"元/kg", L"元每公斤"},
                          {L"公里/小时", L"公里每小时"},
                          {L"次/分", L"次每分"},
                          {L"元/间/晚", L"元每间每晚"}});
}

TEST(EverydayRulesTest, TelephoneNumbersInGroups) {
  ExpectRule("grouped_phone",
             {
                 {L"139-1234-5678", L"幺三九幺二三四五六七八"},
                 {L"138 1234 5678", L"幺三八幺二三四五六七八"},
                 {L"+86 139-1234-5678", L"八六幺三九幺二三四五六七八"},
                 {L"+86-10-87654321", L"八六幺零八七六五四三二幺"},
                 {L"(010) 8765 4321", L"零幺零八七六五四三二幺"},
                 {L"400-820-8820", L"四零零八二零八八二零"},
                 {L"+852 2123 4567", L"八五二二幺二三四五六七"},
                 {L"(+86)13812345678", L"八六幺三八幺二三四五六七八"},
                 {L"0086-21-12345678", L"零零八六二幺幺二三四五六七八"},
                 {L"138.1234.5678", L"幺三八幺二三四五六七八"},
                 {L"2008.1234.5678", L"2008.1234.5678"},
                 {L"100-1000", L"100-1000"},
                 {L"2019-2020", L"2019-2020"},
             });
}

TEST(EverydayRulesTest, SpansOfYears) {
  ExpectRule("year_range", {
                               {L"2019-2020", L"二零一九到二零二零"},
                               {L"2018~2020年", L"二零一八到二零二零年"},
                               {L"2020-1999", L"二千零二十到一千九百九十九"},
                               {L"2015—2018年", L"二零一五到二零一八年"},
                               {L"2015——2018", L"二零一五到二零一八"},
                           });
  ExpectRule("date_range", {
                               {L"3月5日—4月2日", L"3月5日到4月2日"},
                               {L"6月1日-9日", L"6月1日到9日"},
                               {L"3月～5月", L"3月到5月"},
                               {L"5日-3", L"5日-3"},
                           });
}

TEST(EverydayRulesTest, SumsAndComparisons) {
  ExpectRule("expression", {
                               {L"1+1=2", L"一加一等于二"},
                               {L"10-3=7", L"十减三等于七"},
                               {L"6/2=3", L"六除以二等于三"},
                               {L"1/2+1/3", L"二分之一加三分之一"},
                               {L"-5+3=-2", L"负五加三等于负二"},
                               {L"10%+5%", L"百分之十加百分之五"},
                               {L"3²=9", L"三的平方等于九"},
                               {L"12×12=144", L"十二乘十二等于一百四十四"},
                               {L"5 > 3", L"五大于三"},
                               // A range and a fraction are no sums.
                               {L"3-5", L"3-5"},
                               {L"3/4", L"3/4"},
                           });
  ExpectRule("comparison", {
                               {L"x>5", L"x大于五"},
                               {L"t < -2.5", L"t小于负二点五"},
                               {L"0<x<1", L"零小于x小于一"},
                               {L"n≥10", L"n大于等于十"},
                               {L"a<b", L"a<b"},
                           });
}

TEST(EverydayRulesTest, EverySignIsSaid) {
  for (const SignReading& sign : SignReadings()) {
    const std::wstring reading(sign.reading);
    if (sign.anywhere) {
      std::wstring text = std::wstring(L"甲") + sign.sign + L"乙";
      ReadMathSigns(text);
      EXPECT_EQ(text, L"甲" + reading + L"乙");
    } else {
      EXPECT_EQ(Apply("expression", std::wstring(L"1") + sign.sign + L"2=3"),
                L"一" + reading + L"二等于三");
    }
  }
  std::wstring names = L"C++和x+y，+86";
  ReadMathSigns(names);
  EXPECT_EQ(names, L"C加加和x加y，+86");
}

TEST(EverydayRulesTest, ScoresAreSaidWith比) {
  ExpectRule("score_after_word",
             {
                 {L"比分2:1", L"比分二比一"},
                 {L"战成2-2平", L"战成二比二平"},
                 {L"比分为108:102", L"比分为一百零八比一百零二"},
             });
  ExpectRule("score_before_result", {
                                        {L"3-1战胜", L"三比一战胜"},
                                        {L"2:0获胜", L"二比零获胜"},
                                        {L"3-5平方米", L"3-5平方米"},
                                    });
}

TEST(EverydayRulesTest, Times) {
  ExpectRule("twelve_hour_time", {
                                     {L"6:30pm", L"晚上六点三十分"},
                                     {L"10:15 a.m.", L"上午十点十五分"},
                                     {L"3PM", L"下午三点"},
                                     {L"12:00pm", L"中午十二点"},
                                     {L"12am", L"凌晨零点"},
                                     {L"5:00 am", L"凌晨五点"},
                                     {L"2pm", L"下午两点"},
                                     {L"3pa", L"3pa"},
                                 });
  ExpectRule("clock_range", {
                                {L"9:00-17:00", L"九点到十七点"},
                                {L"8:30~22:00", L"八点三十分到二十二点"},
                                {L"18:30—20:00", L"十八点三十分到二十点"},
                            });
  ExpectRule("duration_after_word",
             {
                 {L"用时1:05:30", L"用时一小时五分三十秒"},
                 {L"成绩为2:00:15", L"成绩为两小时零十五秒"},
                 {L"耗时0:45:00", L"耗时四十五分"},
                 {L"用时1:05", L"用时1:05"},
             });
}

TEST(EverydayRulesTest, Dates) {
  ExpectRule("numeric_date", {
                                 {L"2020/7/1", L"二零二零年七月一日"},
                                 {L"2020-07-01", L"二零二零年七月一日"},
                                 {L"2020-7/1", L"2020-7/1"},
                                 {L"2020/7/32", L"2020/7/32"},
                             });
  ExpectRule("day_month_year", {
                                   {L"25/12/2020", L"二零二零年十二月二十五日"},
                                   {L"12/25/2020", L"二零二零年十二月二十五日"},
                                   {L"01-07-2020", L"二零二零年一月七日"},
                                   {L"25-12/2020", L"25-12/2020"},
                                   {L"13/13/2020", L"十三斜杠十三斜杠二零二零"},
                               });
  ExpectRule("year_month", {
                               {L"2020/07", L"二零二零年七月"},
                               {L"2020-13", L"2020-13"},
                           });
  ExpectRule("slash_date", {
                               // Only a date can be written 7/1.
                               {L"7/1", L"七月一日"},
                               {L"3/4", L"四分之三"},
                               {L"3/4起", L"三月四日起"},
                               {L"10/1号", L"十月一号"},
                               {L"1/32", L"三十二分之一"},
                               {L"24/7", L"七分之二十四"},
                           });
  ExpectRule("dotted_date", {
                                {L"9.10起", L"九月十日起"},
                                {L"10.1恢复", L"十月一日恢复"},
                                {L"13.5起", L"十三点五起"},
                                {L"低至9.9起", L"低至九点九起"},
                                {L"从1.5开始", L"从一点五开始"},
                                {L"从9.10起", L"从九月十日起"},
                                {L"2.5起步价", L"2.5起步价"},
                                {L"9.10元", L"9.10元"},
                            });
}

// Whatever mix of digits and signs a sentence holds, every digit is read
// and nothing breaks.
TEST(EverydayRulesTest, RandomTextIsReadWhole) {
  const std::wstring symbols =
      L"0123456789012345678901234567890123456789-~.:/%+ ,@_()$¥€£×÷=<>≤≥±²‰°："
      L"年月日号点分个元人比获胜第共拨打后级室厅万千百亿abcxyzKGBmhLpPAM";
  std::mt19937 random(11);
  std::uniform_int_distribution<std::size_t> pick(0, symbols.size() - 1);
  std::uniform_int_distribution<int> length(0, 40);
  for (int round = 0; round < 20000; ++round) {
    std::wstring sentence;
    for (int n = length(random); n > 0; --n) sentence += symbols[pick(random)];
    const std::wstring original = sentence;
    NormalizeSentence(sentence);
    EXPECT_EQ(sentence.find_first_of(L"0123456789"), std::wstring::npos)
        << wstring2utf8string(original);
  }
}

TEST(EverydayRulesTest, FullWidthColonsBetweenDigits) {
  std::wstring text = L"22：15，时间：10点";
  FoldColonsBetweenDigits(text);
  EXPECT_EQ(text, L"22:15，时间：10点");
}

}  // namespace
}  // namespace speechnn
