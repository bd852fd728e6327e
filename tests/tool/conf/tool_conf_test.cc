#include "tool/conf/tool_conf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "speech_neural_network/front_test_support.h"

namespace tolvaren {
namespace {

using speechnn::TempDir;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class ToolConfTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("SPDLOG_STDOUT", "true", 1);
    setenv("SPDLOG_SYSTEMD", "false", 1);
    setenv("SPDLOG_LEVEL", "info", 1);
  }

  // Reads `contents` as a configuration file; returns the console output.
  std::string Read(const std::string& contents, ToolConf& conf,
                   bool& ok) const {
    const std::string path = dir_.WriteFile("tool.conf", contents);
    CaptureStdout();
    ok = ReadConfFile(path, conf);
    return GetCapturedStdout();
  }

  TempDir dir_;
};

TEST_F(ToolConfTest, ReadsKnownKeysAndLogsEveryPair) {
  ToolConf conf;
  bool ok = false;
  const std::string log = Read(
      "--wav_path=/out\n"
      "--text_path=/a=b\n"
      "--fastspeech2_model_path=am.onnx\n"
      "--hifigan_model_path=voc.onnx\n"
      "--front_conf_path=front.conf\n"
      "--extra=kept\n",
      conf, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(conf.wav_path, "/out");
  EXPECT_EQ(conf.text_path, "/a=b");  // Only the first "=" splits.
  EXPECT_EQ(conf.fastspeech2_model_path, "am.onnx");
  EXPECT_EQ(conf.hifigan_model_path, "voc.onnx");
  EXPECT_EQ(conf.front_conf_path, "front.conf");
  EXPECT_EQ(conf.entries.at("extra"), "kept");
  EXPECT_NE(log.find("[INFO] Key: text_path; Value: /a=b\n"),
            std::string::npos);
  EXPECT_NE(log.find("[INFO] Key: extra; Value: kept\n"), std::string::npos);
}

// How lines split is the shared reader's (key_value_file_test); here only
// that what configures nothing leaves the five keys present and empty.
TEST_F(ToolConfTest, KeysThatNoLineSetsAreEmpty) {
  ToolConf conf;
  bool ok = false;
  Read("wav_path=/out\n--wav_path = /x\n--no_equals_sign\n", conf, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(conf.wav_path, "");  // The key is "wav_path " with a blank.
  EXPECT_EQ(conf.entries.at("wav_path "), " /x");
  EXPECT_EQ(conf.entries.size(), 6u);
  for (const char* key : {"wav_path", "text_path", "fastspeech2_model_path",
                          "hifigan_model_path", "front_conf_path"}) {
    EXPECT_EQ(conf.entries.at(key), "") << key;
  }
}

TEST_F(ToolConfTest, LaterKeyWinsAndBothAreLogged) {
  ToolConf conf;
  bool ok = false;
  const std::string log =
      Read("--wav_path=/first\n--wav_path=/second", conf, ok);  // no final \n
  ASSERT_TRUE(ok);
  EXPECT_EQ(conf.wav_path, "/second");
  EXPECT_NE(log.find("Key: wav_path; Value: /first\n"), std::string::npos);
  EXPECT_NE(log.find("Key: wav_path; Value: /second\n"), std::string::npos);
}

TEST_F(ToolConfTest, UnreadableFileIsAnError) {
  ToolConf conf;
  CaptureStdout();
  EXPECT_FALSE(ReadConfFile(dir_.path() + "/missing.conf", conf));
  EXPECT_FALSE(ReadConfFile(dir_.path(), conf));  // a directory
  const std::string log = GetCapturedStdout();
  EXPECT_NE(log.find("[ERROR] Cannot open config file\n"), std::string::npos);
}

TEST(ToolConfValidateTest, NamesTheBadKeyAndValue) {
  ToolConf conf;
  EXPECT_TRUE(conf.Validate().ok());
  conf.inter_op_num_threads = 0;
  const absl::Status status = conf.Validate();
  EXPECT_TRUE(absl::IsInvalidArgument(status));
  EXPECT_NE(status.message().find("inter_op_num_threads is 0"),
            std::string::npos)
      << status;
}

TEST(ToolConfPathTest, EnvironmentOverridesTheInstalledPath) {
  unsetenv("TOLVAREN_TTS_CONF");
  const std::string installed = ToolConfPath();
  EXPECT_NE(installed.find("share/tolvaren_tts/resources/conf/tool.conf"),
            std::string::npos);
  setenv("TOLVAREN_TTS_CONF", "/elsewhere/tool.conf", 1);
  EXPECT_EQ(ToolConfPath(), "/elsewhere/tool.conf");
  setenv("TOLVAREN_TTS_CONF", "", 1);  // empty: as if unset
  EXPECT_EQ(ToolConfPath(), installed);
  unsetenv("TOLVAREN_TTS_CONF");
}

}  // namespace
}  // namespace tolvaren
