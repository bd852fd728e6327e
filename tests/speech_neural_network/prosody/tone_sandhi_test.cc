// Tone sandhi rules, fed finals directly; the word split uses the real
// segmenter dictionary.

#include "speech_neural_network/prosody/tone_sandhi.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

using Finals = std::vector<std::string>;

class ToneSandhiTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    front_ = MakeFront(*dir_, FrontFixture{});
  }
  static void TearDownTestSuite() {
    front_.reset();
    dir_.reset();
  }

  static Finals Bu(const std::string& word, Finals finals) {
    EXPECT_EQ(front_->BuSandhi(word, finals), 0) << word;
    return finals;
  }
  static Finals Yi(const std::string& word, Finals finals) {
    EXPECT_EQ(front_->YiSandhi(word, finals), 0) << word;
    return finals;
  }
  static Finals Neutral(const std::string& word, const std::string& tag,
                        Finals finals) {
    EXPECT_EQ(front_->NeuralSandhi(word, tag, finals), 0) << word;
    return finals;
  }
  static Finals Three(const std::string& word, Finals finals) {
    EXPECT_EQ(front_->ThreeSandhi(word, finals), 0) << word;
    return finals;
  }
  static std::vector<std::string> Split(const std::string& word) {
    std::vector<std::string> parts;
    EXPECT_EQ(front_->SplitWord(word, parts), 0) << word;
    return parts;
  }

  static inline std::unique_ptr<TempDir> dir_;
  static inline std::unique_ptr<FrontEngineInterface> front_;
};

// Between a verb and its complement and in A-not-A forms too: never neutral.
TEST_F(ToneSandhiTest, BuRisesOnlyBeforeFourthTone) {
  EXPECT_EQ(Bu("不怕", {"u4", "a4"}), (Finals{"u2", "a4"}));
  EXPECT_EQ(Bu("不好", {"u4", "ao3"}), (Finals{"u4", "ao3"}));
  EXPECT_EQ(Bu("要不", {"ao4", "u4"}), (Finals{"ao4", "u4"}));  // last: as is
  EXPECT_EQ(Bu("看不懂", {"an4", "u4", "ong3"}), (Finals{"an4", "u4", "ong3"}));
  EXPECT_EQ(Bu("看不到", {"an4", "u4", "ao4"}), (Finals{"an4", "u2", "ao4"}));
  EXPECT_EQ(Bu("是不是", {"iii4", "u4", "iii4"}),
            (Finals{"iii4", "u2", "iii4"}));
}

TEST_F(ToneSandhiTest, YiFollowsTheNextTone) {
  EXPECT_EQ(Yi("一段", {"i1", "uan4"}), (Finals{"i2", "uan4"}));
  EXPECT_EQ(Yi("一天", {"i1", "ian1"}), (Finals{"i4", "ian1"}));
}

