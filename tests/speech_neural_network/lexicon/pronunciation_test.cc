// Reading initials and finals from a small fixture dictionary, with the
// segmenter's full-mode cut for missing words.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"

namespace speechnn {
namespace {

using Phones = std::vector<std::string>;

class InitialsFinalsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    FrontFixture fixture;
    fixture.word2phone =
        "你好 n i3 h ao3\n"
        "世界 sh iii4 j ie4\n"
        "阿妈 a1 m a5\n"
        "停顿 t ing2 sp d un4 sp0\n"
        "中 zh0 ong1\n"
        "五五 u3 u3\n"
        "好 h ao3\n"
        "错 c uo4 c uo4\n"
        "坏 h ai4 h\n"
        "怪 g h uai4\n"
        "空 k  ong1\n"
        "一个 i1 g e5\n"
        "个 g e4\n"
        "东西 d ong1 x i5\n"
        "西 x i1\n"
        "了 l iao3\n"
        "走了 z ou3 l e5\n"
        "银行 y in2 h ang2\n"
        "行长 h ang2 zh ang3\n"
        "行 x ing2\n"
        "长 ch ang2\n"
        "长行 ch ang2 x ing2\n";
    dir_ = std::make_unique<TempDir>();
    front_ = MakeFront(*dir_, fixture);
  }
  static void TearDownTestSuite() {
    front_.reset();
    dir_.reset();
  }

  // Runs GetInitialsFinals and returns its result, hiding its message.
  static int Read(const std::string& word, Phones& initials, Phones& finals) {
    testing::internal::CaptureStderr();
    const int result = front_->GetInitialsFinals(word, initials, finals);
    last_message_ = testing::internal::GetCapturedStderr();
    return result;
  }

  static inline std::unique_ptr<TempDir> dir_;
  static inline std::unique_ptr<FrontEngineInterface> front_;
  static inline std::string last_message_;
};

TEST_F(InitialsFinalsTest, DictionaryWordGivesAlignedSyllables) {
  Phones initials, finals;
  ASSERT_EQ(Read("你好", initials, finals), 0);
  EXPECT_EQ(initials, (Phones{"n", "h"}));
  EXPECT_EQ(finals, (Phones{"i3", "ao3"}));
}

TEST_F(InitialsFinalsTest, SyllableWithoutInitialHasEmptyInitial) {
  Phones initials, finals;
  ASSERT_EQ(Read("阿妈", initials, finals), 0);
  EXPECT_EQ(initials, (Phones{"", "m"}));
  EXPECT_EQ(finals, (Phones{"a1", "a5"}));
}

TEST_F(InitialsFinalsTest, PauseTokensGiveNoSyllable) {
  Phones initials, finals;
  ASSERT_EQ(Read("停顿", initials, finals), 0);
  EXPECT_EQ(initials, (Phones{"t", "d"}));
  EXPECT_EQ(finals, (Phones{"ing2", "un4"}));
}

TEST_F(InitialsFinalsTest, TokenEndingInZeroIsAnInitial) {
  Phones initials, finals;
  ASSERT_EQ(Read("中", initials, finals), 0);
  EXPECT_EQ(initials, (Phones{"zh0"}));
  EXPECT_EQ(finals, (Phones{"ong1"}));
}

TEST_F(InitialsFinalsTest, ResultsAreAppendedToTheCallersLists) {
  Phones initials = {"x"}, finals = {"iao3"};
  ASSERT_EQ(Read("好", initials, finals), 0);
  EXPECT_EQ(initials, (Phones{"x", "h"}));
  EXPECT_EQ(finals, (Phones{"iao3", "ao3"}));
}

TEST_F(InitialsFinalsTest, MissingWordReadByBackwardMaximumMatching) {
  struct Case {
    const char* word;
    Phones finals;
  };
  const std::vector<Case> cases = {
      {"你好世界", {"i3", "ao3", "iii4", "ie4"}},
      // 行长 and 银行 beat the characters' own readings (xing2, chang2).
      {"银行行长", {"in2", "ang2", "ang2", "ang3"}},
      // Matching from the end: 长 is read in 行长, not as 长行.
      {"长行长", {"ang2", "ang2", "ang3"}},
      {"五五五五", {"u3", "u3", "u3", "u3"}},
  };
  for (const Case& c : cases) {
    Phones initials, finals;
    ASSERT_EQ(Read(c.word, initials, finals), 0) << c.word;
    EXPECT_EQ(finals, c.finals) << c.word;
    EXPECT_EQ(initials.size(), finals.size()) << c.word;
  }
}

TEST_F(InitialsFinalsTest, UnreadableCharacterRejectsTheWord) {
  Phones initials, finals;
  ASSERT_EQ(Read("五五五五", initials, finals), 0);
  // A word whose characters cannot all be read is still rejected, with the
  // caller's lists untouched.
  EXPECT_NE(Read("五五五五错", initials, finals), 0);
  EXPECT_EQ(finals.size(), 4u);
  EXPECT_NE(last_message_.find("does not give one syllable per character"),
            std::string::npos);
}

TEST_F(InitialsFinalsTest, PieceWithoutPronunciationRejectsTheWord) {
  Phones initials, finals;
  EXPECT_NE(Read("好”", initials, finals), 0);
  EXPECT_NE(Read("“好", initials, finals), 0);
  EXPECT_TRUE(finals.empty());
  // Looking the unknown piece up leaves the dictionary as it was.
  EXPECT_EQ(FrontEngineInterfaceTestPeer::word2phone(*front_).count("”"), 0u);
}

TEST_F(InitialsFinalsTest, MalformedEntriesAreRejected) {
  for (const std::string word : {"错", "坏", "怪", "空"}) {
    Phones initials, finals;
    EXPECT_NE(Read(word, initials, finals), 0) << word;
    EXPECT_TRUE(initials.empty()) << word;
    EXPECT_TRUE(finals.empty()) << word;
    EXPECT_FALSE(last_message_.empty()) << word;
    EXPECT_EQ(last_message_.back(), '\n') << word;
  }
}

TEST_F(InitialsFinalsTest, FinalsWrapperKeepsFinalsAndReportsFailure) {
  Phones finals;
  EXPECT_EQ(front_->GetFinals("你好", finals), 0);
  EXPECT_EQ(finals, (Phones{"i3", "ao3"}));

  Phones bad;
  testing::internal::CaptureStderr();
  EXPECT_EQ(front_->GetFinals("错", bad), -1);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("Failed to get word finals\n"), std::string::npos);
  EXPECT_TRUE(bad.empty());
}

// A neutral syllable takes its character's own tone, only where that is the
// same syllable.
TEST_F(InitialsFinalsTest, CitationFinalsRestoreTheCharactersOwnTone) {
  const Lexicon& lexicon = front_->lexicon();
  EXPECT_EQ(lexicon.CitationFinals("一个", {"i1", "e5"}), (Phones{"i1", "e4"}));
  EXPECT_EQ(lexicon.CitationFinals("东西", {"ong1", "i5"}),
            (Phones{"ong1", "i1"}));
  EXPECT_EQ(lexicon.CitationFinals("走了", {"ou3", "e5"}),
            (Phones{"ou3", "e5"}));  // 了 alone is liao3
  EXPECT_EQ(lexicon.CitationFinals("阿妈", {"a1", "a5"}),
            (Phones{"a1", "a5"}));  // 妈 has no entry
}

}  // namespace
}  // namespace speechnn
