// The inspection tool: phones back to pinyin, and the machine-readable
// modes of tolvaren_tts_front run as a child process.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "absl/strings/str_split.h"
#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/front_test_support.h"
#include "speech_neural_network/utf8_conversion.h"
#include "tool/phone_table.h"

namespace tolvaren {
namespace {

using speechnn::FrontFixture;
using speechnn::TempDir;
using Strings = std::vector<std::string>;

const std::string kPhoneTable = TOLVAREN_PHONE_TABLE;

TEST(PhoneTableTest, PhonesConvertBackToStandardPinyin) {
  PhoneTable table;
  std::string error;
  ASSERT_TRUE(table.Load(kPhoneTable, error)) << error;
  struct Case {
    Strings phones;
    Strings pinyin;
  };
  const std::vector<Case> cases = {
      {{"j", "in1", "t", "ian1"}, {"jin1", "tian1"}},
      {{"i1", "sp", "u3"}, {"yi1", "wu3"}},  // y and w spellings
      {{"v2", "ve4", "van2", "vn2"}, {"yu2", "yue4", "yuan2", "yun2"}},
      {{"j", "v1", "l", "v4", "n", "ve4"}, {"ju1", "lv4", "nve4"}},
      {{"zh", "iii1", "z", "ii3", "r", "iii4"}, {"zhi1", "zi3", "ri4"}},
      {{"uanr2", "x", "iao3", "vanr4"}, {"wanr2", "xiao3", "yuanr4"}},
      {{"h", "ui4", "iu3", "un2"}, {"hui4", "you3", "wen2"}},
      {{"er2", "sp"}, {"er2"}},
      {{"zh", "zh", "a1"}, {"?zh", "zha1"}},  // an initial without a final
      {{"q", "ong1"}, {"?qong1"}},            // no such syllable
  };
  for (const Case& c : cases) EXPECT_EQ(table.ToPinyin(c.phones), c.pinyin);
}

TEST(PhoneTableTest, MalformedTablesAreRefused) {
  TempDir dir;
  PhoneTable table;
  std::string error;
  EXPECT_FALSE(table.Load(dir.path() + "/none.tsv", error));
  EXPECT_FALSE(table.Load(dir.WriteFile("short.tsv", "kind\tsymbol\n"), error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(table.Load(
      dir.WriteFile("empty.tsv",
                    "# only a header\nkind\tsymbol\tinitial\tfinal\n"),
      error));
}

using Result = speechnn::CommandResult;

Result RunFront(const std::string& conf, const std::string& args) {
  const std::string command = "'" + std::string(TOLVAREN_FRONT_BINARY) +
                              "' --conf '" + conf + "' " + args +
                              " 2>/dev/null";
  return speechnn::RunCommand(command);
}

class FrontInspectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FrontFixture fixture;
    fixture.word2phone =
        "你 n i3\n好 h ao3\n你好 n i3 h ao3\n再 z ai4\n见 j ian4\n"
        "再见 z ai4 j ian4\n二 er4\n十 sh iii2\n个 g e4\n鑫 x\n";
    fixture.phone2id =
        "n 1\ni2 2\ni3 3\nh 4\nao3 5\nz 6\nai4 7\nj 8\nian4 9\nsp 10\n"
        "er4 11\nsh 12\niii2 13\ng 14\ne4 15\ne5 16\n";
    const std::string front_conf = speechnn::WriteFrontConf(dir_, fixture);
    // The phone table is found beside word2phone.
    std::ifstream table(kPhoneTable);
    std::string contents((std::istreambuf_iterator<char>(table)), {});
    dir_.WriteFile("phones.tsv", contents);
    conf_ =
        dir_.WriteFile("tool.conf", "--front_conf_path=" + front_conf + "\n");
  }

  TempDir dir_;
  std::string conf_;
};

TEST_F(FrontInspectTest, MachineModesPrintOneLinePerText) {
  // The shell that runs the tool cannot quote a stray byte: it comes from
  // a file.
  const std::string file =
      dir_.WriteFile("texts.txt", "你好，再见\n20个\na/b\n\xff\n鑫\n");
  EXPECT_EQ(RunFront(conf_, "--pinyin --file '" + file + "'").out,
            "ni2 hao3 zai4 jian4\n"
            "er4 shi2 ge5\n"  // 个 after a number is a measure word
            "\n"  // what tolvaren_say speaks is shown: a and b are unread here
            "ERROR: invalid UTF-8 at byte offset 0\n"
            "\n");  // 鑫's entry is broken: dropped, nothing to say
  EXPECT_EQ(RunFront(conf_, "--phones '你好，再见'").out,
            "n i2 h ao3 sp z ai4 j ian4\n");
  EXPECT_EQ(RunFront(conf_, "--ids '你好，再见'").out, "1 2 4 5 10 6 7 8 9\n");
  EXPECT_EQ(RunFront(conf_, "--normalized '20个，再见' '12:30'").out,
            "二十个，再见\n十二点三十分\n");
  EXPECT_EQ(RunFront(conf_, "--pinyin '你好'").status, 0);
  EXPECT_EQ(RunFront(conf_, "--pinyin '你好' '鑫'").status, 0);
  EXPECT_EQ(RunFront(conf_, "--pinyin '你好' 'a/b' '2.0'").status, 0);
  // The text, what the rules made of it and its pinyin, side by side.
  EXPECT_EQ(RunFront(conf_, "--side-by-side '20个' '1/2'").out,
            "20个\t二十个\ter4 shi2 ge5\n1/2\t二分之一\ter4\n");
}

TEST_F(FrontInspectTest, MachineModesWriteNothingElseUnlessVerbose) {
  const std::string front =
      "'" + std::string(TOLVAREN_FRONT_BINARY) + "' --conf '" + conf_ + "' ";
  EXPECT_EQ(speechnn::RunCommand(front + "--pinyin '你好' 2>&1").out,
            "ni2 hao3\n");
  EXPECT_EQ(
      speechnn::RunCommand(front + "--readings '你好' 2>&1 >/dev/null").out,
      "");
  const std::string verbose =
      speechnn::RunCommand(front + "--pinyin --verbose '你好' 2>&1 >/dev/null")
          .out;
  // The tool configuration's records and the front end's echo.
  EXPECT_NE(verbose.find("Key: front_conf_path"), std::string::npos);
  EXPECT_NE(verbose.find("Key: jieba_dict_path"), std::string::npos);
}

TEST_F(FrontInspectTest, FileModeStreamsEveryLine) {
  std::string lines;
  for (int i = 0; i < 2000; ++i) lines += (i % 2 == 0) ? "你好\r\n" : "再见\n";
  const std::string file = dir_.WriteFile("texts.txt", lines + "你好");
  const Result result = RunFront(conf_, "--pinyin --file '" + file + "'");
  EXPECT_EQ(result.status, 0);
  std::string expected;
  for (int i = 0; i < 2000; ++i) {
    expected += (i % 2 == 0) ? "ni2 hao3\n" : "zai4 jian4\n";
  }
  EXPECT_EQ(result.out, expected + "ni2 hao3\n");
}

TEST_F(FrontInspectTest, ReportShowsEveryStage) {
  const Result result = RunFront(conf_, "'你好，再见'");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("sentence: 你好，"), std::string::npos);
  EXPECT_NE(result.out.find("words:  你好/"), std::string::npos);
  EXPECT_NE(result.out.find("pinyin: ni2 hao3"), std::string::npos);
  EXPECT_NE(result.out.find("phones: n i2 h ao3 sp"), std::string::npos);
  EXPECT_NE(result.out.find("ids:    1 2 4 5 10"), std::string::npos);
}

TEST_F(FrontInspectTest, StartupProblemsAreReported) {
  EXPECT_EQ(RunFront(dir_.path() + "/missing.conf", "你好").status, 1);
  EXPECT_EQ(RunFront(conf_, "--file '" + dir_.path() + "/none.txt'").status, 1);
  // Usage faults stop before any output; a dash and a digit is a text.
  for (const char* args : {"", "--pinyn 你好", "-p 你好", "你好 --file x",
                           "--pinyin --conf"}) {
    const Result result = RunFront(conf_, args);
    EXPECT_EQ(result.status, 1) << args;
    EXPECT_EQ(result.out, "") << args;
  }
  EXPECT_EQ(RunFront(conf_, "--normalized -5").out, "负五\n");
}

TEST_F(FrontInspectTest, StandardInputIsReadWithFileDash) {
  const std::string file = dir_.WriteFile("texts.txt", "你好\r\n\n20个");
  EXPECT_EQ(RunFront(conf_, "--pinyin --file - < '" + file + "'").out,
            "ni2 hao3\n\ner4 shi2 ge5\n");
}

// What `--pinyin` prints for a text, spoken back as pinyin, gives the text's
// own ids: the shipped resources, sandhi, erhua, ü and neutral tones
// included. The pauses are not syllables: a pinyin part's ids are the
// text's without them.
TEST(PinyinRoundTripTest, PrintedPinyinGivesTheTextsIds) {
  const std::string res = TOLVAREN_BUILD_RES_DIR;
  const std::vector<std::string> texts = {
      "你好",            // third-tone pair: ni2 hao3
      "老虎很小",        // a run of third tones
      "一个花儿开了",    // yi2 ge5, hua1 er2 (no erhua), neutral le5
      "我们去哪儿玩儿",  // erhua: nar3 wanr2
      "等一会儿小孩儿",  // erhua: huir4, hair2
      "女儿去绿色的公园，我们走吧。",  // ü, er, a pause, neutral tones
      "一九九八年不去",                // yi1, bu2 before a fourth tone
  };
  TempDir dir;
  std::string lines;
  for (const std::string& text : texts) lines += text + "\n";
  const std::string file = dir.WriteFile("texts.txt", lines);
  const std::string conf = res + "/conf/tool.conf";
  const std::vector<std::string> pinyin = absl::StrSplit(
      RunFront(conf, "--pinyin --file '" + file + "'").out, '\n');
  const std::vector<std::string> ids =
      absl::StrSplit(RunFront(conf, "--ids --file '" + file + "'").out, '\n');
  ASSERT_EQ(pinyin.size(), texts.size() + 1);
  ASSERT_EQ(ids.size(), texts.size() + 1);

  speechnn::FrontEngineInterface front(
      res + "/conf/front.conf",
      [](speechnn::ReportLevel, const std::string&) {});
  ASSERT_TRUE(front.is_initialized());
  const int pause = front.phone_ids().Id("sp");
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::string spoken;
    for (const absl::string_view id : absl::StrSplit(ids[i], ' ')) {
      if (std::stoi(std::string(id)) != pause) {
        spoken += (spoken.empty() ? "" : " ") + std::string(id);
      }
    }
    const std::vector<std::string> syllables = absl::StrSplit(pinyin[i], ' ');
    std::vector<int> from_pinyin;
    const absl::Status read = front.PhonesOfSyllables(syllables, &from_pinyin);
    ASSERT_TRUE(read.ok()) << pinyin[i] << ": " << read;
    std::string given;
    for (const int id : from_pinyin) {
      given += (given.empty() ? "" : " ") + std::to_string(id);
    }
    EXPECT_EQ(given, spoken) << texts[i] << ": " << pinyin[i];
  }