// 一 and 不 read the next syllable's citation tone, and 一 the digits of the
// number around it, its neighbour words included.
TEST(YiBuOnUnderlyingTonesTest, CitationToneAndNumbersAround) {
  struct Case {
    const char* word;
    const wchar_t* previous;
    const wchar_t* next;
    Finals finals;
    Finals citation;
    Finals expected;
  };
  const std::vector<Case> cases = {
      // 个 is neutral in the reading, tone 4 underneath; so is 是 of 不是
      // 'fault'.
      {"一个", L"", L"", {"i1", "e5"}, {"i1", "e4"}, {"i2", "e5"}},
      {"不是", L"", L"", {"u4", "iii5"}, {"u4", "iii4"}, {"u2", "iii5"}},
      {"一天", L"", L"", {"i1", "ian1"}, {"i1", "ian1"}, {"i4", "ian1"}},
      // Digits read one by one, 五 among them, and a number's last 一.
      {"一五", L"", L"", {"i1", "u3"}, {"i1", "u3"}, {"i1", "u3"}},
      {"一一", L"", L"零", {"i1", "i1"}, {"i1", "i1"}, {"i1", "i1"}},
      {"一九八六年",
       L"",
       L"",
       {"i1", "iu3", "a1", "iu4", "ian2"},
       {"i1", "iu3", "a1", "iu4", "ian2"},
       {"i1", "iu3", "a1", "iu4", "ian2"}},
      {"一个", L"二十", L"", {"i1", "e5"}, {"i1", "e4"}, {"i1", "e5"}},
      {"一百一十",
       L"",
       L"",
       {"i1", "ai3", "i1", "iii2"},
       {"i1", "ai3", "i1", "iii2"},
       {"i4", "ai3", "i1", "iii2"}},
      // Decimals and clock times, months and days of the month.
      {"一点", L"", L"五", {"i1", "ian3"}, {"i1", "ian3"}, {"i1", "ian3"}},
      {"一点", L"", L"", {"i1", "ian3"}, {"i1", "ian3"}, {"i4", "ian3"}},
      {"一点", L"一点", L"", {"i1", "ian3"}, {"i1", "ian3"}, {"i4", "ian3"}},
      {"一月", L"", L"", {"i1", "ve4"}, {"i1", "ve4"}, {"i1", "ve4"}},
      {"一日", L"五月", L"", {"i1", "iii4"}, {"i1", "iii4"}, {"i1", "iii4"}},
      {"一日", L"", L"", {"i1", "iii4"}, {"i1", "iii4"}, {"i2", "iii4"}},
      // A neighbour ending in 万 is no number (千万 'by all means').
      {"一定", L"千万", L"", {"i1", "ing4"}, {"i1", "ing4"}, {"i2", "ing4"}},
  };
  for (const Case& c : cases) {
    const std::string word = c.word;
    const std::wstring chars = utf8string2wstring(word);
    Finals finals = c.finals;
    const SandhiWord sandhi{word, chars, c.previous, c.next};
    ASSERT_TRUE(BuSandhi(sandhi, finals, &c.citation).ok()) << word;
    ASSERT_TRUE(YiSandhi(sandhi, finals, &c.citation).ok()) << word;
    EXPECT_EQ(finals, c.expected) << word;
  }
}

TEST_F(ToneSandhiTest, YiSpecialPatternsWinOverTheNextTone) {
  EXPECT_EQ(Yi("第一天", {"i4", "i2", "ian1"}), (Finals{"i4", "i1", "ian1"}));
  EXPECT_EQ(Yi("看一看", {"an4", "i1", "an4"}), (Finals{"an4", "i5", "an4"}));
}

TEST_F(ToneSandhiTest, YiKeepsItsToneInDigitSequencesAndAtTheEnd) {
  EXPECT_EQ(Yi("一零零", {"i1", "ing2", "ing2"}),
            (Finals{"i1", "ing2", "ing2"}));
  EXPECT_EQ(Yi("二一零", {"er4", "i1", "ing2"}), (Finals{"er4", "i1", "ing2"}));
  EXPECT_EQ(Yi("统一", {"ong3", "i1"}), (Finals{"ong3", "i1"}));
}

TEST_F(ToneSandhiTest, NeutralReduplicationNeedsNounVerbOrAdjectiveTag) {
  EXPECT_EQ(Neutral("奶奶", "n", {"ai3", "ai3"}), (Finals{"ai3", "ai5"}));
  EXPECT_EQ(Neutral("看看", "v", {"an4", "an4"}), (Finals{"an4", "an5"}));
  EXPECT_EQ(Neutral("奶奶", "d", {"ai3", "ai3"}), (Finals{"ai3", "ai3"}));
  EXPECT_EQ(Neutral("高高兴兴", "a", {"ao1", "ao1", "ing4", "ing4"}),
            (Finals{"ao1", "ao5", "ing4", "ing5"}));
  // A character met twice where two words meet, and repeated digits of a
  // telephone number, are no reduplication.
  EXPECT_EQ(Neutral("银行行长", "n", {"in2", "ang2", "ang2", "ang3"}),
            (Finals{"in2", "ang2", "ang2", "ang3"}));
  EXPECT_EQ(Neutral("幺幺", "nr", {"iao1", "iao1"}), (Finals{"iao1", "iao1"}));
}

