// The fixed punctuation and word lists.

#include "speech_neural_network/lexicon/word_lists.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

using Words = std::vector<std::string>;

bool Unique(const Words& words) {
  return std::set<std::string>(words.begin(), words.end()).size() ==
         words.size();
}

bool AllEndIn(const Words& words, wchar_t last) {
  for (const std::string& word : words) {
    if (utf8string2wstring(word).back() != last) return false;
  }
  return true;
}

TEST(WordListsTest, PausePunctuationInOrder) {
  const Words& marks = PausePunctuation();
  ASSERT_EQ(marks.size(), 16u);
  std::wstring first_eight;
  for (std::size_t i = 0; i < 8; ++i)
    first_eight += utf8string2wstring(marks[i]);
  EXPECT_EQ(first_eight, (std::wstring{0xFF0C, 0x3002, 0x3001, 0xFF1F, 0xFF1A,
                                       0xFF1B, L'~', 0xFF01}));
  EXPECT_EQ(Words(marks.begin() + 8, marks.end()),
            (Words{",", ".", "?", "!", ":", ";", "/", "\\"}));
}

TEST(WordListsTest, QuoteMarksInOrder) {
  const Words& quotes = QuoteMarks();
  ASSERT_EQ(quotes.size(), 4u);
  EXPECT_EQ(utf8string2wstring(quotes[0]), std::wstring(1, 0x201C));
  EXPECT_EQ(utf8string2wstring(quotes[1]), std::wstring(1, 0x201D));
  EXPECT_EQ(quotes[2], "\"");
  EXPECT_EQ(quotes[3], "\"");
}

TEST(WordListsTest, ErhuaListsEndInErWithOneNameRow) {
  const Words& keep = ErhuaKeepWords();
  const Words& skip = ErhuaSkipWords();
  EXPECT_EQ(keep.size(), 7u);
  EXPECT_EQ(skip.size(), 43u);
  EXPECT_TRUE(Unique(keep) && Unique(skip));
  EXPECT_TRUE(AllEndIn(keep, L'儿') && AllEndIn(skip, L'儿'));
  EXPECT_EQ(keep.front(), "小院儿");
  EXPECT_EQ(keep.back(), "妥妥儿");
  EXPECT_EQ(skip.front(), "虐儿");
  EXPECT_TRUE(ListContains(skip, "婴幼儿") && ListContains(skip, "花儿"));
  EXPECT_EQ(skip[41], "狗儿");
  EXPECT_EQ(skip.back(), "林心儿");
}

TEST(WordListsTest, SandhiWordLists) {
  const Words& zi = ZiSuffixWords();
  EXPECT_EQ(zi, (Words{"男子", "女子", "分子", "原子", "量子", "莲子", "石子",
                       "瓜子", "电子"}));
  const Words& neutral = NeutralToneWords();
  ASSERT_EQ(neutral.size(), 420u);
  EXPECT_TRUE(Unique(neutral));
  for (const std::string& word : neutral) {
    EXPECT_EQ(Utf8Length(word), 2u) << word;
  }
  EXPECT_EQ(neutral.front(), "麻烦");
  EXPECT_EQ(neutral.back(), "惦记");
  EXPECT_TRUE(ListContains(neutral, "胡萝") && ListContains(neutral, "一辈"));
  EXPECT_FALSE(ListContains(neutral, "孩子"));
}

}  // namespace
}  // namespace speechnn
