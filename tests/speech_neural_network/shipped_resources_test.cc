// The generated resources and the shipped front configurations.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/front_test_support.h"

namespace speechnn {
namespace {

using Peer = FrontEngineInterfaceTestPeer;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

const std::string kConfDir = std::string(TOLVAREN_BUILD_RES_DIR) + "/conf";

TEST(ShippedResourcesTest, BothFrontConfigurationsInitialise) {
  for (const char* conf : {"/front.conf", "/front_separate_tone.conf"}) {
    CaptureStderr();
    FrontEngineInterface front(kConfDir + conf);
    GetCapturedStderr();
    ASSERT_EQ(front.Init(), 0) << conf;
    EXPECT_GT(Peer::word2phone(front).size(), 100000u) << conf;
    EXPECT_GT(Peer::phone2id(front).size(), 90u) << conf;
  }
}

TEST(ShippedResourcesTest, EveryDictionaryPhoneHasAnId) {
  struct Mode {
    const char* conf;
    bool separate;
  };
  for (const Mode& mode :
       {Mode{"/front.conf", false}, Mode{"/front_separate_tone.conf", true}}) {
    CaptureStderr();
    FrontEngineInterface front(kConfDir + mode.conf);
    GetCapturedStderr();
    ASSERT_TRUE(front.is_initialized());
    const StringMap& phones = Peer::phone2id(front);
    std::size_t checked = 0;
    for (const auto& [word, pronunciation] : Peer::word2phone(front)) {
      std::size_t start = 0;
      while (start <= pronunciation.size()) {
        std::size_t end = pronunciation.find(' ', start);
        if (end == std::string::npos) end = pronunciation.size();
        std::string token(pronunciation.substr(start, end - start));
        ASSERT_FALSE(token.empty()) << word;
        if (mode.separate) token.pop_back();  // the tone byte
        ASSERT_EQ(phones.count(token), 1u) << word << ": " << token;
        ASSERT_NE(phones.at(token), "0");
        ++checked;
        start = end + 1;
      }
    }
    EXPECT_GT(checked, 300000u);
  }
}

// Words through sandhi, erhua and the id tables of the shipped resources.
TEST(ShippedResourcesTest, WordsBecomeTheExpectedPhoneIds) {
  CaptureStderr();
  FrontEngineInterface front(kConfDir + "/front.conf");
  GetCapturedStderr();
  ASSERT_TRUE(front.is_initialized());
  const StringMap phones = Peer::phone2id(front);
  struct Case {
    WordTagList words;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {{{"你好", "l"}}, {"n", "i2", "h", "ao3"}},
      {{{"不怕", "v"}}, {"b", "u2", "p", "a4"}},
      {{{"一天", "m"}}, {"i4", "t", "ian1"}},
      {{{"小院儿", "n"}}, {"x", "iao3", "vanr4"}},
      {{{"花儿", "n"}}, {"h", "ua1", "er2"}},
      {{{"银行", "n"}, {"。", "x"}}, {"in2", "h", "ang2", "sp"}},
      // The third-tone cycle runs across words, but not across a pause.
      {{{"有", "v"}, {"我", "r"}, {"小", "a"}}, {"iu2", "uo2", "x", "iao3"}},
      {{{"很", "d"}, {"，", "x"}, {"好", "a"}}, {"h", "en3", "sp", "h", "ao3"}},
  };
  for (const Case& c : cases) {
    std::vector<int> ids;
    std::vector<int> tones;
    CaptureStderr();
    const int result = front.GetWordsIds(c.words, ids, tones);
    GetCapturedStderr();
    ASSERT_EQ(result, 0) << c.words[0].first;
    std::vector<int> expected;
    for (const std::string& phone : c.expected) {
      expected.push_back(std::stoi(phones.at(phone)));
    }
    EXPECT_EQ(ids, expected) << c.words[0].first;
    EXPECT_TRUE(tones.empty());
  }
}

}  // namespace
}  // namespace speechnn
