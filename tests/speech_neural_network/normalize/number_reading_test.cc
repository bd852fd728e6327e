#include "speech_neural_network/normalize/number_reading.h"

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

// The readings as UTF-8, to compare with the expectations below.
std::string Digits(const std::string& digits, bool use_yao) {
  return wstring2utf8string(ReadDigits(utf8string2wstring(digits), use_yao));
}
std::string Positional(const std::string& num, bool say_zero) {
  return wstring2utf8string(ReadPositional(utf8string2wstring(num), say_zero));
}
std::string Integer(const std::string& num, bool use_yao, bool say_zero) {
  return wstring2utf8string(
      ReadInteger(utf8string2wstring(num), use_yao, say_zero));
}
std::string Number(const std::string& text) {
  return wstring2utf8string(ReadNumber(utf8string2wstring(text)));
}

// The positional reading as a plain recursion over the whole digit string,
// splitting at 十, 百, 千, 万 or 亿 by the number of significant digits.
// The engine reads long numbers without deep recursion; both must agree.
std::string RecursivePositional(const std::string& num, bool say_zero) {
  static const char* const kDigits[] = {"零", "一", "二", "三", "四",
                                        "五", "六", "七", "八", "九"};
  const std::size_t first = num.find_first_not_of('0');
  if (first == std::string::npos) return "";
  const std::size_t n = num.size() - first;
  const std::string last = kDigits[num.back() - '0'];
  if (n == 1) return (say_zero && num.size() > 1) ? "零" + last : last;
  std::size_t places;
  const char* unit;
  if (n == 2) {
    places = 1, unit = "十";
  } else if (n == 3) {
    places = 2, unit = "百";
  } else if (n == 4) {
    places = 3, unit = "千";
  } else if (n <= 8) {
    places = 4, unit = "万";
  } else {
    places = 8, unit = "亿";
  }
  return RecursivePositional(num.substr(0, num.size() - places), say_zero) +
         unit + RecursivePositional(num.substr(num.size() - places), say_zero);
}

std::string Repeat(const std::string& text, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += text;
  return out;
}

