// The six merges before sandhi, over a small fixture dictionary.

#include "speech_neural_network/prosody/word_merges.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"

namespace speechnn {
namespace {

class WordMergesTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    FrontFixture fixture;
    fixture.word2phone =
        "你 n i3\n好 h ao3\n我 w o3\n很 h en3\n看 k an4\n花 h ua1\n"
        "不 b u4\n儿 er2\n你好 n i3 h ao3\n很好 h en3 h ao3\n"
        "奶奶 n ai3 n ai3\n喜欢 x i3 h uan5\n";
    dir_ = std::make_unique<TempDir>();
    front_ = MakeFront(*dir_, fixture);
  }
  static void TearDownTestSuite() {
    front_.reset();
    dir_.reset();
  }
  static inline std::unique_ptr<TempDir> dir_;
  static inline std::unique_ptr<FrontEngineInterface> front_;
};

TEST_F(WordMergesTest, MergeBuJoinsTheNextWordWithItsTag) {
  EXPECT_EQ(front_->MergeBu({{"不", "d"}, {"好", "a"}}),
            (WordTagList{{"不好", "a"}}));
  EXPECT_EQ(front_->MergeBu({{"我", "r"}, {"不", "c"}}),
            (WordTagList{{"我", "r"}, {"不", "d"}}));
}

TEST_F(WordMergesTest, MergeBuLeavesBuAloneBeforeAMark) {
  EXPECT_EQ(front_->MergeBu({{"不", "d"}, {"，", "x"}, {"我", "r"}}),
            (WordTagList{{"不", "d"}, {"，", "x"}, {"我", "r"}}));
}

TEST_F(WordMergesTest, MergeYiRepeatedVerb) {
  EXPECT_EQ(front_->MergeYi({{"看", "v"}, {"一", "m"}, {"看", "v"}}),
            (WordTagList{{"看一看", "v"}}));
  // Not a verb: no X一X, and 一 takes the word after it; nothing is lost.
  EXPECT_EQ(front_->MergeYi({{"看", "n"}, {"一", "m"}, {"看", "v"}}),
            (WordTagList{{"看", "n"}, {"一看", "m"}}));
}

TEST_F(WordMergesTest, MergeYiTakesTheNextWordButNoMark) {
  EXPECT_EQ(front_->MergeYi({{"一", "m"}, {"个", "q"}}),
            (WordTagList{{"一个", "m"}}));
  EXPECT_EQ(front_->MergeYi({{"看", "v"}, {"一", "m"}}),
            (WordTagList{{"看", "v"}, {"一", "m"}}));
  EXPECT_EQ(front_->MergeYi({{"一", "m"}, {"、", "x"}, {"二", "m"}}),
            (WordTagList{{"一", "m"}, {"、", "x"}, {"二", "m"}}));
}

TEST_F(WordMergesTest, MergeYiGivesADemonstrativesYiToTheNextWord) {
  EXPECT_EQ(front_->MergeYi({{"这一", "r"}, {"问题", "n"}}),
            (WordTagList{{"这", "r"}, {"一问题", "m"}}));
  EXPECT_EQ(front_->MergeYi({{"每一", "r"}, {"。", "x"}}),
            (WordTagList{{"每", "r"}, {"一", "m"}, {"。", "x"}}));
  EXPECT_EQ(front_->MergeYi({{"统一", "v"}, {"问题", "n"}}),
            (WordTagList{{"统一", "v"}, {"问题", "n"}}));
}

TEST_F(WordMergesTest, MergeReduplicationJoinsOnlyPairs) {
  EXPECT_EQ(front_->MergeReduplication({{"看", "v"}, {"看", "v"}, {"看", "v"}}),
            (WordTagList{{"看看", "v"}, {"看", "v"}}));
  EXPECT_EQ(front_->MergeReduplication({{"、", "x"}, {"、", "x"}}),
            (WordTagList{{"、", "x"}, {"、", "x"}}));
}

