// Word lists to phone (and tone) ids over small fixture tables, in combined
// and separate-tone mode.

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "absl/strings/str_split.h"
#include "speech_neural_network/front_test_support.h"

namespace speechnn {
namespace {

using Ids = std::vector<int>;

// A fixture id table: the symbols numbered from 1 in this order.
std::string IdTable(const std::vector<std::string>& symbols) {
  std::string table;
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    table += symbols[i] + " " + std::to_string(i + 1) + "\n";
  }
  return table;
}

// The fixture ids of space-separated symbols.
Ids IdsOf(const std::vector<std::string>& symbols, const std::string& text) {
  Ids ids;
  for (const auto piece : absl::StrSplit(text, ' ')) {
    for (std::size_t i = 0; i < symbols.size(); ++i) {
      if (symbols[i] == piece) ids.push_back(static_cast<int>(i + 1));
    }
  }
  return ids;
}

const std::vector<std::string> kCombinedPhones = {
    "sp",  "n",  "i3",  "i2",   "h",    "ao3", "b",    "u4",   "u2",    "p",
    "a4",  "i1", "i4",  "t",    "ian1", "x",   "iao3", "van4", "vanr4", "er2",
    "ua1", "m",  "en2", "enr2", "z",    "ii4", "er4",  "a1",   "a5"};

class CombinedIdsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    FrontFixture fixture;
    fixture.word2phone =
        "你好 n i3 h ao3\n不怕 b u4 p a4\n一天 i1 t ian1\n阿妈 a1 m a5\n"
        "小院儿 x iao3 van4 er2\n花儿 h ua1 er2\n门儿 m en2 er2\n"
        "字儿 z ii4 er4\n儿 er2\n错 c uo4 c uo4\n恩 en1\n"
        "欧 ou1\n鹅 e2\n饿 e4\n安 an1\n昂 ang2\n";
    fixture.phone2id = IdTable(kCombinedPhones) +
                       "ou1  \t+7\ne2 12abc\ne4 abc\nan1 99999999999\n"
                       "ang2 -99999999999\n";
    dir_ = std::make_unique<TempDir>();
    front_ = MakeFront(*dir_, fixture);
  }
  static void TearDownTestSuite() {
    front_.reset();
    dir_.reset();
  }
  static Ids Phones(const WordTagList& words) {
    Ids phone_ids, tone_ids;
    EXPECT_EQ(front_->GetWordsIds(words, phone_ids, tone_ids), 0);
    EXPECT_TRUE(tone_ids.empty());
    return phone_ids;
  }
  static Ids Expect(const std::string& phones) {
    return IdsOf(kCombinedPhones, phones);
  }

  static inline std::unique_ptr<TempDir> dir_;
  static inline std::unique_ptr<FrontEngineInterface> front_;
};

TEST_F(CombinedIdsTest, QuotationMarksAppendNothing) {
  EXPECT_TRUE(Phones({{"“", "x"}, {"”", "x"}, {"\"", "x"}}).empty());
}

TEST_F(CombinedIdsTest, PauseMarksBecomeTheSpPhone) {
  EXPECT_EQ(Phones({{"，", "x"}, {"?", "x"}}), Expect("sp sp"));
}

TEST_F(CombinedIdsTest, WordsAreLookedUpAfterToneSandhi) {
  EXPECT_EQ(Phones({{"你好", "l"}}), Expect("n i2 h ao3"));
  EXPECT_EQ(Phones({{"不怕", "c"}}), Expect("b u2 p a4"));
  EXPECT_EQ(Phones({{"一天", "m"}}), Expect("i4 t ian1"));
  EXPECT_EQ(Phones({{"阿妈", "n"}, {"。", "x"}}), Expect("a1 m a5 sp"));
}

TEST_F(CombinedIdsTest, IdsAreAppendedToWhatTheCallerHas) {
  Ids phone_ids = {99}, tone_ids;
  ASSERT_EQ(front_->GetWordsIds({{"，", "x"}}, phone_ids, tone_ids), 0);
  EXPECT_EQ(phone_ids, (Ids{99, Expect("sp")[0]}));
}

TEST_F(CombinedIdsTest, EachWordsIdsAreCountedAfterErhua) {
  Ids phone_ids, tone_ids;
  std::vector<std::size_t> counts;
  ASSERT_EQ(front_->GetWordsIds(
                {{"“", "x"}, {"你好", "l"}, {"，", "x"}, {"小院儿", "nr"}},
                phone_ids, tone_ids, nullptr, &counts),
            0);
  EXPECT_EQ(counts, (std::vector<std::size_t>{0, 4, 1, 3}));
  EXPECT_EQ(phone_ids, Expect("n i2 h ao3 sp x iao3 vanr4"));
}

TEST_F(CombinedIdsTest, ErhuaKeepWordLosesItsErSyllableEvenAsAName) {
  EXPECT_EQ(Phones({{"小院儿", "nr"}}), Expect("x iao3 vanr4"));
}

