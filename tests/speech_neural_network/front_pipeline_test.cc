// Sentence splitting, the text checks and the per-sentence chain (Run) that
// Tool::frontProcess and the inspection tool share.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/front_test_support.h"
#include "speech_neural_network/sentences.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::wstring> wide;
  SplitSentences(utf8string2wstring(text), wide);
  std::vector<std::string> sentences;
  for (const std::wstring& sentence : wide) {
    sentences.push_back(wstring2utf8string(sentence));
  }
  return sentences;
}

TEST(SplitSentencesTest, EachMarkEndsOneSentence) {
  using List = std::vector<std::string>;
  EXPECT_EQ(Split(""), List{});
  EXPECT_EQ(Split("没有标点"), List{"没有标点"});
  EXPECT_EQ(Split("你好，世界！再见"), (List{"你好，", "世界！", "再见"}));
  EXPECT_EQ(Split("好！！"), (List{"好！", "！"}));
  EXPECT_EQ(Split("12:30"), List{"12:30"});  // the ASCII colon is no mark
  EXPECT_EQ(Split("a,b;c?d!e：f；g。h？"),
            (List{"a,", "b;", "c?", "d!", "e：", "f；", "g。", "h？"}));
  EXPECT_EQ(Split("顿号、波浪~引号“不断”"), List{"顿号、波浪~引号“不断”"});
  // A thousands separator is part of its number; a list's comma is a mark.
  EXPECT_EQ(Split("5,999元，12,345和１，０００"),
            (List{"5,999元，", "12,345和１，０００"}));
  EXPECT_EQ(Split("1,2,345和1,2345"), (List{"1,", "2,", "345和1,", "2345"}));
  // The full-width colon of a time is no mark either.
  EXPECT_EQ(Split("22：15，时间：到了"), (List{"22：15，", "时间：", "到了"}));
  // A long text without marks stays one sentence; a long list of numbers
  // is split at each comma, in time linear in its length.
  std::string long_text;
  std::string list;
  for (int i = 0; i < 100000; ++i) {
    long_text += "字";
    list += "1,";
  }
  EXPECT_EQ(Split(long_text).size(), 1u);
  EXPECT_EQ(Split(list).size(), 100000u);
}

TEST(CheckTextTest, RefusedCharactersComeBeforeUtf8) {
  std::size_t offset = 0;
  for (const std::string text :
       {"3.5", "1/2", "<b>", "a\\b", "结尾.", ".\xFF"}) {
    EXPECT_EQ(CheckText(text, offset), TextCheck::kRefused) << text;
  }
  // Full-width ．and ／ are not refused.
  EXPECT_EQ(CheckText("3．5和1／2", offset), TextCheck::kAccepted);
  struct Invalid {
    std::string text;
    std::size_t offset;
  };
  for (const Invalid& c : std::vector<Invalid>{{"你\xE5\xA5", 3},
                                               {"\xC0\xAF", 0},
                                               {"ab\xED\xA0\x80", 2},
                                               {"\xFE", 0},
                                               {"\xFF", 0}}) {
    EXPECT_EQ(CheckText(c.text, offset), TextCheck::kInvalidUtf8);
    EXPECT_EQ(offset, c.offset);
  }
  EXPECT_EQ(CheckText("", offset), TextCheck::kAccepted);
}

class RunFrontEndTest : public ::testing::Test {
 protected:
  static FrontFixture Fixture(bool separate) {
    FrontFixture fixture;
    fixture.word2phone = separate
                             ? "你 n0 i3\n好 h0 ao3\n你好 n0 i3 h0 ao3\n鑫 x0\n"
                               "再 z0 ai4\n见 j0 ian4\n再见 z0 ai4 j0 ian4\n"
                             : "你 n i3\n好 h ao3\n你好 n i3 h ao3\n鑫 x\n"
                               "再 z ai4\n见 j ian4\n再见 z ai4 j ian4\n";
    fixture.phone2id =
        separate ? "n 1\ni 2\nh 3\nao 4\nz 5\nai 6\nj 7\nian 8\nsp 9\n"
                 : "n 1\ni2 2\nh 3\nao3 4\nz 5\nai4 6\nj 7\n"
                   "ian4 8\nsp 9\n";
    fixture.tone2id = "0 1\n1 2\n2 3\n3 4\n4 5\n5 6\n";
    fixture.separate_tone = separate;
    return fixture;
  }

  bool Run(FrontEngineInterface& front, const std::string& text,
           std::vector<int>& ids, std::vector<SentenceTrace>& traces,
           std::string& failed) {
    CaptureStderr();
    const FrontRun run = front.Run(utf8string2wstring(text), ids, &traces);
    stderr_ = GetCapturedStderr();
    failed = run.failed_sentence;
    return run.ok;
  }

  std::string stderr_;
};

TEST_F(RunFrontEndTest, SentencesAreConcatenatedWithPauses) {
  TempDir dir;
  auto front = MakeFront(dir, Fixture(false));
  std::vector<int> ids;
  std::vector<SentenceTrace> traces;
  std::string failed;
  ASSERT_TRUE(Run(*front, "你好，再见", ids, traces, failed));
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 9, 5, 6, 7, 8}));
  ASSERT_EQ(traces.size(), 2u);
  EXPECT_EQ(traces[0].normalized, "你好，");
  EXPECT_EQ(traces[0].phone_ids, (std::vector<int>{1, 2, 3, 4, 9}));
  EXPECT_TRUE(traces[0].tone_ids.empty());

  ids.clear();
  ASSERT_TRUE(Run(*front, "", ids, traces, failed));
  EXPECT_TRUE(ids.empty());
}

TEST_F(RunFrontEndTest, UnreadableWordNoLongerStopsTheText) {
  TempDir dir;
  auto front = MakeFront(dir, Fixture(false));
  std::vector<int> ids;
  std::vector<SentenceTrace> traces;
  std::string failed;
  // 鑫's entry is broken (an initial without a final): it is dropped, its
  // sentence keeps only its pause, and the third sentence is read.
  EXPECT_TRUE(Run(*front, "你好，鑫，再见", ids, traces, failed));
  EXPECT_TRUE(failed.empty());
  EXPECT_EQ(traces.size(), 3u);
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 9, 9, 5, 6, 7, 8}));
  EXPECT_EQ(stderr_.find("Get words phoneids failed"), std::string::npos);
}

TEST_F(RunFrontEndTest, SeparateToneModeStillYieldsOnlyPhoneIds) {
  TempDir dir;
  auto front = MakeFront(dir, Fixture(true));
  std::vector<int> ids;
  std::vector<SentenceTrace> traces;
  std::string failed;
  ASSERT_TRUE(Run(*front, "你好。", ids, traces, failed));
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 9}));
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0].tone_ids, (std::vector<int>{1, 3, 1, 4, 1}));
}

TEST_F(RunFrontEndTest, LongSentenceWithoutMarks) {
  TempDir dir;
  auto front = MakeFront(dir, Fixture(false));
  std::string text;
  for (int i = 0; i < 50000; ++i) text += "你好";
  std::vector<int> ids;
  std::vector<SentenceTrace> traces;
  std::string failed;
  ASSERT_TRUE(Run(*front, text, ids, traces, failed));
  EXPECT_EQ(ids.size(), 200000u);
}

}  // namespace
}  // namespace speechnn
