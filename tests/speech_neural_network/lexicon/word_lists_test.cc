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

// The steps test membership only, so what matters is what each list holds
// in common: marks are single characters, and every mark is a mark.
TEST(WordListsTest, MarksAreSingleCharacters) {
  for (const Words* list : {&PausePunctuation(), &QuoteMarks()}) {
    for (const std::string& mark : *list) {
      EXPECT_EQ(Utf8Length(mark), 1u) << mark;
      EXPECT_TRUE(IsMark(mark)) << mark;
    }
  }
  EXPECT_TRUE(IsMark("\\") && IsMark("“") && IsMark("，"));
  EXPECT_FALSE(IsMark("好") || IsMark("") || IsMark("，，"));
}

TEST(WordListsTest, ErhuaListsEndInEr) {
  const Words& keep = ErhuaKeepWords();
  const Words& skip = ErhuaSkipWords();
  EXPECT_TRUE(Unique(keep) && Unique(skip));
  EXPECT_TRUE(AllEndIn(keep, L'儿') && AllEndIn(skip, L'儿'));
  EXPECT_TRUE(ListContains(skip, "婴幼儿") && ListContains(skip, "林心儿"));
}

TEST(WordListsTest, SandhiWordListsHoldTwoCharacterWords) {
  const Words& zi = ZiSuffixWords();
  EXPECT_TRUE(Unique(zi) && AllEndIn(zi, L'子'));
  const Words& neutral = NeutralToneWords();
  EXPECT_TRUE(Unique(neutral));
  for (const Words* list : {&zi, &neutral}) {
    for (const std::string& word : *list) {
      EXPECT_EQ(Utf8Length(word), 2u) << word;
    }
  }
  EXPECT_TRUE(ListContains(neutral, "胡萝") && ListContains(neutral, "一辈"));
  EXPECT_FALSE(ListContains(neutral, "孩子"));
}

}  // namespace
}  // namespace speechnn
