// The executable's modes and exit statuses, run as a child process.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "speech_neural_network/front_test_support.h"

namespace {

using speechnn::FrontFixture;
using speechnn::TempDir;

const std::string kModels = TOLVAREN_TEST_MODEL_DIR;
const std::string kTool = TOLVAREN_TTS_BINARY;

using Result = speechnn::CommandResult;

// Runs the tool with `args` (already shell-quoted) under `conf`.
Result RunTool(const std::string& conf, const std::string& args,
               const std::string& environment = "") {
  const std::string command = environment + "TOLVAREN_TTS_CONF='" + conf +
                              "' SPDLOG_STDOUT=true SPDLOG_SYSTEMD=false "
                              "SPDLOG_LEVEL=info '" +
                              kTool + "' " + args + " 2>&1";
  return speechnn::RunCommand(command);
}

class MainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out_dir_ = dir_.path() + "/out";
    std::filesystem::create_directory(out_dir_);
    FrontFixture fixture;
    fixture.word2phone = "你 n i3\n好 h ao3\n你好 n i3 h ao3\n错 c uo4\n";
    fixture.phone2id = "n 1\ni2 2\ni3 3\nh 4\nao3 5\nsp 6\nc 7\nuo4 5000\n";
    front_conf_ = speechnn::WriteFrontConf(dir_, fixture);
    WriteConf("/acoustic.onnx");
  }

  void WriteConf(const std::string& acoustic) {
    conf_ = dir_.WriteFile(
        "tool.conf", "--wav_path=" + out_dir_ + "\n--text_path=" + dir_.path() +
                         "/texts.txt\n--fastspeech2_model_path=" + kModels +
                         acoustic + "\n--hifigan_model_path=" + kModels +
                         "/vocoder.onnx\n--front_conf_path=" + front_conf_ +
                         "\n");
  }

  TempDir dir_;
  std::string out_dir_;
  std::string front_conf_;
  std::string conf_;
};

TEST_F(MainTest, HelpAndVersionLoadNothing) {
  for (const char* flag : {"--help", "-h"}) {
    const Result result = RunTool("/nonexistent.conf", flag);
    EXPECT_EQ(result.status, 0) << flag;
    EXPECT_NE(result.out.find("Usage: tolvaren_tts"), std::string::npos);
    EXPECT_NE(result.out.find("TOLVAREN_TTS_CONF"), std::string::npos);
    EXPECT_NE(result.out.find("SPDLOG_LEVEL"), std::string::npos);
    EXPECT_EQ(result.out.find("Key:"), std::string::npos);
  }
  EXPECT_EQ(RunTool("/nonexistent.conf", "--version").status, 0);
}

TEST_F(MainTest, ThreeOrMoreArgumentsOnlyStartUp) {
  const Result result = RunTool(conf_, "a b c", "HOME='" + dir_.path() + "' ");
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_NE(
      result.out.find("Finish loading model " + kModels + "/vocoder.onnx"),
      std::string::npos);
  EXPECT_EQ(result.out.find("do predict"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(out_dir_));
  // Only the front end is left to the operating system at exit.
  EXPECT_NE(result.out.find("[INFO] Destory HifiGanPredictor\n"),
            std::string::npos)
      << result.out;
  // The runtime keeps no usage database in the user's home.
  EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/.cache/Microsoft"));
}

TEST_F(MainTest, StartupFailuresExitWithOne) {
  Result result = RunTool(dir_.path() + "/missing.conf", "x y z");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("[ERROR] Cannot open config file"),
            std::string::npos);
  EXPECT_NE(result.out.find("[ERROR] Read front conf file failed"),
            std::string::npos);

  WriteConf("/missing_model.onnx");
  result = RunTool(conf_, "你好");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("tolvaren_tts: ONNX Runtime error: "),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("[ERROR] ONNX Runtime error: "), std::string::npos);

  std::ofstream(conf_, std::ios::app) << "--intra_op_num_threads=-2\n";
  result = RunTool(conf_, "x y z");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("tolvaren_tts: " + conf_ +
                            ": intra_op_num_threads is -2, a "
                            "whole number from 0 to 1024 is needed\n"),
            std::string::npos)
      << result.out;
}

