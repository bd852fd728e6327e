// Tools started per case: file mode over its own text file, and the
// start-up failures and voice contracts of other configurations.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tool/tool.h"
#include "tool_test_support.h"

namespace tolvaren {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

// File mode needs its own text file per case, so its own tool.
class FileModeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { QuietEnvironment(); }

  // Runs file mode over `contents`; returns the log.
  std::string RunFileMode(const std::string& contents, bool& all_written) {
    std::ofstream(setup_.text_path, std::ios::binary) << contents;
    CaptureStdout();
    CaptureStderr();
    {
      Tool tool(setup_.conf_path);
      all_written = tool.getFileAndPredict();
    }
    GetCapturedStderr();
    return GetCapturedStdout();
  }

  std::vector<std::string> Outputs() const {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(setup_.out_dir)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ToolSetup setup_;
};

TEST_F(FileModeTest, EveryLineIsSynthesisedAndTheRunGoesOnAfterErrors) {
  bool all_written = true;
  const std::string log =
      RunFileMode("你好\n错\n再见\r\n你好\n世界", all_written);
  EXPECT_FALSE(all_written);  // 错 failed in the runtime
  // The carriage return of a CR LF line stays part of the text and of its
  // file name; it is not spoken, so that line is synthesised too.
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"世界", "你好", "再见\r"}));
  ExpectInOrder(
      log, {"[INFO] Info: getFileAndPredict \n", "[INFO] 你好\n", "[INFO] 错\n",
            "[ERROR] ONNX Runtime error: ", "[INFO] 再见\r\n",
            "[INFO] front process receive 再见\r\n", "[INFO] 你好\n",
            "[INFO] 世界\n"});
}

TEST_F(FileModeTest, EmptyFileLogsOnlyTheStart) {
  bool all_written = false;
  const std::string log = RunFileMode("", all_written);
  EXPECT_TRUE(all_written);
  const std::size_t start = log.find("[INFO] Info: getFileAndPredict \n");
  ASSERT_NE(start, std::string::npos);
  EXPECT_EQ(log.find("do predict", start), std::string::npos);
  EXPECT_TRUE(Outputs().empty());
}

TEST_F(FileModeTest, EmptyLineIsAnEmptyTextThatNamesNoFile) {
  bool all_written = true;
  const std::string log = RunFileMode("\n你好\n", all_written);
  // The empty text has no file name of its own: it counts as not written.
  EXPECT_FALSE(all_written);
  EXPECT_EQ(Outputs(), std::vector<std::string>{"你好"});
  EXPECT_NE(log.find("[INFO] front process receive \n"), std::string::npos);
}

TEST_F(FileModeTest, UnreadableTextFileIsAnError) {
  std::filesystem::remove(setup_.text_path);
  CaptureStdout();
  CaptureStderr();
  bool all_written = true;
  {
    Tool tool(setup_.conf_path);
    all_written = tool.getFileAndPredict();
  }
  GetCapturedStderr();
  const std::string log = GetCapturedStdout();
  EXPECT_FALSE(all_written);
  EXPECT_NE(log.find("[ERROR] Error: cannot open file " + setup_.text_path),
            std::string::npos);
}

TEST(ToolStartupTest, UnreadableConfigurationStopsBeforeAnyModel) {
  QuietEnvironment();
  CaptureStdout();
  CaptureStderr();
  EXPECT_THROW(Tool("/nonexistent/tool.conf"), StartupError);
  GetCapturedStderr();
  const std::string log = GetCapturedStdout();
  ExpectInOrder(log, {"[ERROR] Cannot open config file\n",
                      "[ERROR] Read front conf file failed\n"});
  EXPECT_EQ(log.find("Try to load model"), std::string::npos);
}

TEST(ToolStartupTest, BrokenFrontEndStopsBeforeAnyModel) {
  QuietEnvironment();
  ToolSetup setup("/vocoder.onnx",
                  "--front_conf_path=/nonexistent/front.conf\n");
  CaptureStdout();
  CaptureStderr();
  EXPECT_THROW(Tool(setup.conf_path), StartupError);
  const std::string err = GetCapturedStderr();
  const std::string log = GetCapturedStdout();
  EXPECT_NE(log.find("[ERROR] Creater tts engine failed!\n"),
            std::string::npos);
  EXPECT_EQ(log.find("Try to load model"), std::string::npos);
  EXPECT_NE(err.find("Cannot open config file: /nonexistent/front.conf"),
            std::string::npos);
}

TEST(ToolStartupTest, MissingModelRaisesTheRuntimeError) {
  QuietEnvironment();
  ToolSetup setup("/missing_vocoder.onnx");
  CaptureStdout();
  CaptureStderr();
  bool runtime_error = false;
  try {
    Tool tool(setup.conf_path);
  } catch (const StartupError& e) {
    runtime_error = IsRuntimeError(e.status());
  }
  GetCapturedStderr();
  const std::string log = GetCapturedStdout();
  EXPECT_TRUE(runtime_error);
  EXPECT_NE(
      log.find("Try to load model from " + kModels + "/missing_vocoder.onnx"),
      std::string::npos);
}

// The samples kept of each chunk follow the voice: 300 a frame unless the
// vocoder declares otherwise, never more than the vocoder gave.
TEST(ToolStartupTest, TrimmingFollowsTheDeclaredHop) {
  QuietEnvironment();
  struct Case {
    const char* vocoder;
    std::vector<std::size_t> chunk_sizes;
  };
  const std::vector<Case> cases = {
      // 200 samples a frame, none declared: 50 x 200 all of it, then
      // 4200 .. 15000 of 11600, and 22 x 200 = 4400: 4200 .. 4400.
      {"/short_vocoder.onnx", {10000, 7400, 200}},
      // The same model declaring its 200: exactly 36 frames a chunk.
      {"/hop200_vocoder.onnx", {7200, 7200, 1600}},
  };
  for (const Case& c : cases) {
    ToolSetup setup(c.vocoder);
    CaptureStdout();
    CaptureStderr();
    std::vector<std::vector<float>> chunks;
    {
      Tool tool(setup.conf_path);
      std::vector<int64_t> ids(80, 1);
      EXPECT_TRUE(tool.Synthesize(ids, chunks).ok()) << c.vocoder;
    }
    GetCapturedStderr();
    GetCapturedStdout();
    ASSERT_EQ(chunks.size(), c.chunk_sizes.size()) << c.vocoder;
    for (std::size_t k = 0; k < chunks.size(); ++k) {
      EXPECT_EQ(chunks[k].size(), c.chunk_sizes[k]) << c.vocoder << " " << k;
    }
  }
}

TEST(ToolStartupTest, InvalidVoiceMetadataStopsStartUp) {
  QuietEnvironment();
  ToolSetup setup("/bad_voice_vocoder.onnx");
  CaptureStdout();
  CaptureStderr();
  std::string message;
  try {
    Tool tool(setup.conf_path);
  } catch (const StartupError& e) {
    message = e.what();
  }
  GetCapturedStderr();
  const std::string log = GetCapturedStdout();
  EXPECT_NE(message.find(kModels + "/bad_voice_vocoder.onnx"),
            std::string::npos)
      << message;
  EXPECT_NE(message.find("hop_samples"), std::string::npos) << message;
  EXPECT_NE(log.find("[ERROR] " + message + "\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace tolvaren