TEST_F(ToneSandhiTest, NeutralParticlesOnlyAsWordsOfTheirOwn) {
  struct Case {
    const char* word;
    const char* tag;
    Finals finals;
    Finals expected;
  };
  const std::vector<Case> cases = {
      {"吧", "y", {"a1"}, {"a5"}},
      {"啦", "y", {"a1"}, {"a5"}},
      {"的", "uj", {"e1"}, {"e5"}},
      {"地", "uv", {"i4"}, {"e5"}},  // the particle reads de5
      {"地", "n", {"i4"}, {"i4"}},
      {"当地", "s", {"ang1", "i4"}, {"ang1", "i4"}},
      {"获得", "v", {"uo4", "e2"}, {"uo4", "e2"}},
      {"哈哈", "o", {"a1", "a1"}, {"a1", "a1"}},
      {"好吧", "y", {"ao3", "a1"}, {"ao3", "a1"}},
      {"了", "ul", {"e4"}, {"e5"}},
      {"了", "v", {"e4"}, {"e4"}},
      {"走了", "ul", {"ou3", "e4"}, {"ou3", "e4"}},
      {"着", "uz", {"e4"}, {"e5"}},
      {"过", "ug", {"uo4"}, {"uo4"}},  // aspect 过 keeps its tone
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Neutral(c.word, c.tag, c.finals), c.expected) << c.word;
  }
}

TEST_F(ToneSandhiTest, NeutralSuffixExceptForListedZiWords) {
  EXPECT_EQ(Neutral("孩子", "n", {"ai2", "ii3"}), (Finals{"ai2", "ii5"}));
  EXPECT_EQ(Neutral("孩子", "v", {"ai2", "ii3"}), (Finals{"ai2", "ii3"}));
  EXPECT_EQ(Neutral("男子", "n", {"an2", "ii3"}), (Finals{"an2", "ii3"}));
}

TEST_F(ToneSandhiTest, PlaceWordsAndDirectionComplementsKeepTheirTones) {
  EXPECT_EQ(Neutral("家里", "s", {"ia1", "i3"}), (Finals{"ia1", "i3"}));
  EXPECT_EQ(Neutral("身上", "f", {"en1", "ang4"}), (Finals{"en1", "ang4"}));
  EXPECT_EQ(Neutral("进来", "v", {"in4", "ai2"}), (Finals{"in4", "ai2"}));
  EXPECT_EQ(Neutral("出去", "v", {"u1", "v4"}), (Finals{"u1", "v4"}));
}

TEST_F(ToneSandhiTest, NeutralMeasureWordGe) {
  EXPECT_EQ(Neutral("三个", "m", {"an1", "e4"}), (Finals{"an1", "e5"}));
  EXPECT_EQ(Neutral("个", "q", {"e4"}), (Finals{"e5"}));
  EXPECT_EQ(Neutral("个人", "n", {"e4", "en2"}), (Finals{"e4", "en2"}));
  EXPECT_EQ(Neutral("五个", "m", {"u3", "e4"}), (Finals{"u3", "e5"}));
}

TEST_F(ToneSandhiTest, NeutralOnlyTheFirstMatchingRuleApplies) {
  // The suffix rule takes 们; the lexical rule after it is skipped.
  EXPECT_EQ(Neutral("男子们", "n", {"an2", "ii3", "en2"}),
            (Finals{"an2", "ii3", "en5"}));
}

TEST_F(ToneSandhiTest, NeutralLexicalWordsWholeOrAsEndingOrSubWord) {
  EXPECT_EQ(Neutral("石头", "n", {"iii2", "ou2"}), (Finals{"iii2", "ou5"}));
  EXPECT_EQ(Neutral("大石头", "n", {"a4", "iii2", "ou2"}),
            (Finals{"a4", "iii2", "ou5"}));
  // 石头记 splits into 石头 and 记: the first sub-word ends neutral.
  EXPECT_EQ(Neutral("石头记", "n", {"iii2", "ou2", "i4"}),
            (Finals{"iii2", "ou5", "i4"}));
  // The shortest piece 屁股 lies inside the word: the split keeps 一 and
  // 屁股债, so no final outside a listed word turns neutral.
  EXPECT_EQ(Neutral("一屁股债", "l", {"i4", "i4", "u3", "ai4"}),
            (Finals{"i4", "i4", "u3", "ai4"}));
}