  // Separate-tone mode: the same syllables give the same phones and tones.
  speechnn::FrontEngineInterface separate(
      res + "/conf/front_separate_tone.conf",
      [](speechnn::ReportLevel, const std::string&) {});
  ASSERT_TRUE(separate.is_initialized());
  const int separate_pause = separate.phone_ids().Id("sp");
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::vector<int> ids_of_text;
    std::vector<speechnn::SentenceTrace> traces;
    ASSERT_TRUE(
        separate
            .Run(speechnn::utf8string2wstring(texts[i]), ids_of_text, &traces)
            .ok);
    std::vector<int> phones, tones, tones_of_text;
    for (const speechnn::SentenceTrace& trace : traces) {
      tones_of_text.insert(tones_of_text.end(), trace.tone_ids.begin(),
                           trace.tone_ids.end());
    }
    ASSERT_EQ(tones_of_text.size(), ids_of_text.size());
    for (std::size_t k = 0; k < ids_of_text.size(); ++k) {
      if (ids_of_text[k] == separate_pause) continue;
      phones.push_back(ids_of_text[k]);
      tones.push_back(tones_of_text[k]);
    }
    std::vector<int> given_phones, given_tones;
    const absl::Status read = separate.PhonesOfSyllables(
        absl::StrSplit(pinyin[i], ' '), &given_phones, &given_tones);
    ASSERT_TRUE(read.ok()) << read;
    EXPECT_EQ(given_phones, phones) << texts[i];
    EXPECT_EQ(given_tones, tones) << texts[i];
  }
}

}  // namespace
}  // namespace tolvaren
