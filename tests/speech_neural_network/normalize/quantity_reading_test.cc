#include "speech_neural_network/normalize/quantity_reading.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "speech_neural_network/normalize/normalization_rules.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

std::string Normalized(std::wstring text) {
  NormalizeSentence(text);
  return wstring2utf8string(text);
}

TEST(QuantityReadingTest, TwoIs两WhereItCounts) {
  const std::vector<std::pair<std::wstring, std::wstring>> cases = {
      {L"2", L"两"},           {L"20", L"二十"},
      {L"22", L"二十二"},      {L"200", L"两百"},
      {L"2000", L"两千"},      {L"20000", L"两万"},
      {L"12000", L"一万两千"}, {L"1200", L"一千二百"},
      {L"120000", L"十二万"},  {L"2200", L"两千二百"},
      {L"22000", L"两万两千"}, {L"102000", L"十万两千"},
      {L"200000000", L"两亿"}, {L"0", L"零"},
  };
  for (const auto& [digits, said] : cases) {
    EXPECT_EQ(wstring2utf8string(ReadQuantity(digits)),
              wstring2utf8string(said))
        << wstring2utf8string(digits);
  }
  EXPECT_EQ(ReadQuantityNumber(L"2.5"), L"二点五");
}

// Every word of both tables decides the reading of 2 before it, whichever
// rule reads the number.
TEST(QuantityReadingTest, EveryTableWordDecides) {
  for (const std::wstring_view word : CountWords()) {
    const std::string text = Normalized(L"有2" + std::wstring(word));
    EXPECT_EQ(text, "有两" + wstring2utf8string(std::wstring(word)));
  }
  for (const std::wstring_view word : NameWords()) {
    const std::string text = Normalized(L"在2" + std::wstring(word));
    EXPECT_EQ(text, "在二" + wstring2utf8string(std::wstring(word)));
  }
}

TEST(QuantityReadingTest, CountsAndNamesInSentences) {
  const std::vector<std::pair<std::wstring, std::string>> cases = {
      {L"第2次", "第二次"},      {L"2号楼", "二号楼"},
      {L"2路公交", "二路公交"},  {L"2点半", "两点半"},
      {L"2000多人", "两千多人"}, {L"1-2天", "一到两天"},
      {L"2室1厅", "两室一厅"},   {L"共2200元", "共两千二百元"},
      {L"2个月", "两个月"},      {L"2.5个", "二点五个"},
      {L"2和3", "二和三"},       {L"2000股", "两千股"},
      {L"了15年", "了十五年"},   {L"公元前221年", "公元前二二一年"},
      {L"2千米", "两千米"},      {L"12000元", "一万两千元"},
      {L"B2层", "B二层"},  // a name's number
      {L"2两", "二两"},          {L"2日元", "两日元"},
      {L"2:30", "两点三十分"},   {L"02:00", "两点"},
      {L"22:00", "二十二点"},    {L"12:00:05", "十二点零分零五秒"},
  };
  for (const auto& [text, said] : cases) {
    EXPECT_EQ(Normalized(text), said) << wstring2utf8string(text);
  }
}

// A year is said digit by digit, a span of years as a count; a grade is
// named by its number.
TEST(QuantityReadingTest, YearsAndSpansOfYears) {
  const std::vector<std::pair<std::wstring, std::string>> cases = {
      {L"20年后", "二十年后"},     {L"2年", "两年"},
      {L"100年", "一百年"},        {L"5000年", "五千年"},
      {L"1000年前", "一千年前"},   {L"2020年前", "二零二零年前"},
      {L"98年", "九八年"},         {L"2年级", "二年级"},
      {L"12年级", "十二年级"},     {L"1000多年", "一千多年"},
      {L"过去30年", "过去三十年"}, {L"90年代", "九零年代"},
  };
  for (const auto& [text, said] : cases) {
    EXPECT_EQ(Normalized(text), said) << wstring2utf8string(text);
  }
}

TEST(QuantityReadingTest, HotlinesAndCodesAreDigits) {
  const std::vector<std::pair<std::wstring, std::string>> cases = {
      {L"请拨打95588", "请拨打九五五八八"},
      {L"工行95588提醒", "工行九五五八八提醒"},
      {L"尾号1234的", "尾号幺二三四的"},
      {L"客服电话400", "客服电话四零零"},
      {L"10000人", "一万人"},
      {L"共3500", "共三千五百"},
      // One run is read one way, never half by place.
      {L"1234567890131人", "幺二三四五六七八九零幺三幺人"},
      {L"202401150001", "二零二四零幺幺五零零零幺"},
  };
  for (const auto& [text, said] : cases) {
    EXPECT_EQ(Normalized(text), said) << wstring2utf8string(text);
  }
}

}  // namespace
}  // namespace speechnn
