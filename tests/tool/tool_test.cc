// One tool, started once for the whole process, end to end with small known
// models: the start-up records, the synthesis driver and the chunked
// vocoding.

#include "tool/tool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tool/io/chunk_file.h"
#include "tool_test_support.h"

namespace tolvaren {
namespace {

class ToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    QuietEnvironment();
    setup_ = new ToolSetup();
    CaptureStdout();
    CaptureStderr();
    tool_ = new Tool(setup_->conf_path);
    startup_log_ = GetCapturedStdout();
    GetCapturedStderr();
  }
  static void TearDownTestSuite() {
    CaptureStdout();
    delete tool_;
    GetCapturedStdout();
    delete setup_;
  }

  // Runs `ids` through the models and returns the kept samples per chunk.
  static std::vector<std::vector<float>> Vocode(std::vector<int64_t> ids) {
    std::vector<std::vector<float>> chunks;
    CaptureStdout();
    const absl::Status status = tool_->Synthesize(ids, chunks);
    GetCapturedStdout();
    EXPECT_TRUE(status.ok()) << status;
    return chunks;
  }

  static ToolSetup* setup_;
  static Tool* tool_;
  static std::string startup_log_;
};

ToolSetup* ToolTest::setup_ = nullptr;
Tool* ToolTest::tool_ = nullptr;
std::string ToolTest::startup_log_;

TEST_F(ToolTest, StartupLogsTheSequenceInOrder) {
  ExpectInOrder(
      startup_log_,
      {"[INFO] Construct HifiGanPredictor\n",
       "[INFO] Key: wav_path; Value: " + setup_->out_dir + "\n",
       "[INFO] Key: front_conf_path; Value: ", "[INFO] Info: front_conf is ",
       "[INFO] Info: intra_op_num_threads is 4\n",
       "[INFO] Info: inter_op_num_threads is 4\n",
       "[INFO] Info: fastspeech2_model_path is " + kModels + "/acoustic.onnx\n",
       "[INFO] Info: hifigan_model_path is " + kModels + "/vocoder.onnx\n",
       "[INFO] Try to load model from " + kModels + "/acoustic.onnx\n",
       "[INFO] Finish loading model " + kModels +
           "/acoustic.onnx, intra/inter_op_num_threads=4/4\n",
       "[INFO] Try to load model from " + kModels + "/vocoder.onnx\n",
       "[INFO] Finish loading model " + kModels +
           "/vocoder.onnx, intra/inter_op_num_threads=4/4\n"});
}

TEST_F(ToolTest, ChunksKeepTheirOwnFrames) {
  struct Case {
    int frames;
    std::vector<std::size_t> chunk_sizes;
  };
  const std::vector<Case> cases = {
      {0, {}},
      {20, {6000}},
      {36, {10800}},
      {37, {10800, 300}},
      {73, {10800, 10800, 300}},
      {80, {10800, 10800, 2400}},
  };
  for (const Case& c : cases) {
    // Frame f carries id f, so every sample names its frame; the last is
    // the pause (13) the engine would otherwise append.
    std::vector<int64_t> ids(c.frames);
    for (int f = 0; f < c.frames; ++f) ids[f] = f;
    if (!ids.empty()) ids.back() = 13;
    const auto chunks = Vocode(ids);
    ASSERT_EQ(chunks.size(), c.chunk_sizes.size()) << c.frames;
    for (std::size_t k = 0; k < chunks.size(); ++k) {
      EXPECT_EQ(chunks[k].size(), c.chunk_sizes[k])
          << c.frames << " chunk " << k;
    }
    const std::vector<float> audio = Concatenated(chunks);
    // Concatenated, the chunks are exactly the frames in order.
    ASSERT_EQ(audio.size(), static_cast<std::size_t>(c.frames) * 300);
    for (int f = 0; f < c.frames; ++f) {
      EXPECT_FLOAT_EQ(audio[f * 300], SampleOf(ids[f]))
          << c.frames << " frame " << f;
      EXPECT_FLOAT_EQ(audio[f * 300 + 299], SampleOf(ids[f]));
    }
  }
}

TEST_F(ToolTest, LongSequencesRunInPiecesAndKeepEveryFrameInOrder) {
  // 700 ids, pauses (the fixture's sp) at 199 and 450: the acoustic model
  // runs over [0, 200), [200, 451) and [451, 700).
  ASSERT_EQ(tool_->pause_id(), 13);
  std::vector<int64_t> ids(700);
  for (std::size_t k = 0; k < ids.size(); ++k) ids[k] = 100 + k % 900;
  ids[199] = 13;
  ids[450] = 13;
  ids[699] = 13;
  std::vector<std::vector<float>> chunks;
  CaptureStdout();
  ASSERT_TRUE(tool_->Synthesize(ids, chunks).ok());
  const std::string log = GetCapturedStdout();
  std::size_t runs = 0;
  for (std::size_t at = log.find("do FastSpeech2 predict");
       at != std::string::npos;
       at = log.find("do FastSpeech2 predict", at + 1)) {
    ++runs;
  }
  EXPECT_EQ(runs, 3u);
  const std::vector<float> audio = Concatenated(chunks);
  ASSERT_EQ(audio.size(), ids.size() * 300);
  for (std::size_t f = 0; f < ids.size(); ++f) {
    ASSERT_FLOAT_EQ(audio[f * 300], SampleOf(ids[f])) << "frame " << f;
    ASSERT_FLOAT_EQ(audio[f * 300 + 299], SampleOf(ids[f])) << "frame " << f;
  }
}

