#include "common/log_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvaren {
namespace {

TEST(EscapeForLogTest, ControlCharactersAndBrokenBytesBecomeVisible) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"你好，world \\ ~", "你好，world \\ ~"},
      {"a\nb\rc\td", "a\\nb\\rc\\td"},
      {"\x1b[2J\x07\x7f", "\\x1b[2J\\x07\\x7f"},
      {std::string("a\0b", 3), "a\\x00b"},
      // C1 controls (U+0085, U+009B) but not U+00A0 or U+00E9.
      {"\xc2\x85\xc2\x9b\xc2\xa0\xc3\xa9",
       "\\xc2\\x85\\xc2\\x9b\xc2\xa0\xc3\xa9"},
      // A lone CSI byte, a cut sequence, an overlong form, a surrogate.
      {"\x9b"
       "1m",
       "\\x9b1m"},
      {"\xe4\xbd", "\\xe4\\xbd"},
      {"\xc0\xaf", "\\xc0\\xaf"},
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeForLog(c.text), c.shown) << c.shown;
  }
}

}  // namespace
}  // namespace tolvaren
