// The tool object end to end with small known models: start-up, the
// synthesis driver, the chunked vocoding and file mode.

#include "tool/tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"
#include "tool/chunk_file.h"

namespace tolvaren {
namespace {

using speechnn::FrontFixture;
using speechnn::TempDir;
using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

const std::string kModels = TOLVAREN_TEST_MODEL_DIR;

// The acoustic test model turns id i into a frame whose vocoded samples all
// equal i + 0.0395 (the mean of the row i + j / 1000, j = 0..79).
float SampleOf(int64_t id) { return static_cast<float>(id) + 0.0395f; }

// Pronunciations and ids small enough for the test model's table; the id of
// "uo4" lies beyond it, so 错 makes the acoustic model fail.
FrontFixture Fixture() {
  FrontFixture fixture;
  fixture.word2phone =
      "你 n i3\n好 h ao3\n你好 n i3 h ao3\n世 sh iii4\n界 j ie4\n"
      "世界 sh iii4 j ie4\n再 z ai4\n见 j ian4\n再见 z ai4 j ian4\n"
      "错 c uo4\n";
  fixture.phone2id =
      "n 1\ni2 2\ni3 3\nh 4\nao3 5\nsh 6\niii4 7\nj 8\nie4 9\nz 10\n"
      "ai4 11\nian4 12\nsp 13\nc 14\nuo4 5000\n";
  return fixture;
}

// Logs that every test captures the same way.
void QuietEnvironment() {
  setenv("SPDLOG_STDOUT", "true", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "info", 1);
}

// A configuration folder: fixture front end, test models, an output folder.
struct ToolSetup {
  TempDir dir;
  std::string out_dir;
  std::string text_path;
  std::string conf_path;

  explicit ToolSetup(const std::string& vocoder = "/vocoder.onnx",
                     const std::string& extra = "") {
    out_dir = dir.path() + "/out";
    std::filesystem::create_directory(out_dir);
    text_path = dir.path() + "/texts.txt";
    const std::string front_conf = speechnn::WriteFrontConf(dir, Fixture());
    conf_path = dir.WriteFile(
        "tool.conf", "--wav_path=" + out_dir + "\n--text_path=" + text_path +
                         "\n--fastspeech2_model_path=" + kModels +
                         "/acoustic.onnx\n--hifigan_model_path=" + kModels +
                         vocoder + "\n--front_conf_path=" + front_conf + "\n" +
                         extra);
  }
};

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
    const bool ok = tool_->Synthesize(ids, chunks);
    GetCapturedStdout();
    EXPECT_TRUE(ok);
    return chunks;
  }

  static ToolSetup* setup_;
  static Tool* tool_;
  static std::string startup_log_;
};

ToolSetup* ToolTest::setup_ = nullptr;
Tool* ToolTest::tool_ = nullptr;
std::string ToolTest::startup_log_;

// Expects `needles` to appear in `log` in this order.
void ExpectInOrder(const std::string& log,
                   const std::vector<std::string>& needles) {
  std::size_t at = 0;
  for (const std::string& needle : needles) {
    const std::size_t found = log.find(needle, at);
    ASSERT_NE(found, std::string::npos)
        << "missing or out of order: " << needle << "\n"
        << log;
    at = found + needle.size();
  }
}

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
    // Frame f carries id f % 1000, so every sample names its frame.
    std::vector<int64_t> ids(c.frames);
    for (int f = 0; f < c.frames; ++f) ids[f] = f;
    const auto chunks = Vocode(ids);
    ASSERT_EQ(chunks.size(), c.chunk_sizes.size()) << c.frames;
    std::vector<float> audio;
    for (std::size_t k = 0; k < chunks.size(); ++k) {
      EXPECT_EQ(chunks[k].size(), c.chunk_sizes[k])
          << c.frames << " chunk " << k;
      audio.insert(audio.end(), chunks[k].begin(), chunks[k].end());
    }
    // Concatenated, the chunks are exactly the frames in order.
    ASSERT_EQ(audio.size(), static_cast<std::size_t>(c.frames) * 300);
    for (int f = 0; f < c.frames; ++f) {
      EXPECT_FLOAT_EQ(audio[f * 300], SampleOf(f))
          << c.frames << " frame " << f;
      EXPECT_FLOAT_EQ(audio[f * 300 + 299], SampleOf(f));
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
  std::vector<std::vector<float>> chunks;
  CaptureStdout();
  ASSERT_TRUE(tool_->Synthesize(ids, chunks));
  const std::string log = GetCapturedStdout();
  std::size_t runs = 0;
  for (std::size_t at = log.find("do FastSpeech2 predict");
       at != std::string::npos;
       at = log.find("do FastSpeech2 predict", at + 1)) {
    ++runs;
  }
  EXPECT_EQ(runs, 3u);
  std::vector<float> audio;
  for (const auto& chunk : chunks) {
    audio.insert(audio.end(), chunk.begin(), chunk.end());
  }
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
  EXPECT_THROW(tool_->Synthesize(ids, chunks), Ort::Exception);
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
  // 你好，世界！再见: n i2 h ao3 sp sh iii4 j ie4 sp z ai4 j ian4.
  std::vector<float> samples;
  std::string error;
  ASSERT_TRUE(
      ReadChunkFile(setup_->out_dir + "/你好，世界！再见", samples, error))
      << error;
  const std::vector<int64_t> expected = {1, 2, 4,  5,  13, 6, 7,
                                         8, 9, 13, 10, 11, 8, 12};
  ASSERT_EQ(samples.size(), expected.size() * 300);
  for (std::size_t f = 0; f < expected.size(); ++f) {
    EXPECT_FLOAT_EQ(samples[f * 300], SampleOf(expected[f])) << "frame " << f;
  }
}