TEST_F(CombinedIdsTest, ErhuaSkippedForListedWordsAndNameAdjectiveTags) {
  EXPECT_EQ(Phones({{"花儿", "n"}}), Expect("h ua1 er2"));
  // x: a word the segmenter found by its model, read as a name.
  for (const std::string tag : {"a", "j", "nr", "x"}) {
    EXPECT_EQ(Phones({{"门儿", tag}}), Expect("m en2 er2")) << tag;
  }
  EXPECT_EQ(Phones({{"门儿", "n"}}), Expect("m enr2"));
}

TEST_F(CombinedIdsTest, ErhuaOnlyForErInTonesTwoOrFiveAfterAnotherSyllable) {
  EXPECT_EQ(Phones({{"字儿", "n"}}), Expect("z ii4 er4"));
  EXPECT_EQ(Phones({{"儿", "n"}}), Expect("er2"));
}

TEST_F(CombinedIdsTest, MergeErhuaLeavesMismatchedListsAlone) {
  std::vector<std::string> initials = {"m"}, finals = {"en2"};
  front_->MergeErhua("门儿", "n", initials, finals);
  EXPECT_EQ(finals, (std::vector<std::string>{"en2"}));
  initials.clear();
  finals.clear();
  front_->MergeErhua("门儿", "n", initials, finals);
  EXPECT_TRUE(finals.empty());
}

TEST_F(CombinedIdsTest, UnknownPhoneGivesZeroAndLeavesTheTable) {
  EXPECT_EQ(Phones({{"恩", "e"}, {"恩", "e"}}), (Ids{0, 0}));
  EXPECT_FALSE(front_->phone_ids().Find("en1").has_value());
}

// The ids as the table's text gives them (lexicon/id_table_test.cc reads
// the text itself).
TEST_F(CombinedIdsTest, IdTextIsReadAsSaturatedDecimal) {
  EXPECT_EQ(Phones({{"欧", "e"}, {"安", "a"}}), (Ids{7, INT_MAX}));
}

TEST_F(CombinedIdsTest, FailedWordStopsTheSentenceKeepingEarlierIds) {
  Ids phone_ids, tone_ids;
  testing::internal::CaptureStderr();
  EXPECT_EQ(front_->GetWordsIds({{"你好", "l"}, {"错", "n"}, {"一天", "m"}},
                                phone_ids, tone_ids),
            -1);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_EQ(phone_ids, Expect("n i2 h ao3"));
  EXPECT_NE(message.find("Genarate the word_initials and word_finals of 错 "
                         "failed\n"),
            std::string::npos);
}

TEST_F(CombinedIdsTest, FailedToneStepIsReportedOnTwoLines) {
  std::vector<std::string> finals = {"i3"};
  testing::internal::CaptureStderr();
  EXPECT_EQ(front_->ModifyTone("你好", "l", finals), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "Failed to modify tone of the word: 你好\n"
                "Failed to modify tone.\n"),
            std::string::npos);
  EXPECT_EQ(finals, (std::vector<std::string>{"i3"}));
}

const std::vector<std::string> kSeparatePhones = {"sp", "zh", "iii", "n",
                                                  "i",  "h",  "ao"};
const std::vector<std::string> kTones = {"0", "1", "2", "3", "4", "5"};

class SeparateToneIdsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    FrontFixture fixture;
    fixture.separate_tone = true;
    fixture.word2phone = "知 zh0 iii1\n你好 n0 i3 h0 ao3\n空 k0  ong1\n";
    fixture.phone2id = IdTable(kSeparatePhones);
    fixture.tone2id = IdTable(kTones);
    dir_ = std::make_unique<TempDir>();
    front_ = MakeFront(*dir_, fixture);
  }
  static void TearDownTestSuite() {
    front_.reset();
    dir_.reset();
  }
  static void ExpectIds(const WordTagList& words, const std::string& phones,
                        const std::string& tones) {
    Ids phone_ids, tone_ids;
    EXPECT_EQ(front_->GetWordsIds(words, phone_ids, tone_ids), 0);
    EXPECT_EQ(phone_ids, IdsOf(kSeparatePhones, phones));
    EXPECT_EQ(tone_ids, IdsOf(kTones, tones));
  }

  static inline std::unique_ptr<TempDir> dir_;
  static inline std::unique_ptr<FrontEngineInterface> front_;
};

TEST_F(SeparateToneIdsTest, EveryTokenSplitsIntoPhoneAndToneByte) {
  ExpectIds({{"知", "v"}}, "zh iii", "0 1");
  ExpectIds({{"你好", "l"}}, "n i h ao", "0 2 0 3");
}

TEST_F(SeparateToneIdsTest, PauseIsSpWithToneZero) {
  ExpectIds({{"，", "x"}, {"?", "x"}}, "sp sp", "0 0");
  ExpectIds({{"“", "x"}}, "", "");
}

TEST_F(SeparateToneIdsTest, EmptyTokenRejectsTheWordBeforeAnyId) {
  Ids phone_ids, tone_ids;
  testing::internal::CaptureStderr();
  EXPECT_EQ(front_->GetWordsIds({{"空", "n"}}, phone_ids, tone_ids), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "Genarate the word_initials and word_finals of 空 failed"),
            std::string::npos);
  EXPECT_TRUE(phone_ids.empty());
  EXPECT_TRUE(tone_ids.empty());
}

}  // namespace
}  // namespace speechnn
