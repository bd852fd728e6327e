// Pinyin syllables as requests give them, and inline [[…]] in plain text.

#include "speech_neural_network/markup/pinyin_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "absl/strings/str_cat.h"
#include "absl/strings/str_join.h"
#include "speech_neural_network/markup/pinyin_syllables.h"

namespace speechnn {
namespace {

TEST(PinyinSyllablesTest, ReadsTheInventorysSpellings) {
  struct Case {
    std::string syllable;
    std::string phones;  // "initial final", "" when refused
  };
  const std::vector<Case> cases = {
      {"ni3", "n i3"},     {"hao3", "h ao3"}, {"ma5", "m a5"},
      {"yi1", " i1"},      {"wu3", " u3"},    {"yu2", " v2"},
      {"ju1", "j v1"},     {"lv4", "l v4"},   {"lü4", "l v4"},
      {"nve4", "n ve4"},   {"lue4", "l ve4"}, {"zhi1", "zh iii1"},
      {"zi3", "z ii3"},    {"er2", " er2"},   {"huar1", "h uar1"},
      {"wanr2", " uanr2"}, {"ger4", "g er4"}, {"yuanr4", " vanr4"},
      {"ng2", " eng2"},    {"m2", " en2"},    {"zhuangr5", "zh uangr5"},
      {"xx9", ""},         {"ni", ""},        {"ni0", ""},
      {"ni6", ""},         {"Ni3", ""},       {"qong1", ""},
      {"err2", ""},        {"3", ""},         {"", ""},
      {"nir3r", ""},       {"ni33", ""},      {"zhuangrrrrrr5", ""},
  };
  for (const Case& c : cases) {
    absl::StatusOr<SyllablePhones> read = ReadPinyinSyllable(c.syllable);
    if (c.phones.empty()) {
      ASSERT_FALSE(read.ok()) << c.syllable;
      EXPECT_EQ(read.status().message(),
                absl::StrCat("invalid pinyin syllable \"", c.syllable, "\""));
      continue;
    }
    ASSERT_TRUE(read.ok()) << c.syllable << ": " << read.status();
    EXPECT_EQ(read->initial + " " + read->final, c.phones) << c.syllable;
  }
  EXPECT_EQ(CheckPinyinSyllable(std::string(100, 'a') + "1").message(),
            "invalid pinyin syllable \"aaaaaaaaaaaaaaaaaaaaaaaa…\"");
}

// "text(我说) pinyin(ni3 hao3)".
std::string Describe(const std::vector<SpeechPart>& parts) {
  std::vector<std::string> described;
  for (const SpeechPart& part : parts) {
    described.push_back(
        part.kind == SpeechPart::Kind::kText
            ? absl::StrCat("text(", part.text, ")")
            : absl::StrCat("pinyin(", absl::StrJoin(part.syllables, " "), ")"));
  }
  return absl::StrJoin(described, " ");
}

TEST(PinyinReaderTest, SplitsTextAndPinyin) {
  struct Case {
    std::string text;
    std::string parts;  // or the error
    std::size_t warnings = 0;
  };
  std::string many;
  for (int i = 0; i < 10000; ++i) many += "ma1 ";
  std::string groups;
  for (int i = 0; i < 5; ++i) groups += "[[" + many.substr(0, 4 * 900) + "]]";
  const std::vector<Case> cases = {
      {"我说[[ni3 hao3]]。", "text(我说) pinyin(ni3 hao3) text(。)"},
      {"[[lü4]] [[ma5]]", "pinyin(lü4) pinyin(ma5)"},
      // Tone marks, capitals and ü included; unmarked among marked is
      // neutral, unmarked alone is no pinyin.
      {"[[Nǐ hǎo ma]]", "pinyin(ni3 hao3 ma5)"},
      {"[[lǜ nǚ lüè]]", "pinyin(lv4 nv3 lüe4)"},
      {"[[ni hao]]", "text([[ni hao]])", 1},
      {"[[nǐǎ]]", "text([[nǐǎ]])", 1},
      {"  [[ \tni3\n ]]", "pinyin(ni3)"},
      {"a]]b[c", "text(a]]b[c)"},
      {"你好", "text(你好)"},
      {"", ""},
      // A [[ that begins no mark is text, said so.
      {"前[[xx9]]", "text(前[[xx9]])", 1},
      {"[[ni3]][[hao3", "pinyin(ni3) text([[hao3)", 1},
      {"[[]]", "text([[]])", 1},
      {"[[ -f x ]] && a[[0]]", "text([[ -f x ]] && a[[0]])", 2},
      {"[[北京]]是[[bei3 jing1]]", "text([[北京]]是) pinyin(bei3 jing1)", 1},
      {"[[[ni3]]", "text([) pinyin(ni3)"},
      {std::string(100000, '['), "text(" + std::string(100000, '[') + ")", 1},
      {"[[" + many + "]]",
       "more than 1000 pinyin syllables in a row in the [[ at byte 0"},
      {groups, "more than 4000 pinyin syllables in one text"},
  };
  for (const Case& c : cases) {
    std::vector<SpeechPart> parts;
    std::vector<std::string> warnings;
    const absl::Status split = SplitInlinePinyin(c.text, &parts, &warnings);
    const std::string shown = c.text.substr(0, 40);
    EXPECT_EQ(split.ok() ? Describe(parts) : std::string(split.message()),
              c.parts)
        << shown;
    EXPECT_EQ(warnings.size(), c.warnings) << absl::StrJoin(warnings, "; ");
    if (!split.ok()) {
      EXPECT_TRUE(parts.empty()) << shown;
    }
  }
}

}  // namespace
}  // namespace speechnn
