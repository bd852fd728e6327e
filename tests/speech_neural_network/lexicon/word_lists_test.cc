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
  for (const WordList* list : {&PausePunctuation(), &QuoteMarks()}) {
    for (const std::string& mark : list->words()) {
      EXPECT_EQ(Utf8Length(mark), 1u) << mark;
      EXPECT_TRUE(IsMark(mark)) << mark;
    }
  }
  EXPECT_TRUE(IsMark("\\") && IsMark("“") && IsMark("，"));
  EXPECT_FALSE(IsMark("好") || IsMark("") || IsMark("，，"));
}

TEST(WordListsTest, ErhuaListsEndInEr) {
  const Words& keep = ErhuaKeepWords().words();
  const Words& skip = ErhuaSkipWords().words();
  EXPECT_TRUE(Unique(keep) && Unique(skip));
  EXPECT_TRUE(AllEndIn(keep, L'儿') && AllEndIn(skip, L'儿'));
  EXPECT_TRUE(ListContains(ErhuaSkipWords(), "婴幼儿") &&
              ListContains(ErhuaSkipWords(), "林心儿"));
}

TEST(WordListsTest, SandhiWordListsHoldTwoCharacterWords) {
  const Words& zi = ZiSuffixWords().words();
  EXPECT_TRUE(Unique(zi) && AllEndIn(zi, L'子'));
  const Words& neutral = NeutralToneWords().words();
  EXPECT_TRUE(Unique(neutral));
  for (const Words* list : {&zi, &neutral}) {
    for (const std::string& word : *list) {
      EXPECT_EQ(Utf8Length(word), 2u) << word;
    }
  }
  EXPECT_TRUE(ListContains(NeutralToneWords(), "胡萝") &&
              ListContains(NeutralToneWords(), "一辈"));
  EXPECT_FALSE(ListContains(NeutralToneWords(), "孩子"));
}

// Membership is answered by an index over the entries: every entry is
// found, and a longer or shorter text is not.
TEST(WordListsTest, ContainsExactlyTheEntries) {
  for (const WordList* list :
       {&PausePunctuation(), &QuoteMarks(), &ErhuaKeepWords(),
        &ErhuaSkipWords(), &ZiSuffixWords(), &NeutralToneWords()}) {
    for (const std::string& word : list->words()) {
      EXPECT_TRUE(ListContains(*list, word)) << word;
      EXPECT_FALSE(ListContains(*list, word + word)) << word;
      EXPECT_FALSE(ListContains(*list, word.substr(0, word.size() - 1)))
          << word;
    }
  }
}

}  // namespace
}  // namespace speechnn
