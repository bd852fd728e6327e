// The third-tone cycle, fed finals directly.

#include "speech_neural_network/prosody/tone_cycle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace speechnn {
namespace {

using Finals = std::vector<std::string>;

TEST(ToneCycleTest, InsideAWord) {
  struct Case {
    const char* what;
    Finals finals;
    HiddenThirds hidden;
    std::size_t split;
    Finals expected;
  };
  const std::vector<Case> cases = {
      {"你好", {"i3", "ao3"}, {}, 0, {"i2", "ao3"}},
      {"手里, 里 made neutral", {"ou3", "i5"}, {false, true}, 0, {"ou2", "i5"}},
      {"耳朵, neutral in the dictionary",
       {"er3", "uo5"},
       {},
       0,
       {"er3", "uo5"}},
      {"展览|馆", {"an3", "an3", "uan3"}, {}, 2, {"an2", "an2", "uan3"}},
      {"奢侈|品", {"e1", "iii3", "in3"}, {}, 2, {"e1", "iii2", "in3"}},
      {"纸|老虎", {"iii3", "ao3", "u3"}, {}, 1, {"iii3", "ao2", "u3"}},
      {"好|喜欢", {"ao3", "i3", "uan5"}, {}, 1, {"ao2", "i3", "uan5"}},
      {"我|想|买, joined",
       {"uo3", "iang3", "ai3"},
       {},
       0,
       {"uo2", "iang2", "ai3"}},
      {"我很|想你",
       {"o3", "en3", "iang3", "i3"},
       {},
       0,
       {"o2", "en3", "iang2", "i3"}},
      {"看|好", {"an4", "ao3"}, {}, 0, {"an4", "ao3"}},
  };
  for (const Case& c : cases) {
    Finals finals = c.finals;
    ThirdToneCycleInWord(finals, c.hidden, c.split);
    EXPECT_EQ(finals, c.expected) << c.what;
  }
  Finals five(5, "i3");
  ThirdToneCycleInWord(five, {}, 0);
  EXPECT_EQ(five, Finals(5, "i3"));
}

TEST(ToneCycleTest, AcrossWordsRightToLeft) {
  struct Case {
    const char* what;
    std::vector<Finals> words;
    std::vector<Finals> expected;
  };
  const std::vector<Case> cases = {
      // The right word's surface decides: 可以 starts with a rising tone.
      {"我 可以", {{"uo3"}, {"e2", "i3"}}, {{"uo3"}, {"e2", "i3"}}},
      // A one-syllable word counts by its own tone, even once it rose.
      {"有 我 小", {{"iu3"}, {"uo3"}, {"iao3"}}, {{"iu2"}, {"uo2"}, {"iao3"}}},
      {"展览 馆", {{"an2", "an3"}, {"uan3"}}, {{"an2", "an2"}, {"uan3"}}},
      {"可以 免费",
       {{"e2", "i3"}, {"ian3", "ei4"}},
       {{"e2", "i2"}, {"ian3", "ei4"}}},
      // After a fourth tone, and before a neutral one, nothing changes.
      {"看 我 们", {{"an4"}, {"uo3", "en5"}}, {{"an4"}, {"uo3", "en5"}}},
      {"姐姐 好", {{"ie3", "ie5"}, {"ao3"}}, {{"ie3", "ie5"}, {"ao3"}}},
  };
  for (const Case& c : cases) {
    std::vector<Finals> words = c.words;
    std::vector<CycleWord> phrase;
    for (Finals& w : words) {
      phrase.push_back({&w, w.size() == 1 ? w[0].back() : '\0'});
    }
    ThirdToneCycleAcrossWords(phrase);
    EXPECT_EQ(words, c.expected) << c.what;
  }
}

TEST(ToneCycleTest, HiddenThirdsOnlyWhereARuleMadeAThirdToneNeutral) {
  const Finals xiang = {"iang3", "iang5"};
  EXPECT_EQ(FindHiddenThirds(L"想想", "v", {"iang3", "iang3"}, xiang),
            (HiddenThirds{false, true}));
  // A reduplicated noun and the suffix 子 keep the half-third tone.
  EXPECT_EQ(FindHiddenThirds(L"姐姐", "n", {"ie3", "ie3"}, {"ie3", "ie5"}),
            (HiddenThirds{false, false}));
  EXPECT_EQ(FindHiddenThirds(L"椅子", "n", {"i3", "ii3"}, {"i3", "ii5"}),
            (HiddenThirds{false, false}));
  // Lists of another length are no word to index.
  EXPECT_EQ(FindHiddenThirds(L"想", "v", {"iang3", "iang3"}, xiang),
            (HiddenThirds{false, false}));
}

}  // namespace
}  // namespace speechnn