TEST_F(MainTest, OneTextExitsWithTwoWhenNoFileWasWritten) {
  EXPECT_EQ(RunTool(conf_, "'你好'").status, 0);
  EXPECT_TRUE(std::filesystem::exists(out_dir_ + "/你好"));
  EXPECT_EQ(RunTool(conf_, "'a/b'").status, 2);          // refused
  EXPECT_EQ(RunTool(conf_, "'错'").status, 2);           // runtime error
  EXPECT_EQ(RunTool(conf_, "$'\\xff\\xfe'").status, 2);  // not UTF-8
  // Characters without a reading are dropped: the text is still written.
  EXPECT_EQ(RunTool(conf_, "'未知'").status, 0);
  EXPECT_TRUE(std::filesystem::exists(out_dir_ + "/未知"));
}

// Without the console log, a text that was not written still says why on
// standard error, in one line.
TEST_F(MainTest, NotWrittenIsSaidOnStandardErrorWithoutTheConsole) {
  const std::string command = "TOLVAREN_TTS_CONF='" + conf_ +
                              "' SPDLOG_STDOUT=false SPDLOG_SYSTEMD=false "
                              "SPDLOG_LEVEL=critical '" +
                              kTool + "' 'a/b' 2>&1 >/dev/null";
  const Result result = speechnn::RunCommand(command);
  EXPECT_EQ(result.status, 2);
  // One whole line among the front end's own (and a sanitizer's report).
  EXPECT_NE(
      result.out.find("\ntolvaren_tts: the text was not written: text contains "
                      "special characters a/b\n"),
      std::string::npos)
      << result.out;
}

TEST_F(MainTest, FileModeExitsWithTwoWhenAnyLineFailed) {
  std::ofstream(dir_.path() + "/texts.txt") << "你好\n好\n";
  EXPECT_EQ(RunTool(conf_, "").status, 0);
  std::ofstream(dir_.path() + "/texts.txt") << "你好\n错\n好\n";
  const Result result = RunTool(conf_, "");
  EXPECT_EQ(result.status, 2);
  // The line after the failing one was still synthesised.
  EXPECT_NE(result.out.find("[INFO] 好\n"), std::string::npos);
  std::filesystem::remove(dir_.path() + "/texts.txt");
  EXPECT_EQ(RunTool(conf_, "").status, 2);
}

// Mistyped lines in either file are named on standard error with their
// line, and no output folder means the current one, never the root.
TEST_F(MainTest, ConfigurationMistakesAreShownAndNoFolderIsTheCurrentOne) {
  std::ofstream(front_conf_, std::ios::app) << "--jieba_dcit_path=/x\n";
  conf_ = dir_.WriteFile("tool.conf",
                         "--wav_path = " + out_dir_ +
                             "\n--fastspeech2_model_path=" + kModels +
                             "/acoustic.onnx\n--hifigan_model_path=" + kModels +
                             "/vocoder.onnx\n--front_conf_path=" + front_conf_ +
                             "\n--intra_op_threads=2\n--wav_path\n");
  const Result result = speechnn::RunCommand(
      "cd '" + dir_.path() + "' && TOLVAREN_TTS_CONF='" + conf_ +
      "' SPDLOG_STDOUT=false SPDLOG_SYSTEMD=false '" + kTool +
      "' 你好 2>&1 >/dev/null");
  EXPECT_EQ(result.status, 0) << result.out;
  for (const std::string& line :
       {"tolvaren_tts: configuration " + conf_ +
            " line 1: the key \"wav_path \" has blanks around it",
        "tolvaren_tts: configuration " + conf_ +
            " line 5: unknown key \"intra_op_threads\"",
        "tolvaren_tts: configuration " + conf_ + " line 6: no '=' in",
        "tolvaren_tts: configuration " + front_conf_ + " line "}) {
    EXPECT_NE(result.out.find(line), std::string::npos) << line << result.out;
  }
  EXPECT_NE(result.out.find("unknown key \"jieba_dcit_path\""),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_.path() + "/你好"));
  EXPECT_TRUE(std::filesystem::is_empty(out_dir_));
}

}  // namespace