TEST_F(ToolTest, RefusedAndInvalidTextsWriteNothing) {
  for (const std::string& text :
       {std::string("a/b"), std::string("3.5"), std::string("<b>"),
        std::string("你好\xE4\xBD"), std::string("\xFF")}) {
    CaptureStdout();
    CaptureStderr();
    EXPECT_FALSE(tool_->predict(text));
    const std::string log = GetCapturedStdout();
    GetCapturedStderr();
    EXPECT_EQ(log.find("finished front process"), std::string::npos) << text;
  }
  EXPECT_FALSE(std::filesystem::exists(setup_->out_dir + "/a"));
}

TEST_F(ToolTest, RuntimeErrorsFailOnlyThatText) {
  CaptureStdout();
  CaptureStderr();
  EXPECT_FALSE(tool_->predict("错"));
  EXPECT_TRUE(tool_->predict("你好"));
  const std::string log = GetCapturedStdout();
  GetCapturedStderr();
  EXPECT_NE(log.find("[ERROR] ONNX Runtime error: "), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(setup_->out_dir + "/错"));
  EXPECT_TRUE(std::filesystem::exists(setup_->out_dir + "/你好"));
}

TEST_F(ToolTest, RepeatedTextOverwritesItsFile) {
  CaptureStdout();
  CaptureStderr();
  ASSERT_TRUE(tool_->predict("再见"));
  std::ofstream(setup_->out_dir + "/再见", std::ios::app) << "junk";
  ASSERT_TRUE(tool_->predict("再见"));
  GetCapturedStdout();
  GetCapturedStderr();
  std::vector<float> samples;
  std::string error;
  EXPECT_TRUE(ReadChunkFile(setup_->out_dir + "/再见", samples, error))
      << error;
}

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
  EXPECT_THROW(Tool(setup.conf_path), Ort::Exception);
  GetCapturedStderr();
  const std::string log = GetCapturedStdout();
  EXPECT_NE(
      log.find("Try to load model from " + kModels + "/missing_vocoder.onnx"),
      std::string::npos);
}

TEST(ToolStartupTest, ShortVocoderOutputIsNeverReadPastItsEnd) {
  // 200 samples a frame instead of 300: trimming clamps to what exists.
  QuietEnvironment();
  ToolSetup setup("/short_vocoder.onnx");
  CaptureStdout();
  CaptureStderr();
  Tool tool(setup.conf_path);
  std::vector<int64_t> ids(80, 1);
  std::vector<std::vector<float>> chunks;
  EXPECT_TRUE(tool.Synthesize(ids, chunks));
  GetCapturedStderr();
  GetCapturedStdout();
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].size(), 10000u);  // 50 frames x 200, all of it
  EXPECT_EQ(chunks[1].size(), 7400u);   // 4200 .. 15000, only 11600 exist
  EXPECT_EQ(chunks[2].size(), 200u);    // 22 x 200 = 4400: 4200 .. 4400
}

}  // namespace
}  // namespace tolvaren
