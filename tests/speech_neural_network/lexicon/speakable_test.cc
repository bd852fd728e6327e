// Everyday mixed text on a small fixture dictionary: words made speakable,
// silent symbols dropped, traditional characters made simplified.

#include "speech_neural_network/lexicon/speakable.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/front_test_support.h"
#include "speech_neural_network/normalize/mixed_text.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

class MixedTextTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    FrontFixture fixture;
    // 誒 比 西 read A, B and C; 鑫's entry is broken (an initial alone); J's
    // reading 杰 is missing.
    fixture.word2phone =
        "你 n i3\n好 h ao3\n你好 n i3 h ao3\n我 uo3\n坏 h uai4\n了 l e5\n"
        "爱 ai4\n疯 f eng1\n誒 ei1\n比 b i3\n西 x i1\n鑫 x\n二 er4\n"
        "会 h ui4\n议 i4\n会议 h ui4 i4\n℃ d u4\n";
    fixture.phone2id = "n 1\ni3 2\nh 3\nao3 4\nsp 5\n";
    front_ = MakeFront(*dir_, fixture).release();
  }
  static void TearDownTestSuite() {
    delete front_;
    delete dir_;
  }

  static WordTagList Speakable(WordTagList words,
                               std::vector<wchar_t>& unreadable) {
    MakeWordsSpeakable(front_->lexicon(), words, met_, unreadable);
    return words;
  }

  static TempDir* dir_;
  static FrontEngineInterface* front_;
  // What this suite's front end has met, as the front end remembers it.
  static std::set<wchar_t> met_;
};

TempDir* MixedTextTest::dir_ = nullptr;
FrontEngineInterface* MixedTextTest::front_ = nullptr;
std::set<wchar_t> MixedTextTest::met_;

TEST_F(MixedTextTest, WordsWithAReadingStayAsTheyAre) {
  const WordTagList words = {{"你好", "l"}, {"，", "x"}, {"“", "x"},
                             {"会议", "n"}, {"我", "r"}, {"好你", "x"}};
  std::vector<wchar_t> unreadable;
  EXPECT_EQ(Speakable(words, unreadable), words);
  EXPECT_TRUE(unreadable.empty());
  for (const auto& [word, tag] : words) {
    if (word != "，" && word != "“") {
      EXPECT_TRUE(front_->HasReading(word)) << word;
    }
  }
}

TEST_F(MixedTextTest, LatinWordsAreSpelledOrReadWhole) {
  std::vector<wchar_t> unreadable;
  const WordTagList spelled = {{"誒", "eng"}, {"比", "eng"}, {"西", "eng"}};
  EXPECT_EQ(Speakable({{"ABC", "eng"}}, unreadable), spelled);
  EXPECT_EQ(Speakable({{"abc", "eng"}}, unreadable), spelled);
  EXPECT_EQ(Speakable({{"iPhone", "eng"}}, unreadable),
            (WordTagList{{"爱疯", "eng"}}));
  // A letter inside a word splits it; the Chinese part stays one word.
  EXPECT_EQ(Speakable({{"B你好", "n"}}, unreadable),
            (WordTagList{{"比", "n"}, {"你好", "n"}}));
  EXPECT_TRUE(unreadable.empty());
  // A letter whose reading this dictionary lacks is unreadable, like any
  // other character; so is a whole word whose reading it lacks (WiFi).
  EXPECT_EQ(Speakable({{"JA", "eng"}}, unreadable),
            (WordTagList{{"誒", "eng"}}));
  EXPECT_EQ(unreadable, std::vector<wchar_t>{L'J'});
  unreadable.clear();
  EXPECT_EQ(Speakable({{"WiFi", "eng"}}, unreadable), WordTagList{});
  EXPECT_EQ(unreadable, (std::vector<wchar_t>{L'W', L'i', L'F'}));
}

