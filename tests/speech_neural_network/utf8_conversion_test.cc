#include "speech_neural_network/utf8_conversion.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace speechnn {
namespace {

TEST(Utf8ConversionTest, RoundTripsEveryLength) {
  const std::wstring wide = {L'a', 0x00E9, 0x4E2D, 0x1F602, 0x10FFFF};
  const std::string utf8 = wstring2utf8string(wide);
  EXPECT_EQ(utf8, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x82\xF4\x8F\xBF\xBF");
  EXPECT_EQ(utf8string2wstring(utf8), wide);
  EXPECT_EQ(Utf8Length(utf8), 5u);
  EXPECT_EQ(utf8string2wstring(""), L"");
  EXPECT_EQ(utf8string2wstring(std::string("a\0b", 3)),
            std::wstring(L"a\0b", 3));
}

TEST(Utf8ConversionTest, MalformedInputThrowsWithItsOffset) {
  struct Case {
    std::string text;
    std::size_t offset;
  };
  const std::vector<Case> cases = {
      {"ab\xE4\xB8", 2},        // truncated three-byte sequence
      {"\x80", 0},              // stray continuation byte
      {"\xC0\xAF", 0},          // overlong "/"
      {"\xE0\x80\xAF", 0},      // overlong three-byte form
      {"\xF0\x80\x80\xAF", 0},  // overlong four-byte form
      {"x\xED\xA0\x80", 1},     // encoded high surrogate
      {"\xED\xBF\xBF", 0},      // encoded low surrogate
      {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
      {"ok\xFE", 2},            // never valid
      {"\xFF", 0},
      {"\xE4\xB8\xAD\xE4\x41\xAD", 3},  // bad continuation
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindInvalidUtf8(c.text), c.offset);
    try {
      utf8string2wstring(c.text);
      ADD_FAILURE() << "no error for offset " << c.offset;
    } catch (const std::range_error& e) {
      EXPECT_STREQ(e.what(), "wstring_convert::from_bytes");
    }
  }
  EXPECT_EQ(FindInvalidUtf8("中文 text"), std::string::npos);
}

TEST(Utf8ConversionTest, UnencodableWideValuesThrow) {
  for (const wchar_t bad :
       {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDFFF),
        static_cast<wchar_t>(0x110000)}) {
    try {
      wstring2utf8string(std::wstring(1, bad));
      ADD_FAILURE() << "no error for " << static_cast<long>(bad);
    } catch (const std::range_error& e) {
      EXPECT_STREQ(e.what(), "wstring_convert::to_bytes");
    }
  }
}

}  // namespace
}  // namespace speechnn