TEST(NumberReadingTest, WorkedReadings) {
  struct Case {
    std::string input;
    std::string digits;
    std::string integer_saying_zero;
    std::string integer_without_zero;
  };
  const std::vector<Case> cases = {
      // A zero that is to be said is said, however many zeros are written.
      {"0", "零", "零", ""},
      {"00", "零零", "零", ""},
      {"000", "零零零", "零", ""},
      {"", "", "", ""},
      {"05", "零五", "零五", "五"},
      {"0005", "零零零五", "零五", "五"},
      {"10", "一零", "十", "十"},
      {"20", "二零", "二十", "二十"},
      {"100", "一零零", "一百", "一百"},
      {"101", "一零一", "一百零一", "一百一"},
      {"1010", "一零一零", "一千零一十", "一千一十"},
      {"2023", "二零二三", "二千零二十三", "二千二十三"},
      {"120005", "一二零零零五", "十二万零五", "十二万五"},
      {"1000000", "一零零零零零零", "一百万", "一百万"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(Digits(c.input, false), c.digits);
    EXPECT_EQ(Integer(c.input, false, true), c.integer_saying_zero);
    EXPECT_EQ(Integer(c.input, false, false), c.integer_without_zero);
  }
}

TEST(NumberReadingTest, PositionalReadingKeepsLeadingOneTen) {
  struct Case {
    std::string input;
    bool say_zero;
    std::string reading;
  };
  const std::vector<Case> cases = {
      {"120005", true, "一十二万零五"},
      {"1001", true, "一千零一"},
      {"1010", true, "一千零一十"},
      {"1000", true, "一千"},
      {"100000000", true, "一亿"},
      {"0005", true, "零五"},
      {"0005", false, "五"},
      {"0", true, ""},
      {"", true, ""},
      {"10", false, "一十"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(Positional(c.input, c.say_zero), c.reading);
  }
}

TEST(NumberReadingTest, IntegerShortensOnlyLeadingOneTen) {
  struct Case {
    std::string input;
    std::string reading;
  };
  const std::vector<Case> cases = {
      {"1", "一"},         {"10", "十"},
      {"15", "十五"},      {"11", "十一"},
      {"100000", "十万"},  {"1234567890", "十二亿三千四百五十六万七千八百九十"},
      {"110", "一百一十"}, {"210000", "二十一万"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(Integer(c.input, false, true), c.reading);
  }
}

TEST(NumberReadingTest, LargeNumbersUseYi) {
  struct Case {
    std::string input;
    std::string reading;
  };
  const std::vector<Case> cases = {
      {"100000000", "一亿"},
      {"100000001", "一亿零一"},
      {"123456789", "一亿二千三百四十五万六千七百八十九"},
      {"1000000000000", "一万亿"},
      {"10000000000000000", "一亿亿"},
      {"12345678901234567",
       "一亿二千三百四十五万六千七百八十九亿零一百二十三万四千五百六十七"},
      {"0100000000", "零一亿"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(Integer(c.input, false, true), c.reading);
  }
}

TEST(NumberReadingTest, PositionalReadingAgreesWithPlainRecursion) {
  std::mt19937 random(20230501);
  std::uniform_int_distribution<int> length(1, 40);
  std::uniform_int_distribution<int> digit(0, 9);
  std::bernoulli_distribution zero(0.4);  // gaps of zeros are the hard part
  for (int round = 0; round < 2000; ++round) {
    std::string num;
    const int n = length(random);
    for (int i = 0; i < n; ++i) {
      num.push_back(zero(random) ? '0'
                                 : static_cast<char>('0' + digit(random)));
    }
    SCOPED_TRACE(num);
    for (const bool say_zero : {true, false}) {
      ASSERT_EQ(Positional(num, say_zero), RecursivePositional(num, say_zero));
    }
  }
}

// 幺 is chosen per call and never carries over to the next reading.
TEST(NumberReadingTest, YaoIsChosenPerCall) {
  EXPECT_EQ(Digits("13800138000", true), "幺三八零零幺三八零零零");
  EXPECT_EQ(Integer("11", false, true), "十一");
  EXPECT_EQ(Digits("1", true), "幺");
  EXPECT_EQ(Positional("11", true), "一十一");
  EXPECT_EQ(Number("1.1"), "一点一");
  // The shortening compares with whichever 1 the call chose.
  EXPECT_EQ(Integer("11", true, true), "十幺");
  EXPECT_EQ(Digits("1", false), "一");
}

TEST(NumberReadingTest, DigitsSkipWhatIsNotADigit) {
  EXPECT_EQ(Digits("010-1234", false), "零一零一二三四");
  EXPECT_EQ(Digits("+86 138", true), "八六幺三八");
  EXPECT_EQ(Digits("年5", false), "五");
  EXPECT_EQ(Integer("a", false, true), "");
}

TEST(NumberReadingTest, Decimals) {
  struct Case {
    std::string input;
    std::string reading;
  };
  const std::vector<Case> cases = {
      {"3.14", "三点一四"},
      {"12.05", "十二点零五"},
      {".5", "点五"},
      {"1.00", "一点零"},
      {"1.50", "一点五"},
      {"1.500", "一点五零"},
      {"36.5", "三十六点五"},
      {"7", "七"},
      {"", ""},
      // A zero integer part is said, like any zero.
      {"0.5", "零点五"},
      {"0.05", "零点零五"},
      // The only digit after the point is said, zero or not.
      {"1.0", "一点零"},
      {"10.0", "十点零"},
      {"0.0", "零点零"},
      {".0", "点零"},
      {"1.", "一"},
      {".", ""},
      {"1.2.3", "The value does not conform to the numeric format"},
      {"..", "The value does not conform to the numeric format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(Number(c.input), c.reading);
  }
  EXPECT_EQ(Number("36.5"), "三十六点五");
  EXPECT_EQ(Integer("05", false, false), "五");
  EXPECT_EQ(Integer("05", false, true), "零五");
}

TEST(NumberReadingTest, VeryLongDigitStrings) {
  const std::size_t length = 100000;
  const std::string zeros(length, '0');
  EXPECT_EQ(Digits(zeros, false), Repeat("零", length));
  EXPECT_EQ(Integer(zeros, false, true), "零");
  EXPECT_EQ(Integer(zeros, false, false), "");
  EXPECT_EQ(Integer(zeros + "5", false, true), "零五");
  // 1 and 99,999 zeros: 一千万 and then 亿 for every further eight digits.
  EXPECT_EQ(Integer("1" + std::string(length - 1, '0'), false, true),
            "一千万" + Repeat("亿", (length - 8) / 8));
  // Deep enough for the plain recursion to be slow, still safe for it.
  const std::string mixed = Repeat("1234567890", 1000);
  EXPECT_EQ(Positional(mixed, true), RecursivePositional(mixed, true));
  const std::string long_mixed = Repeat("1234567890", length / 10);
  const std::string reading = Positional(long_mixed, true);
  EXPECT_EQ(reading.rfind("一千二百三十四万五千六百七十八亿", 0), 0u);
}

}  // namespace
}  // namespace speechnn
