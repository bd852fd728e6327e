// Runs against whichever ONNX Runtime library the loader finds; the suite is
// registered once with the bundled 1.29 library and once with 1.15.1, so a
// call beyond API version 15 shows up as a failure here.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tool/fastspeech2.h"
#include "tool/hifigan.h"
#include "tool/ort_api.h"

namespace tolvaren {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

const std::string kModels = TOLVAREN_TEST_MODEL_DIR;

class OrtRunnerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("SPDLOG_STDOUT", "true", 1);
    setenv("SPDLOG_SYSTEMD", "false", 1);
    setenv("SPDLOG_LEVEL", "info", 1);
  }
};

TEST_F(OrtRunnerTest, UsesTheExpectedRuntime) {
  const char* expected = std::getenv("TOLVAREN_EXPECT_ORT_VERSION");
  if (expected == nullptr) GTEST_SKIP() << "no runtime version requested";
  EnsureOrtApi();
  EXPECT_EQ(OrtRuntimeVersion(), expected);
}

TEST_F(OrtRunnerTest, AcousticModelMapsEachIdToARow) {
  FastSpeech2Predictor predictor;
  CaptureStdout();
  predictor.loadModel(kModels + "/acoustic.onnx", 4, 4);
  std::vector<int64_t> ids = {3, 0, 1023, 7};
  Ort::Value mel{nullptr};
  predictor.predict(ids, mel);
  const std::string log = GetCapturedStdout();

  const std::vector<int64_t> shape = TensorShape(mel);
  ASSERT_EQ(shape, (std::vector<int64_t>{4, 80}));
  const float* data = mel.GetTensorMutableData<float>();
  for (int row = 0; row < 4; ++row) {
    EXPECT_FLOAT_EQ(data[row * 80], static_cast<float>(ids[row]));
    EXPECT_FLOAT_EQ(data[row * 80 + 79], ids[row] + 0.079f);
  }
  EXPECT_NE(
      log.find("[INFO] Try to load model from " + kModels + "/acoustic.onnx\n"),
      std::string::npos);
  EXPECT_NE(log.find("[INFO] Finish loading model " + kModels +
                     "/acoustic.onnx, intra/inter_op_num_threads=4/4\n"),
            std::string::npos);
  const std::size_t start =
      log.find("[INFO] do FastSpeech2 predict, current time ");
  const std::size_t finish =
      log.find("[INFO] finish FastSpeech2 predict, current time ");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(finish, std::string::npos);
  EXPECT_LT(start, finish);
}

TEST_F(OrtRunnerTest, RuntimeErrorsArriveAsOrtExceptions) {
  FastSpeech2Predictor predictor;
  CaptureStdout();
  predictor.loadModel(kModels + "/acoustic.onnx", 4, 4);
  std::vector<int64_t> ids = {1, 1024};  // Beyond the model's table.
  Ort::Value mel{nullptr};
  EXPECT_THROW(predictor.predict(ids, mel), Ort::Exception);
  GetCapturedStdout();
  EXPECT_FALSE(static_cast<bool>(mel));
}

TEST_F(OrtRunnerTest, MissingModelFailsBetweenTheTwoLoadRecords) {
  FastSpeech2Predictor predictor;
  CaptureStdout();
  bool threw = false;
  try {
    predictor.loadModel(kModels + "/no_such_model.onnx", 4, 4);
  } catch (const Ort::Exception& e) {
    threw = true;
    EXPECT_NE(std::string(e.what()), "");
  }
  const std::string log = GetCapturedStdout();
  EXPECT_TRUE(threw);
  EXPECT_NE(log.find("Try to load model from"), std::string::npos);
  EXPECT_EQ(log.find("Finish loading model"), std::string::npos);

  HifiGanPredictor vocoder;
  EXPECT_THROW(vocoder.loadModel("", 4, 4), Ort::Exception);
}

TEST_F(OrtRunnerTest, VocoderRunsOnAViewOfTheCallersRows) {
  CaptureStdout();
  {
    HifiGanPredictor vocoder;
    vocoder.loadModel(kModels + "/vocoder.onnx", 4, 4);
    // Three frames whose means are 1, 2 and 3; run rows 1..2 only.
    std::vector<float> mel(3 * 80);
    for (int row = 0; row < 3; ++row) {
      for (int bin = 0; bin < 80; ++bin) mel[row * 80 + bin] = row + 1.0f;
    }
    const int64_t shape[] = {2, 80};
    Ort::Value input = Ort::Value::CreateTensor<float>(
        vocoder.cpu_memory_info(), mel.data() + 80, 2 * 80, shape, 2);
    Ort::Value output{nullptr};
    vocoder.predict(input, output);
    ASSERT_EQ(TensorShape(output), (std::vector<int64_t>{1, 600}));
    const float* audio = output.GetTensorMutableData<float>();
    EXPECT_FLOAT_EQ(audio[0], 2.0f);
    EXPECT_FLOAT_EQ(audio[299], 2.0f);
    EXPECT_FLOAT_EQ(audio[300], 3.0f);
    // The tensor is a view: the caller's buffer is what the model read.
    EXPECT_EQ(input.GetTensorMutableData<float>(), mel.data() + 80);
  }
  const std::string log = GetCapturedStdout();
  const std::size_t constructed =
      log.find("[INFO] Construct HifiGanPredictor\n");
  const std::size_t run = log.find("[INFO] do HifiGan predict, current time ");
  const std::size_t ran =
      log.find("[INFO] finish HifiGan predict, current time ");
  const std::size_t destroyed = log.find("[INFO] Destory HifiGanPredictor\n");
  ASSERT_NE(constructed, std::string::npos);
  ASSERT_NE(destroyed, std::string::npos);
  EXPECT_LT(constructed, run);
  EXPECT_LT(run, ran);
  EXPECT_LT(ran, destroyed);
}

TEST_F(OrtRunnerTest, ModelNamesAreReadFromEachModel) {
  // The two vocoders name their tensors differently; both run unchanged.
  CaptureStdout();
  for (const char* model : {"/vocoder.onnx", "/short_vocoder.onnx"}) {
    HifiGanPredictor vocoder;
    vocoder.loadModel(kModels + model, 1, 1);
    std::vector<float> mel(80, 0.5f);
    const int64_t shape[] = {1, 80};
    Ort::Value input = Ort::Value::CreateTensor<float>(
        vocoder.cpu_memory_info(), mel.data(), mel.size(), shape, 2);
    Ort::Value output{nullptr};
    vocoder.predict(input, output);
    EXPECT_EQ(TensorShape(output)[0], 1) << model;
  }
  GetCapturedStdout();
}

TEST(PlanChunksTest, WorkedExamples) {
  struct Case {
    int32_t frames;
    std::vector<int32_t> plan;
  };
  const std::vector<Case> cases = {
      {0, {0}},
      {20, {1, 0, 20}},
      {36, {1, 0, 36}},
      {37, {2, 0, 37, 22, 37}},
      {73, {3, 0, 50, 22, 73, 58, 73}},
      {80, {3, 0, 50, 22, 80, 58, 80}},
      {108, {3, 0, 50, 22, 86, 58, 108}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlanChunks(c.frames), c.plan) << c.frames << " frames";
  }
}

}  // namespace
}  // namespace tolvaren