TEST_F(ToneSandhiTest, ThreeSandhiTwoCharacters) {
  EXPECT_EQ(Three("你好", {"i3", "ao3"}), (Finals{"i2", "ao3"}));
  EXPECT_EQ(Three("好看", {"ao3", "an4"}), (Finals{"ao3", "an4"}));
}

TEST_F(ToneSandhiTest, ThreeSandhiThreeCharactersFollowTheSplit) {
  EXPECT_EQ(Three("展览馆", {"an3", "an3", "uan3"}),  // 展览 / 馆
            (Finals{"an2", "an2", "uan3"}));
  EXPECT_EQ(Three("纸老虎", {"iii3", "ao3", "u3"}),  // 纸 / 老虎
            (Finals{"iii3", "ao2", "u3"}));
  EXPECT_EQ(Three("所有人", {"uo3", "ou3", "en2"}),  // 所有 / 人
            (Finals{"uo2", "ou3", "en2"}));
  EXPECT_EQ(Three("看老虎", {"an4", "ao3", "u3"}),  // 看 / 老虎
            (Finals{"an4", "ao2", "u3"}));
  EXPECT_EQ(Three("好喜欢", {"ao3", "i3", "uan5"}),  // 好 / 喜欢
            (Finals{"ao2", "i3", "uan5"}));
}

TEST_F(ToneSandhiTest, ThreeSandhiFourCharactersByHalves) {
  EXPECT_EQ(Three("我很想你", {"o3", "en3", "iang3", "i3"}),
            (Finals{"o2", "en3", "iang2", "i3"}));
  EXPECT_EQ(Three("我很高兴", {"o3", "en3", "ao1", "ing4"}),
            (Finals{"o2", "en3", "ao1", "ing4"}));
  const Finals five(5, "i3");
  EXPECT_EQ(Three("我很想你们", five), five);
}

TEST_F(ToneSandhiTest, SplitWordPartsAlwaysSpellTheWord) {
  EXPECT_EQ(Split("你好世界"), (std::vector<std::string>{"你好", "世界"}));
  EXPECT_EQ(Split("纸老虎"), (std::vector<std::string>{"纸", "老虎"}));
  EXPECT_EQ(Split("一屁股债"), (std::vector<std::string>{"一", "屁股债"}));
  EXPECT_EQ(Split("好"), (std::vector<std::string>{"好", ""}));
  std::vector<std::string> parts;
  EXPECT_NE(front_->SplitWord("", parts), 0);
}

TEST_F(ToneSandhiTest, EveryStepFailsCleanlyOnFinalsShorterThanTheWord) {
  const std::vector<std::string> words = {"看不懂", "看一看", "第一",
                                          "你好",   "展览馆", "我很想你"};
  for (const std::string& word : words) {
    for (const Finals& start : {Finals{}, Finals{"i3"}}) {
      Finals f = start;
      testing::internal::CaptureStderr();
      EXPECT_EQ(front_->BuSandhi(word, f), -1) << word;
      EXPECT_EQ(front_->YiSandhi(word, f), -1) << word;
      EXPECT_EQ(front_->NeuralSandhi(word, "n", f), -1) << word;
      EXPECT_EQ(front_->ThreeSandhi(word, f), -1) << word;
      testing::internal::GetCapturedStderr();
      EXPECT_EQ(f, start) << word;
    }
  }
}

TEST_F(ToneSandhiTest, EmptyFinalsTextsAreLeftAlone) {
  Finals f = {"", "", ""};
  EXPECT_EQ(front_->BuSandhi("看不懂", f), 0);
  EXPECT_EQ(front_->YiSandhi("一一一", f), 0);
  EXPECT_EQ(front_->NeuralSandhi("奶奶的", "n", f), 0);
  EXPECT_EQ(front_->ThreeSandhi("展览馆", f), 0);
  EXPECT_EQ(f, (Finals{"", "", ""}));
}

TEST_F(ToneSandhiTest, EmptyWordCannotBeSplit) {
  Finals f;
  testing::internal::CaptureStderr();
  EXPECT_EQ(front_->NeuralSandhi("", "x", f), -1);
  EXPECT_NE(
      testing::internal::GetCapturedStderr().find("Failed to split word."),
      std::string::npos);
}

}  // namespace
}  // namespace speechnn