TEST_F(MixedTextTest, UnreadableCharactersAreDroppedAndReportedOnce) {
  std::vector<wchar_t> unreadable;
  // Silent symbols go without notice, and split the word around them.
  EXPECT_EQ(Speakable({{"你😂好", "x"}, {"\r", "x"}, {"─", "x"}, {" ", "x"}},
                      unreadable),
            (WordTagList{{"你", "x"}, {"好", "x"}}));
  EXPECT_TRUE(unreadable.empty());
  // A broken entry is no reading: 鑫 is dropped with α and ¥.
  EXPECT_EQ(
      Speakable({{"鑫", "n"}, {"α", "x"}, {"¥", "x"}, {"α", "x"}, {"我", "r"}},
                unreadable),
      (WordTagList{{"我", "r"}}));
  EXPECT_EQ(unreadable, (std::vector<wchar_t>{L'鑫', L'α', L'¥'}));
  // Met again: still dropped, no longer reported.
  unreadable.clear();
  EXPECT_EQ(Speakable({{"α鑫", "x"}}, unreadable), WordTagList{});
  EXPECT_TRUE(unreadable.empty());
}

TEST_F(MixedTextTest, SilentSymbolsLeaveTheSentenceBeforeSegmentation) {
  const auto dropped = [](const std::string& text) {
    std::wstring wide = utf8string2wstring(text);
    DropSilentSymbols(front_->lexicon(), wide);
    return wstring2utf8string(wide);
  };
  EXPECT_EQ(dropped("哈😂哈"), "哈哈");
  EXPECT_EQ(dropped("我们👨‍👩‍👧好❤️"), "我们好");
  EXPECT_EQ(dropped("★★★好评"), "好评");
  // Symbols with a reading, punctuation, ASCII and other letters stay.
  EXPECT_EQ(dropped("二℃，“好”α¥ a\r"), "二℃，“好”α¥ a\r");
  EXPECT_EQ(dropped(""), "");
}

TEST_F(MixedTextTest, TraditionalCharactersBecomeSimplified) {
  const auto simplified = [](const std::string& text) {
    return wstring2utf8string(front_->ToSimplified(utf8string2wstring(text)));
  };
  EXPECT_EQ(simplified("會議將於明天下午舉行"), "会议将于明天下午举行");
  EXPECT_EQ(simplified("臺北的天氣，請問"), "台北的天气，请问");
  EXPECT_EQ(simplified("简体中文不变，ABC 123"), "简体中文不变，ABC 123");
  EXPECT_EQ(simplified(""), "");
  const std::string with_nul("會議\0將於", 13);
  EXPECT_EQ(simplified(with_nul), std::string("会议\0将于", 13));
}

TEST(TraditionalConverterTest, MissingConfigurationLeavesTextUnconverted) {
  TempDir dir;
  FrontFixture fixture;
  fixture.word2phone = "会 h ui4\n";
  fixture.phone2id = "h 1\n";
  const std::string conf = WriteFrontConf(dir, fixture);
  std::ofstream(conf, std::ios::app)
      << "--opencc_t2s_config=" << dir.path() << "/missing.json\n";
  CaptureStderr();
  FrontEngineInterface front(conf);
  GetCapturedStderr();
  ASSERT_EQ(front.Init(), 0);
  CaptureStderr();
  const std::wstring first = front.ToSimplified(L"會議");
  const std::wstring second = front.ToSimplified(L"將於");
  const std::string report = GetCapturedStderr();
  EXPECT_EQ(first, L"會議");
  EXPECT_EQ(second, L"將於");
  const std::string message = "Cannot load traditional to simplified";
  ASSERT_NE(report.find(message), std::string::npos) << report;
  EXPECT_EQ(report.find(message, report.find(message) + 1), std::string::npos);

  TraditionalConverter broken(dir.path() + "/missing.json");
  EXPECT_FALSE(broken.ok());
  EXPECT_FALSE(broken.error().empty());
  EXPECT_EQ(broken.Convert("會議"), "會議");
}

}  // namespace
}  // namespace speechnn
