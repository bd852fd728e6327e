// The markup subset: each element read into parts, and the bad documents
// refused (or bounded) with a message that says where.

#include "speech_neural_network/markup/markup_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "absl/strings/str_cat.h"
#include "absl/strings/str_format.h"
#include "absl/strings/str_join.h"

namespace speechnn {
namespace {

// "text(你好) break(1000) pinyin(ni3 hao3|你好) text@0.8(慢)".
std::string Describe(const std::vector<SpeechPart>& parts) {
  std::vector<std::string> described;
  for (const SpeechPart& part : parts) {
    const std::string rate =
        part.rate == 1.0 ? "" : absl::StrFormat("@%g", part.rate);
    switch (part.kind) {
      case SpeechPart::Kind::kText:
        described.push_back(absl::StrCat("text", rate, "(", part.text, ")"));
        break;
      case SpeechPart::Kind::kPinyin:
        described.push_back(absl::StrCat("pinyin", rate, "(",
                                         absl::StrJoin(part.syllables, " "),
                                         "|", part.text, ")"));
        break;
      case SpeechPart::Kind::kBreak:
        described.push_back(absl::StrCat("break(", part.break_ms, ")"));
        break;
    }
  }
  return absl::StrJoin(described, " ");
}

std::string Speak(const std::string& body) {
  return "<speak>" + body + "</speak>";
}

TEST(MarkupReaderTest, ReadsEachElement) {
  struct Case {
    std::string body;
    std::string parts;
    std::size_t warnings = 0;
  };
  const std::vector<Case> cases = {
      {"你好<break time=\"1s\"/>世界", "text(你好) break(1000) text(世界)"},
      {"一<break time=\"250ms\"/>二<break time=\" 0.5s \"/>",
       "text(一) break(250) text(二) break(500)"},
      {"<break/><break strength=\"none\"/><break strength=\"x-weak\"/>"
       "<break strength=\"x-strong\"/>",
       "break(500) break(0) break(100) break(1000)"},
      {"<break strength=\"loud\"/>", "break(500)", 1},
      {"<break time=\"1e9s\"/>", "break(10000)", 1},  // capped, said so
      {"<prosody rate=\"80%\">慢<prosody "
       "rate=\"x-slow\">更慢</prosody></prosody>"
       "快",
       "text@0.8(慢) text@0.4(更慢) text(快)"},
      {"<prosody rate=\"1.5\">快</prosody><prosody "
       "rate=\"fast\">也快</prosody>",
       "text@1.5(快) text@1.25(也快)"},
      // Nested rates multiply; only their product, with the caller's
      // speed, is kept within what synthesis takes.
      {"<prosody rate=\"x-fast\"><prosody "
       "rate=\"300%\">太快</prosody></prosody>",
       "text@4.5(太快)"},
      {"<prosody rate=\"100\"><prosody rate=\"0.5\">快</prosody></prosody>",
       "text@50(快)"},
      {"<prosody rate=\"1%\"><prosody rate=\"4\">慢</prosody></prosody>",
       "text@0.04(慢)"},
      {"<prosody rate=\"quick\">照常</prosody>", "text(照常)", 1},
      {"<prosody pitch=\"high\">高</prosody>", "text(高)", 1},
      // Text of one rate is one part, whatever elements it went through.
      {"你<prosody>好</prosody>啊", "text(你好啊)"},
      // ... also where only blanks of another rate stood between them.
      {"<prosody rate=\"80%\">慢<prosody rate=\"x-fast\">念</prosody>\n\n"
       "<prosody rate=\"x-fast\">念</prosody>\n</prosody>",
       "text@0.8(慢) text@1.2(念 念)"},
      {"<say-as interpret-as=\"digits\">2023年</say-as>", "text(二零二三年)"},
      {"<say-as interpret-as=\"characters\">A1</say-as>", "text(A一)"},
      {"<say-as interpret-as=\"telephone\">+86 131-0</say-as>",
       "text(八六幺三幺零)"},
      {"<say-as interpret-as=\"cardinal\">-1,234.5</say-as>",
       "text(负一千二百三十四点五)"},
      {"<say-as interpret-as=\"cardinal\">12ab</say-as>", "text(12ab)", 1},
      {"<say-as interpret-as=\"date\">2023-05-01</say-as>",
       "text(二零二三年五月一日)"},
      {"<say-as interpret-as=\"date\">1999/12</say-as>",
       "text(一九九九年十二月)"},
      {"<say-as interpret-as=\"date\">2023-13-01</say-as>", "text(2023-13-01)",
       1},
      // A day the month does not have is read as written.
      {"<say-as interpret-as=\"date\">2023-02-31</say-as>", "text(2023-02-31)",
       1},
      {"<say-as interpret-as=\"date\">2023-02-29</say-as>", "text(2023-02-29)",
       1},
      {"<say-as interpret-as=\"date\">2024-02-29</say-as>",
       "text(二零二四年二月二十九日)"},
      {"<say-as interpret-as=\"ordinal\">3</say-as>", "text(3)", 1},
      {"<phoneme alphabet=\"pinyin\" ph=\"ni3 hao3\">你好</phoneme>",
       "pinyin(ni3 hao3|你好)"},
      {"<prosody rate=\"50%\"><phoneme ph=\"lv4\">绿</phoneme></prosody>",
       "pinyin@0.5(lv4|绿)"},
      {"<phoneme alphabet=\"ipa\" ph=\"ni\">你</phoneme>", "text(你)", 1},
      {"<sub alias=\"世界卫生组织\">WHO</sub>", "text(世界卫生组织)"},
      {"<sub>WHO</sub>", "text(WHO)", 1},
      {"<p><s>句子</s></p>", "text(句子)", 2},  // unknown: skipped, text read
      {"<sub alias=\"甲\">乙<break/></sub>", "text(甲)", 1},
      {"\n  你好\n  <break/>\n  世界\n", "text(你好) break(500) text(世界)"},
      {"&lt;&#x4F60;<![CDATA[&]]><!-- -->", "text(<你&)"},
      {"  ", ""},
  };
  for (const Case& c : cases) {
    std::vector<SpeechPart> parts;
    std::vector<std::string> warnings;
    ASSERT_TRUE(ReadMarkup(Speak(c.body), &parts, &warnings).ok()) << c.body;
    EXPECT_EQ(Describe(parts), c.parts) << c.body;
    EXPECT_EQ(warnings.size(), c.warnings)
        << c.body << ": " << absl::StrJoin(warnings, "; ");
  }
}

TEST(MarkupReaderTest, BadDocumentsAreErrorsThatSayWhere) {
  std::string deep = "<speak>";
  for (int i = 0; i < 10000; ++i) deep += "<prosody>";
  const std::string bomb =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE speak [\n"
      "<!ENTITY a \"aaaaaaaaaa\">\n<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>\n<speak>&c;</speak>";
  struct Case {
    std::string document;
    std::string error;  // the start of the message
  };
  const std::vector<Case> cases = {
      {"<speak>你好<break time=\"1s\"/>",
       "line 1, column 28: no element found"},
      {"<speak>\n<break time=\"-1s\"/></speak>",
       "line 2, column 1: a negative break time"},
      {Speak("<break time=\"soon\"/>"),
       "line 1, column 8: a break time without"},
      {Speak("<break time=\"xs\"/>"), "line 1, column 8: an unreadable"},
      {Speak("<break time=\"nans\"/>"), "line 1, column 8: an unreadable"},
      {deep, "line 1, column 899: elements nested deeper than 100"},
      {Speak("<sub alias=\"" + std::string(1 << 20, 'a') + "\">x</sub>"),
       "line 1, column 8: attribute alias is longer than 4096 bytes"},
      {bomb, "line 2, column 17: a document type declaration is not read"},
      {"<p>你好</p>", "line 1, column 1: the root element is <p>"},
      {"你好", "line 1, column 1: syntax error"},
      {"", "line 1, column 1: no element found"},
      {Speak("<phoneme ph=\"xx9\">x</phoneme>"),
       "line 1, column 27: invalid pinyin syllable \"xx9\""},
      {Speak("<phoneme ph=\" \">x</phoneme>"), "line 1, column 25: no pinyin"},
      {std::string(kMaxMarkupBytes + 1, ' '), "markup of 4194305 bytes"},
  };
  for (const Case& c : cases) {
    std::vector<SpeechPart> parts(1);
    std::vector<std::string> warnings;
    const absl::Status read = ReadMarkup(c.document, &parts, &warnings);
    const std::string shown = c.document.substr(0, 60);
    ASSERT_FALSE(read.ok()) << shown;
    EXPECT_EQ(std::string(read.message()).substr(0, c.error.size()), c.error)
        << shown << ": " << read;
    // Nothing is spoken of a refused document.
    EXPECT_EQ(parts.size(), 1u) << shown;
    EXPECT_TRUE(warnings.empty()) << shown;
  }
}

TEST(MarkupReaderTest, PartsAndWarningsAreBounded) {
  std::string breaks;
  for (std::size_t i = 0; i <= kMaxMarkupParts; ++i) breaks += "<break/>";
  std::vector<SpeechPart> parts;
  std::vector<std::string> warnings;
  const absl::Status too_many = ReadMarkup(Speak(breaks), &parts, &warnings);
  EXPECT_NE(too_many.message().find("more than 10000 parts"),
            absl::string_view::npos)
      << too_many;

  std::string unknown;
  for (int i = 0; i < 200; ++i) unknown += "<x>字</x>";
  ASSERT_TRUE(ReadMarkup(Speak(unknown), &parts, &warnings).ok());
  ASSERT_EQ(warnings.size(), kMaxMarkupWarnings + 1);
  EXPECT_EQ(warnings.back(), "150 more warnings");
  EXPECT_EQ(warnings.front(),
            "line 1, column 8: unknown element <x> is skipped; its text is "
            "read");

  // Rates nested as deep as allowed stay a positive finite product.
  for (const char* rate : {"1000000", "0.000001"}) {
    std::string nested;
    for (int i = 0; i < 90; ++i) {
      nested += std::string("<prosody rate=\"") + rate + "\">";
    }
    nested += "字";
    for (int i = 0; i < 90; ++i) nested += "</prosody>";
    parts.clear();
    ASSERT_TRUE(ReadMarkup(Speak(nested), &parts, &warnings).ok()) << rate;
    ASSERT_EQ(parts.size(), 1u) << rate;
    EXPECT_TRUE(parts[0].rate > 0 && std::isfinite(parts[0].rate)) << rate;
  }
}

}  // namespace
}  // namespace speechnn