TEST_F(ToolTest, RuntimeErrorInOnePieceFailsTheWholeText) {
  // The last piece holds an id beyond the test model's table.
  std::vector<int64_t> ids(600, 1);
  ids.back() = 5000;
  std::vector<std::vector<float>> chunks;
  CaptureStdout();
  EXPECT_TRUE(IsRuntimeError(tool_->Synthesize(ids, chunks)));
  GetCapturedStdout();
  EXPECT_TRUE(chunks.empty());
}

TEST_F(ToolTest, OneSynthesisLogsEveryStageInOrder) {
  CaptureStdout();
  CaptureStderr();
  const bool written = tool_->predict("你好，世界！再见");
  const std::string log = GetCapturedStdout();
  GetCapturedStderr();
  ASSERT_TRUE(written) << log;
  ExpectInOrder(log, {"[INFO] do predict \n",
                      "[INFO] front process receive 你好，世界！再见\n",
                      "[INFO] finished front process\n",
                      "[INFO] do am predictor, current time ",
                      "[INFO] do FastSpeech2 predict, current time ",
                      "[INFO] finish FastSpeech2 predict, current time ",
                      "[INFO] finish am predictor, current time ",
                      "[INFO] do voc predictor, current time ",
                      "[INFO] do HifiGan batchInput, current time ",
                      "[INFO] do HifiGan batchInput, current time ",
                      "[INFO] finish voc predictor, current time ",
                      "[INFO] voc chunk 0, from 0 to ",
                      "[INFO] do HifiGan predict, current time ",
                      "[INFO] finish HifiGan predict, current time ",
                      "[INFO] do predict finish\n"});
  // 你好，世界！再见: n i2 h ao3 sp sh iii4 j ie4 sp z ai4 j ian4, and the
  // pause that ends every utterance.
  const absl::StatusOr<std::vector<float>> samples =
      ReadChunkFile(setup_->out_dir + "/你好，世界！再见");
  ASSERT_TRUE(samples.ok()) << samples.status();
  const std::vector<int64_t> expected = {1, 2,  4,  5,  13, 6,  7, 8,
                                         9, 13, 10, 11, 8,  12, 13};
  ASSERT_EQ(samples->size(), expected.size() * 300);
  for (std::size_t f = 0; f < expected.size(); ++f) {
    EXPECT_FLOAT_EQ((*samples)[f * 300], SampleOf(expected[f]))
        << "frame " << f;
  }
}

// A name too long for the file system is refused before any work on the
// text; control characters reach the log escaped but the file name as they
// are.
TEST_F(ToolTest, OutputNamesAreCheckedFirstAndTextsLoggedEscaped) {
  CaptureStdout();
  CaptureStderr();
  std::string long_text;
  for (int i = 0; i < 86; ++i) long_text += "你";  // 258 bytes
  EXPECT_FALSE(tool_->predict(long_text));
  const std::string long_log = GetCapturedStdout();
  CaptureStdout();
  const std::string forged = "再见\x1b[2J\n  1 [INFO] forged";
  EXPECT_TRUE(tool_->predict(forged));
  const std::string forged_log = GetCapturedStdout();
  GetCapturedStderr();
  ExpectInOrder(long_log, {"[INFO] do predict \n",
                           "[ERROR] 无法打开文件：" + setup_->out_dir + "/",
                           "the file name is 258 bytes long"});
  EXPECT_EQ(long_log.find("front process receive"), std::string::npos);
  EXPECT_NE(forged_log.find("[INFO] front process receive "
                            "再见\\x1b[2J\\n  1 [INFO] forged\n"),
            std::string::npos)
      << forged_log;
  EXPECT_EQ(forged_log.find('\x1b'), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(setup_->out_dir + "/" + forged));
}

TEST_F(ToolTest, RepeatedTextOverwritesItsFile) {
  CaptureStdout();
  CaptureStderr();
  ASSERT_TRUE(tool_->predict("再见"));
  std::ofstream(setup_->out_dir + "/再见", std::ios::app) << "junk";
  ASSERT_TRUE(tool_->predict("再见"));
  GetCapturedStdout();
  GetCapturedStderr();
  EXPECT_TRUE(ReadChunkFile(setup_->out_dir + "/再见").ok());
}

TEST(SaveWavBufferToFileTest, LogsWhyAFileWasNotWritten) {
  QuietEnvironment();
  struct Case {
    std::string path;
    std::string record;
  };
  std::vector<Case> cases = {
      {"/nonexistent/dir/file",
       "[ERROR] 无法打开文件：/nonexistent/dir/file\n"},
  };
  // Pipes and devices are refused before anything is written.
  if (std::filesystem::exists("/dev/full")) {
    cases.push_back(
        {"/dev/full", "[ERROR] /dev/full is not a regular file: refused\n"});
  }
  for (const Case& c : cases) {
    CaptureStdout();
    EXPECT_FALSE(saveWavBufferToFile(c.path, {{1.0f}}));
    EXPECT_NE(GetCapturedStdout().find(c.record), std::string::npos) << c.path;
  }
}

}  // namespace
}  // namespace tolvaren
