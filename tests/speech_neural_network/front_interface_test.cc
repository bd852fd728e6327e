#include "speech_neural_network/front_interface.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"
#include "speech_neural_network/lexicon/checked_tables.h"

namespace speechnn {
namespace {

using Peer = FrontEngineInterfaceTestPeer;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

// Standard error of constructing a front end for `conf_path`.
std::string Construct(const std::string& conf_path,
                      std::unique_ptr<FrontEngineInterface>& front) {
  CaptureStderr();
  front = std::make_unique<FrontEngineInterface>(conf_path);
  return GetCapturedStderr();
}

const FrontFixture kFixture = {"中国 zh ong1 g uo2\n你 n i3\n",
                               "zh 1\nong1 2\n", "0 1\n1 2\n", false, ""};

TEST(FrontConfTest, ReadsKeysAndEchoesThemOnStandardError) {
  TempDir dir;
  const std::string conf = WriteFrontConf(dir, kFixture);
  std::unique_ptr<FrontEngineInterface> front;
  const std::string err = Construct(conf, front);
  EXPECT_TRUE(front->is_initialized());
  EXPECT_EQ(front->Init(), 0);
  EXPECT_NE(err.find("Key: seperate_tone; Value: false\n"), std::string::npos);
  EXPECT_EQ(Peer::conf_map(*front).size(), 9u);
  EXPECT_FALSE(front->separate_tone());
  EXPECT_NE(front->segmenter(), nullptr);
  EXPECT_EQ(Peer::word2phone(*front).at("中国"), "zh ong1 g uo2");
}

TEST(FrontConfTest, LineFormatQuirks) {
  TempDir dir;
  std::string conf_text;
  {
    std::ifstream base(WriteFrontConf(dir, kFixture));
    conf_text.assign(std::istreambuf_iterator<char>(base), {});
  }
  conf_text +=
      "--word2phone_path=/a/b=c\n"  // split at the first "="
      " --phone2id_path=/lead\n"    // not at the line start: ignored
      "phone2id_path=/plain\n"      // no "--": ignored
      "--extra=value \r\n"          // kept as written
      "--dup=1\n--dup=2\n"          // the later value wins
      "--no_equals\n";              // names no key
  const std::string conf = dir.WriteFile("quirks.conf", conf_text);
  std::unique_ptr<FrontEngineInterface> front;
  const std::string err = Construct(conf, front);
  StringMap& map = Peer::conf_map(*front);
  EXPECT_EQ(map.at("word2phone_path"), "/a/b=c");
  EXPECT_EQ(Peer::conf(*front).word2phone_path, "/a/b=c");
  EXPECT_EQ(map.at("phone2id_path").find("/lead"), std::string::npos);
  EXPECT_EQ(map.at("extra"), "value \r");
  EXPECT_EQ(map.at("dup"), "2");
  EXPECT_NE(err.find("Key: dup; Value: 1\n"), std::string::npos);
  EXPECT_NE(err.find("Key: dup; Value: 2\n"), std::string::npos);
  EXPECT_EQ(map.count("no_equals"), 0u);
  // The word2phone path now names no file, so Init failed.
  EXPECT_FALSE(front->is_initialized());
  EXPECT_NE(err.find("Cannot open dict file: /a/b=c\nGenarate word2phone dict "
                     "failed\n"),
            std::string::npos);
}

TEST(FrontConfTest, MissingConfigurationFile) {
  std::unique_ptr<FrontEngineInterface> front;
  const std::string err = Construct("/nonexistent/front.conf", front);
  EXPECT_EQ(err,
            "Cannot open config file: /nonexistent/front.conf\n"
            "Read front conf file failed\n");
  EXPECT_FALSE(front->is_initialized());
  // A failed Init is repeated in full, messages included.
  CaptureStderr();
  EXPECT_EQ(front->Init(), -1);
  EXPECT_EQ(GetCapturedStderr(),
            "Cannot open config file: /nonexistent/front.conf\n"
            "Read front conf file failed\n");
}

TEST(FrontConfTest, MissingResourceFilesFailWithTheirMessages) {
  struct Case {
    std::string key;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"word2phone_path", "Genarate word2phone dict failed"},
      {"phone2id_path", "Genarate phone2id dict failed"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string conf = WriteFrontConf(dir, kFixture);
    std::ofstream(conf, std::ios::app)
        << "--" << c.key << "=" << dir.path() << "/missing\n";
    std::unique_ptr<FrontEngineInterface> front;
    const std::string err = Construct(conf, front);
    EXPECT_FALSE(front->is_initialized()) << c.key;
    EXPECT_NE(err.find("Cannot open dict file: " + dir.path() + "/missing\n" +
                       c.message + "\n"),
              std::string::npos)
        << err;
  }
}

// The polyphone model is optional: a missing file leaves the rules; one
// that cannot be used stops start-up with its name.
TEST(FrontConfTest, PolyphoneModelIsOptionalButNeverHalfRead) {
  struct Case {
    std::string file;  // written as model.txt unless empty
    std::string path;  // relative to the folder
    bool starts;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", "/none.txt", true,
       "none.txt not found; polyphones are read by the rules alone"},
      {"", "", false, ": it is a folder"},
      {"tolvaren-polyphone-model 7\n", "/model.txt", false,
       "model.txt line 1: format version 7"},
      {"tolvaren-polyphone-model 1\ncharacters 1\n长\t0\tch ang2\n",
       "/model.txt", false, "model.txt line 3: expected CHARACTER"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (!c.file.empty()) dir.WriteFile("model.txt", c.file);
    const std::string conf = WriteFrontConf(dir, kFixture);
    std::ofstream(conf, std::ios::app)
        << "--polyphone_model_path=" << dir.path() << c.path << "\n";
    std::unique_ptr<FrontEngineInterface> front;
    const std::string err = Construct(conf, front);
    EXPECT_EQ(front->is_initialized(), c.starts) << c.message;
    EXPECT_FALSE(front->has_polyphone_model());
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    if (!c.starts) {
      EXPECT_NE(front->init_error().find(dir.path()), std::string::npos);
    }
  }
}

TEST(FrontConfTest, ToneTableIsReadOnlyInSeparateToneMode) {
  for (const char* value : {"True", "1", "", "true "}) {
    TempDir dir;
    const std::string conf = WriteFrontConf(dir, kFixture);
    std::ofstream(conf, std::ios::app)
        << "--seperate_tone=" << value << "\n--tone2id_path=/missing\n";
    std::unique_ptr<FrontEngineInterface> front;
    Construct(conf, front);
    EXPECT_TRUE(front->is_initialized()) << value;
    EXPECT_FALSE(front->separate_tone()) << value;
    EXPECT_TRUE(Peer::tone2id(*front).empty()) << value;
  }
  TempDir dir;
  FrontFixture separate = kFixture;
  separate.separate_tone = true;
  auto front = MakeFront(dir, separate);
  EXPECT_TRUE(front->separate_tone());
  EXPECT_EQ(Peer::tone2id(*front).Find("1"), 2);

  std::ofstream(WriteFrontConf(dir, separate), std::ios::app)
      << "--tone2id_path=/missing\n";
  std::unique_ptr<FrontEngineInterface> failing;
  const std::string err = Construct(dir.path() + "/front.conf", failing);
  EXPECT_FALSE(failing->is_initialized());
  EXPECT_NE(err.find("Genarate tone2id dict failed"), std::string::npos);
}

TEST(FrontConfTest, SegmenterFilesAreCheckedInsteadOfAborting) {
  // The segmenter library would end the process on a missing file.
  for (const char* key : {"jieba_dict_path", "jieba_hmm_path", "jieba_idf_path",
                          "jieba_stop_word_path", "jieba_user_dict_path"}) {
    TempDir dir;
    const std::string conf = WriteFrontConf(dir, kFixture);
    std::ofstream(conf, std::ios::app) << "--" << key << "=/missing/file\n";
    std::unique_ptr<FrontEngineInterface> front;
    const std::string err = Construct(conf, front);
    EXPECT_FALSE(front->is_initialized()) << key;
    EXPECT_NE(err.find("Cannot open jieba file: /missing/file"),
              std::string::npos)
        << key;
    EXPECT_EQ(front->segmenter(), nullptr) << key;
  }
  // An empty main dictionary path is refused too; an empty user dictionary
  // path means "no user dictionary".
  TempDir dir;
  const std::string conf = WriteFrontConf(dir, kFixture);
  std::ofstream(conf, std::ios::app) << "--jieba_user_dict_path=\n";
  std::unique_ptr<FrontEngineInterface> front;
  Construct(conf, front);
  EXPECT_TRUE(front->is_initialized());
  std::ofstream(conf, std::ios::app) << "--jieba_dict_path=\n";
  Construct(conf, front);
  EXPECT_FALSE(front->is_initialized());
}

// Tables that would make phones silent or indistinguishable (id 0) fail
// the check, naming the file and what it lacks.
TEST(FrontInitTest, UnusableTablesFailTheCheckNamingTheFile) {
  const FrontFixture complete = {"中国 zh ong1 g uo2\n你 n i3\n",
                                 "zh 1\nong1 2\ng 3\nuo2 4\nn 5\ni3 6\nsp 7\n",
                                 "", false, ""};
  // The same words with the tones kept apart: the last byte of each phone.
  const FrontFixture separate = {"中国 zh0 ong1 g0 uo2\n你 n0 i3\n",
                                 "zh 1\nong 2\ng 3\nuo 4\nn 5\ni 6\nsp 7\n",
                                 "0 1\n1 2\n2 3\n3 4\n", true, ""};
  for (const FrontFixture& fixture : {complete, separate}) {
    TempDir dir;
    auto front = MakeFront(dir, fixture);
    EXPECT_EQ(front->CheckTables(), 0) << fixture.separate_tone;
  }
  struct Case {
    const char* what;
    FrontFixture fixture;
    std::string message;  // after the file's path
  };
  auto with = [](FrontFixture fixture, std::string FrontFixture::*table,
                 std::string text) {
    fixture.*table = std::move(text);
    return fixture;
  };
  using F = FrontFixture;
  const std::vector<Case> cases = {
      {"empty word2phone", with(complete, &F::word2phone, ""),
       "word2phone.dict holds no pronunciations"},
      {"empty phone2id", with(complete, &F::phone2id, "zh\n"),
       "phone2id.dict holds no phone ids"},
      {"no pause",
       with(complete, &F::phone2id, "zh 1\nong1 2\ng 3\nuo2 4\nn 5\ni3 6\n"),
       "phone2id.dict gives no non-zero id to 1 phones: \"sp\""},
      {"ids 0 and missing",
       with(complete, &F::phone2id, "zh 1\nong1 0\ng 3\nuo2 x\nsp 7\n"),
       "phone2id.dict gives no non-zero id to 4 phones: \"i3\", \"n\", "
       "\"ong1\", \"uo2\""},
      {"empty tone2id", with(separate, &F::tone2id, ""),
       "tone2id.dict holds no tone ids"},
      {"tone missing", with(separate, &F::tone2id, "0 1\n1 2\n2 3\n"),
       "tone2id.dict gives no non-zero id to 1 tones: \"3\""},
      {"separate phone missing",
       with(separate, &F::phone2id, "zh 1\nong 2\ng 3\nuo 4\nn 5\ni 6\n"),
       "phone2id.dict gives no non-zero id to 1 phones: \"sp\""},
  };
  // The record the build made for the complete tables, copied beside
  // these: it vouches only for the bytes it was made from.
  std::string complete_record;
  {
    TempDir dir;
    auto front = MakeFront(dir, complete);
    complete_record = CheckedTablesRecord(
        TablesChecksum(front->lexicon().words().text(), front->phone_ids(),
                       front->tone_ids(), false));
  }
  for (const Case& c : cases) {
    TempDir dir;
    auto front = MakeFront(dir, c.fixture);
    std::ofstream(CheckedTablesPath(front->word2phone_file()))
        << complete_record;
    CaptureStderr();
    EXPECT_EQ(front->CheckTables(), -1) << c.what;
    const std::string err = GetCapturedStderr();
    const std::string expected = dir.path() + "/" + c.message;
    EXPECT_NE(err.find(expected + "\n"), std::string::npos) << c.what << "\n"
                                                            << err;
    EXPECT_NE(front->init_error().find(expected), std::string::npos) << c.what;
  }
}

// A record of exactly these tables stands for the pass over them.
TEST(FrontInitTest, ARecordOfTheseTablesSkipsTheirCheck) {
  TempDir dir;
  auto front = MakeFront(
      dir, {"你 n i3\n", "n 5\nsp 7\n", "", false, ""});  // i3 has no id
  ASSERT_EQ(front->CheckTables(), -1);
  std::ofstream(CheckedTablesPath(front->word2phone_file()))
      << CheckedTablesRecord(TablesChecksum(front->lexicon().words().text(),
                                            front->phone_ids(),
                                            front->tone_ids(), false));
  EXPECT_EQ(front->CheckTables(), 0);
  EXPECT_EQ(front->CheckTables(/*vouched=*/false), -1);
}

TEST(LoadDictFileTest, SplitsAtTheFirstSpace) {
  TempDir dir;
  auto front = MakeFront(dir, kFixture);
  const std::string path =
      dir.WriteFile("dict.txt",
                    "中国 zh ong1 g uo2\n"
                    "tab\tseparated\n"  // no space: no entry
                    "\n"                // blank line: no entry
                    "dup first\n"
                    "dup second\n"
                    "trailing x  \n"
                    "last no-newline");
  StringMap map;
  EXPECT_EQ(front->LoadDictFile(path, map), 0);
  EXPECT_EQ(map.at("中国"), "zh ong1 g uo2");
  EXPECT_EQ(map.at("dup"), "second");
  EXPECT_EQ(map.at("trailing"), "x  ");
  EXPECT_EQ(map.at("last"), "no-newline");
  EXPECT_EQ(map.size(), 4u);
  // The word2phone table reads the same entries from the same unsorted
  // lines, the later of a repeated word kept.
  WordPhoneTable table;
  EXPECT_EQ(front->LoadDictFile(path, table), 0);
  EXPECT_EQ(StringMap(table.begin(), table.end()), map);
  EXPECT_EQ(table.count("tab\tseparated"), 0u);
  for (const auto& [word, phones] : map) EXPECT_EQ(table.at(word), phones);
  EXPECT_EQ(table.count("中"), 0u);

  StringMap empty;
  EXPECT_EQ(front->LoadDictFile(dir.WriteFile("empty.txt", ""), empty), 0);
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(front->LoadDictFile(dir.WriteFile("empty.txt", ""), table), 0);
  EXPECT_TRUE(table.empty());

  CaptureStderr();
  EXPECT_EQ(front->LoadDictFile(dir.path() + "/none.txt", empty), -1);
  EXPECT_EQ(GetCapturedStderr(),
            "Cannot open dict file: " + dir.path() + "/none.txt\n");
}

TEST(FrontInitTest, SecondInitAfterSuccessReadsNothing) {
  TempDir dir;
  auto front = MakeFront(dir, kFixture);
  // Removing the files proves that nothing is read again.
  std::remove((dir.path() + "/front.conf").c_str());
  std::remove((dir.path() + "/word2phone.dict").c_str());
  CaptureStderr();
  EXPECT_EQ(front->Init(), 0);
  EXPECT_EQ(GetCapturedStderr(), "");
}

}  // namespace
}  // namespace speechnn
