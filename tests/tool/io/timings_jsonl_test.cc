#include "tool/io/timings_jsonl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvaren {
namespace {

TEST(TimingsJsonlTest, StringsAreEscaped) {
  struct Case {
    std::string text;
    std::string json;
  };
  const std::vector<Case> cases = {
      {"你好", "\"你好\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"a\\b", "\"a\\\\b\""},
      {"\n\r\t\b\f", "\"\\n\\r\\t\\b\\f\""},
      {std::string("\x01\x1f", 2) + std::string(1, '\0'),
       "\"\\u0001\\u001f\\u0000\""},
      {"\x7f/", "\"\x7f/\""},
      // Bytes that are not UTF-8: a stray continuation, a truncated
      // sequence, an overlong form, a surrogate.
      {"a\x80z", "\"a\xEF\xBF\xBDz\""},
      {"\xE4\xBD", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
      // Line and paragraph separators end a line in JavaScript.
      {"a\xE2\x80\xA8"
       "b\xE2\x80\xA9\xE2\x80\xAA",
       "\"a\\u2028"
       "b\\u2029\xE2\x80\xAA\""},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.json;
}

TEST(TimingsJsonlTest, TheExactLines) {
  tolvaren_tts::WordTiming hello{"你好", "ni2 hao3", 0, 9600, {}, false};
  hello.syllables = {{"你", "ni2", 0, 4800}, {"好", "hao3", 4800, 9600}};
  const tolvaren_tts::WordTiming pause{"，", "", 9600, 12000, {}, true};
  EXPECT_EQ(TimingsJsonl(24000, {hello, pause}),
            "{\"sample_rate\":24000}\n"
            "{\"word\":\"你好\",\"pinyin\":\"ni2 hao3\",\"start\":0,"
            "\"end\":9600,\"syllables\":[{\"text\":\"你\",\"pinyin\":\"ni2\","
            "\"start\":0,\"end\":4800},{\"text\":\"好\",\"pinyin\":\"hao3\","
            "\"start\":4800,\"end\":9600}]}\n"
            "{\"pause\":true,\"start\":9600,\"end\":12000}\n");
  EXPECT_EQ(TimingLine(pause, 100),
            "{\"pause\":true,\"start\":9700,\"end\":12100}\n");
  EXPECT_EQ(TimingLine(pause, 0, "0001.wav"),
            "{\"file\":\"0001.wav\",\"pause\":true,\"start\":9600,"
            "\"end\":12000}\n");
}

}  // namespace
}  // namespace tolvaren