TEST_F(WordMergesTest, MergeThreeTonesJoinsWholeThirdToneWordsUpToThree) {
  EXPECT_EQ(front_->MergeThreeTones({{"你", "r"}, {"好", "a"}}),
            (WordTagList{{"你好", "r"}}));
  EXPECT_EQ(front_->MergeThreeTones({{"你好", "l"}, {"我", "r"}}),
            (WordTagList{{"你好我", "l"}}));
  EXPECT_EQ(front_->MergeThreeTones({{"你好", "l"}, {"很好", "a"}}),
            (WordTagList{{"你好", "l"}, {"很好", "a"}}));
  EXPECT_EQ(front_->MergeThreeTones({{"奶奶", "n"}, {"好", "a"}}),
            (WordTagList{{"奶奶", "n"}, {"好", "a"}}));
}

TEST_F(WordMergesTest, ThreeThirdTonesJoinInTwoSteps) {
  const WordTagList first =
      front_->MergeThreeTones({{"我", "r"}, {"很", "zg"}, {"好", "a"}});
  EXPECT_EQ(first, (WordTagList{{"我很", "r"}, {"好", "a"}}));
  EXPECT_EQ(front_->MergeThreeTones2(first), (WordTagList{{"我很好", "r"}}));
}

TEST_F(WordMergesTest, MergeThreeTones2JoinsAcrossAThirdToneBoundary) {
  const WordTagList words = {{"好", "a"}, {"喜欢", "v"}};
  EXPECT_EQ(front_->MergeThreeTones(words), words);
  EXPECT_EQ(front_->MergeThreeTones2(words), (WordTagList{{"好喜欢", "a"}}));
  const WordTagList four = {{"你好", "l"}, {"喜欢", "v"}};
  EXPECT_EQ(front_->MergeThreeTones2(four), four);
  const WordTagList doubled = {{"奶奶", "n"}, {"好", "a"}};
  EXPECT_EQ(front_->MergeThreeTones2(doubled), doubled);
}

TEST_F(WordMergesTest, MarksAreNeitherJoinedNorLookedUp) {
  for (const std::string mark : {"，", "。", "、", "“", "\""}) {
    const WordTagList around = {{"我", "r"}, {mark, "x"}, {"你", "r"}};
    std::vector<std::string> looked_up;
    const FinalsLookup recording = [&](const std::string& word) {
      looked_up.push_back(word);
      std::vector<std::string> finals;
      EXPECT_EQ(front_->GetFinals(word, finals), 0) << word;
      return finals;
    };
    EXPECT_EQ(MergeThreeTones(around, recording), around) << mark;
    EXPECT_EQ(MergeThreeTones2(around, recording), around) << mark;
    EXPECT_EQ(looked_up, (std::vector<std::string>{"我", "你", "我", "你"}));
  }
  EXPECT_EQ(front_->MergeThreeTones({{"你", "r"}, {"好", "a"}, {"。", "x"}}),
            (WordTagList{{"你好", "r"}, {"。", "x"}}));
}

TEST_F(WordMergesTest, WordWithoutFinalsIsReportedAndNotJoined) {
  const WordTagList words = {{"乙", "n"}, {"我", "r"}};
  testing::internal::CaptureStderr();
  EXPECT_EQ(front_->MergeThreeTones(words), words);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("Failed to get the final of word.\n"),
            std::string::npos);
}

TEST_F(WordMergesTest, MergeErJoinsErOntoThePreviousWord) {
  EXPECT_EQ(front_->MergeEr({{"花", "n"}, {"儿", "n"}}),
            (WordTagList{{"花儿", "n"}}));
  EXPECT_EQ(front_->MergeEr({{"儿", "n"}, {"花", "n"}}),
            (WordTagList{{"儿", "n"}, {"花", "n"}}));
}

TEST_F(WordMergesTest, MergeForSandhiRunsTheMergesInOrder) {
  const WordTagList tagged = {{"不", "d"},  {"看", "v"}, {"我", "r"},
                              {"很", "zg"}, {"好", "a"}, {"花", "n"},
                              {"儿", "n"},  {"。", "x"}};
  WordTagList merged;
  EXPECT_EQ(front_->MergeForSandhi(tagged, merged), 0);
  EXPECT_EQ(merged,
            (WordTagList{
                {"不看", "v"}, {"我很好", "r"}, {"花儿", "n"}, {"。", "x"}}));
}

}  // namespace
}  // namespace speechnn
