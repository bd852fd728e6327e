// Everyday mixed text through the whole front-end chain with the shipped
// pronunciation resources: Latin letters, full-width forms, traditional
// characters and symbols are spoken (or dropped) instead of failing.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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

class MixedTextPipelineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CaptureStderr();
    front_ = new FrontEngineInterface(std::string(TOLVAREN_BUILD_RES_DIR) +
                                      "/conf/front.conf");
    GetCapturedStderr();
    for (const auto& [symbol, id] : front_->phone_ids().ids()) {
      names_[id] = symbol;
    }
  }
  static void TearDownTestSuite() { delete front_; }

  // The phone symbols of a text; fails the test when the text fails.
  static std::vector<std::string> Phones(const std::string& text) {
    std::vector<int> ids;
    CaptureStderr();
    const bool ok = front_->Run(utf8string2wstring(text), ids, nullptr).ok;
    GetCapturedStderr();
    EXPECT_TRUE(ok) << text;
    std::vector<std::string> phones;
    for (const int id : ids) phones.push_back(names_.at(id));
    return phones;
  }

  static std::string Normalized(const std::string& text) {
    std::wstring sentence = utf8string2wstring(text);
    return front_->NormalizeToUtf8(sentence);
  }

  static FrontEngineInterface* front_;
  static std::map<int, std::string> names_;
};

FrontEngineInterface* MixedTextPipelineTest::front_ = nullptr;
std::map<int, std::string> MixedTextPipelineTest::names_;

TEST_F(MixedTextPipelineTest, EveryLetterHasItsToneFullReading) {
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    const std::string upper = wstring2utf8string({letter});
    const std::string lower =
        wstring2utf8string({wchar_t(letter - L'A' + L'a')});
    const std::string reading = LatinLetterReading(letter);
    const std::vector<std::string> phones = Phones(upper);
    EXPECT_EQ(phones, Phones(lower)) << upper;
    // The dictionary readings of its characters, one after the other, each
    // in a full tone: a letter name never turns neutral.
    std::vector<std::string> one_by_one;
    for (const wchar_t ch : utf8string2wstring(reading)) {
      const std::string entry(
          FrontEngineInterfaceTestPeer::word2phone(*front_).at(
              wstring2utf8string({ch})));
      std::size_t start = 0;
      while (start < entry.size()) {
        const std::size_t end = std::min(entry.find(' ', start), entry.size());
        one_by_one.push_back(entry.substr(start, end - start));
        start = end + 1;
      }
    }
    EXPECT_EQ(phones, one_by_one) << upper;
    ASSERT_FALSE(phones.empty()) << upper;
    for (const std::string& phone : phones) {
      EXPECT_NE(phone.back(), '5') << upper << " " << phone;
    }
  }
}

TEST_F(MixedTextPipelineTest, LatinWordsReadLikeTheirChineseSpelling) {
  struct Case {
    const char* mixed;
    const char* spelled;
  };
  for (const Case& c : std::vector<Case>{
           {"我的iPhone坏了", "我的爱疯坏了"},
           {"家里的wifi密码", "家里的歪飞密码"},
           {"他的QQ号", "他的丘丘号"},
           {"请把PPT发给我", "请把批批提发给我"},
           {"打开GPS定位", "打开吉批艾丝定位"},
       }) {
    EXPECT_EQ(Phones(c.mixed), Phones(c.spelled)) << c.mixed;
  }
}

TEST_F(MixedTextPipelineTest, LettersNextToDigitsAndUnits) {
  // Numbers touching letters are read by the number rules: 5G is 五 then G,
  // a unit after a number is said as a unit (16GB 十六G, 5km 五公里);
  // digits inside a run are read one by one.
  EXPECT_EQ(Normalized("支持5G网络"), "支持五G网络");
  EXPECT_EQ(Normalized("16GB和512GB"), "十六G和五百一十二G");
  EXPECT_EQ(Normalized("B2B业务"), "B二B业务");
  EXPECT_EQ(Normalized("3个App"), "三个App");
  const std::vector<std::string> g = Phones("G");
  std::vector<std::string> five_g = Phones("五");
  five_g.insert(five_g.end(), g.begin(), g.end());
  EXPECT_EQ(Phones("5G"), five_g);
  EXPECT_FALSE(Phones("这款手机支持5G网络").empty());
  EXPECT_EQ(Phones("跑了5km"), Phones("跑了五公里"));
}

TEST_F(MixedTextPipelineTest, FullWidthFormsReadLikeTheirAsciiForms) {
  EXPECT_EQ(Normalized("２０２３年"), "二零二三年");
  EXPECT_EQ(Phones("２０２３年"), Phones("2023年"));
  EXPECT_EQ(Phones("３．５米"), Phones("3.5米"));
  EXPECT_EQ(Phones("全角ＡＢＣ"), Phones("全角ABC"));
}

TEST_F(MixedTextPipelineTest, TraditionalTextReadsLikeSimplifiedText) {
  EXPECT_EQ(Normalized("會議將於明天下午舉行"), "会议将于明天下午举行");
  EXPECT_EQ(Phones("會議將於明天下午舉行"), Phones("会议将于明天下午举行"));
  EXPECT_EQ(Phones("請問洗手間在哪裡"), Phones("请问洗手间在哪里"));
}

TEST_F(MixedTextPipelineTest, SymbolsAreDropped) {
  EXPECT_EQ(Phones("哈哈😂太好笑了"), Phones("哈哈太好笑了"));
  EXPECT_EQ(Phones("快递已经到了📦"), Phones("快递已经到了"));
  EXPECT_EQ(Phones("★★★五星好评"), Phones("五星好评"));
  EXPECT_EQ(Phones("再见\r"), Phones("再见"));
  // Only emoji: the text succeeds with no phones; a sentence that ends up
  // empty contributes nothing.
  EXPECT_TRUE(Phones("😂👍🎉").empty());
  EXPECT_EQ(Phones("😂，你好"), Phones("，你好"));
}

// The caller logs what comes back: each unreadable character once per front
// end, and no silent symbol.
TEST_F(MixedTextPipelineTest, UnreadableCharacterIsHandedBackOnce) {
  std::vector<int> ids;
  CaptureStderr();
  const FrontRun first = front_->Run(L"α粒子和β射线", ids, nullptr);
  const FrontRun second = front_->Run(L"α粒子。😂γ", ids, nullptr);
  GetCapturedStderr();
  EXPECT_TRUE(first.ok);
  EXPECT_TRUE(second.ok);
  EXPECT_EQ(first.unreadable, (std::vector<wchar_t>{L'α', L'β'}));
  EXPECT_EQ(second.unreadable, (std::vector<wchar_t>{L'γ'}));
}

}  // namespace
}  // namespace speechnn
