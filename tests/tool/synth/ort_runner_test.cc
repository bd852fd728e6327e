// Runs against whichever ONNX Runtime library the loader finds; the suite is
// registered once with the bundled 1.29 library and once with 1.15.1, so a
// call beyond API version 15 shows up as a failure here.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tool/synth/acoustic_model.h"
#include "tool/synth/chunk_plan.h"
#include "tool/synth/ort_session.h"
#include "tool/synth/vocoder.h"
#include "tool/synth/voice_config.h"

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
  ASSERT_TRUE(EnsureOrtApi().ok());
  EXPECT_EQ(OrtRuntimeVersion(), expected);
}

TEST_F(OrtRunnerTest, AcousticModelMapsEachIdToARow) {
  FastSpeech2Predictor predictor;
  CaptureStdout();
  ASSERT_TRUE(
      predictor.loadModel(kModels + "/acoustic.onnx", SessionThreads{}).ok());
  std::vector<int64_t> ids = {3, 0, 1023, 7};
  Ort::Value mel{nullptr};
  ASSERT_TRUE(predictor.predict(ids.data(), ids.size(), mel).ok());
  const std::string log = GetCapturedStdout();

  const std::vector<int64_t> shape = TensorShape(mel);
  ASSERT_EQ(shape, (std::vector<int64_t>{4, 80}));
  const float* data = mel.GetTensorMutableData<float>();
  for (int row = 0; row < 4; ++row) {
    EXPECT_FLOAT_EQ(data[row * 80], static_cast<float>(ids[row]));
    EXPECT_FLOAT_EQ(data[row * 80 + 79], ids[row] + 0.079f);
  }
  const std::size_t start =
      log.find("[INFO] do FastSpeech2 predict, current time ");
  const std::size_t finish =
      log.find("[INFO] finish FastSpeech2 predict, current time ");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(finish, std::string::npos);
  EXPECT_LT(start, finish);
}

TEST_F(OrtRunnerTest, RuntimeErrorsArriveAsRuntimeErrorStatuses) {
  FastSpeech2Predictor predictor;
  CaptureStdout();
  ASSERT_TRUE(
      predictor.loadModel(kModels + "/acoustic.onnx", SessionThreads{}).ok());
  std::vector<int64_t> ids = {1, 1024};  // Beyond the model's table.
  Ort::Value mel{nullptr};
  const absl::Status run = predictor.predict(ids.data(), ids.size(), mel);
  GetCapturedStdout();
  EXPECT_TRUE(IsRuntimeError(run)) << run;
  EXPECT_FALSE(static_cast<bool>(mel));
}

TEST_F(OrtRunnerTest, MissingModelFailsBetweenTheTwoLoadRecords) {
  FastSpeech2Predictor predictor;
  CaptureStdout();
  const absl::Status loaded =
      predictor.loadModel(kModels + "/no_such_model.onnx", SessionThreads{});
  const std::string log = GetCapturedStdout();
  EXPECT_TRUE(IsRuntimeError(loaded)) << loaded;
  EXPECT_NE(loaded.message(), "");
  EXPECT_NE(log.find("Try to load model from"), std::string::npos);
  EXPECT_EQ(log.find("Finish loading model"), std::string::npos);
  EXPECT_EQ(predictor.session(), nullptr);

  HifiGanPredictor vocoder;
  EXPECT_TRUE(IsRuntimeError(vocoder.loadModel("", SessionThreads{})));
}

TEST_F(OrtRunnerTest, VocoderRunsOnAViewOfTheCallersRows) {
  CaptureStdout();
  {
    HifiGanPredictor vocoder;
    ASSERT_TRUE(
        vocoder.loadModel(kModels + "/vocoder.onnx", SessionThreads{}).ok());
    // Three frames whose means are 1, 2 and 3 (samples of 1, 2 and 3 at
    // the test vocoder's level of 1/2048); run rows 1..2 only.
    std::vector<float> mel(3 * 80);
    for (int row = 0; row < 3; ++row) {
      for (int bin = 0; bin < 80; ++bin) mel[row * 80 + bin] = row + 1.0f;
    }
    const int64_t shape[] = {2, 80};
    Ort::Value input = Ort::Value::CreateTensor<float>(
        vocoder.cpu_memory_info(), mel.data() + 80, 2 * 80, shape, 2);
    // The tensor is a view: the caller's buffer is what the model reads.
    ASSERT_EQ(input.GetTensorMutableData<float>(), mel.data() + 80);
    Ort::Value output{nullptr};
    ASSERT_TRUE(vocoder.predict(std::move(input), output).ok());
    ASSERT_EQ(TensorShape(output), (std::vector<int64_t>{1, 600}));
    const float* audio = output.GetTensorMutableData<float>();
    EXPECT_FLOAT_EQ(audio[0], 2.0f / 2048);
    EXPECT_FLOAT_EQ(audio[299], 2.0f / 2048);
    EXPECT_FLOAT_EQ(audio[300], 3.0f / 2048);
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

// Optional inputs reach the models by name: the duration scale multiplies
// what the acoustic model gives (only a model with the input takes a scale
// other than 1), and a vocoder that carries its phase is handed, at every
// join, the phase the chunk before reached there, so its phase grows on
// through the whole utterance as in one run.
TEST_F(OrtRunnerTest, OptionalInputsReachTheModels) {
  CaptureStdout();
  FastSpeech2Predictor scaled;
  ASSERT_TRUE(scaled.loadModel(kModels + "/scaled_acoustic.onnx", {}).ok());
  FastSpeech2Predictor plain;
  ASSERT_TRUE(plain.loadModel(kModels + "/acoustic.onnx", {}).ok());
  EXPECT_TRUE(scaled.HasDurationScale());
  EXPECT_FALSE(plain.HasDurationScale());
  std::vector<int64_t> ids = {3, 5};
  for (const float scale : {1.0f, 0.5f}) {
    absl::StatusOr<MelSpectrogram> mel =
        scaled.PredictMel(ids, -1, std::nullopt, scale);
    ASSERT_TRUE(mel.ok()) << mel.status();
    EXPECT_FLOAT_EQ(mel->rows()[0], 3.0f * scale);
    EXPECT_FLOAT_EQ(mel->rows()[80], 5.0f * scale);
  }
  EXPECT_TRUE(plain.PredictMel(ids, -1, std::nullopt, 1.0f).ok());
  EXPECT_TRUE(absl::IsInvalidArgument(
      plain.PredictMel(ids, -1, std::nullopt, 0.5f).status()));

  HifiGanPredictor carrying;
  ASSERT_TRUE(carrying.loadModel(kModels + "/phase_vocoder.onnx", {}).ok());
  HifiGanPredictor restarting;
  ASSERT_TRUE(restarting.loadModel(kModels + "/vocoder.onnx", {}).ok());
  EXPECT_TRUE(carrying.CarriesPhase());
  EXPECT_FALSE(restarting.CarriesPhase());
  std::vector<int64_t> many(100, 7);
  absl::StatusOr<MelSpectrogram> mel =
      plain.PredictMel(many, -1, std::nullopt, 1.0f);
  ASSERT_TRUE(mel.ok());
  const ChunkPlan plan = ChunkPlan::ForFrames(100);
  std::vector<std::vector<float>> chunks;
  ASSERT_TRUE(carrying.Vocode(*mel, plan, 300, chunks).ok());
  GetCapturedStdout();
  ASSERT_EQ(chunks.size(), 3u);
  // Every sample is the phase its chunk was given: the first chunk keeps
  // the model's default (0), each later one the phase its predecessor
  // reached at their join, frame 36 k: 0.01 a frame since frame -2.
  for (std::size_t k = 0; k < chunks.size(); ++k) {
    const float given = k == 0 ? 0.0f : 0.01f * (36 * k + 2);
    ASSERT_FALSE(chunks[k].empty());
    EXPECT_NEAR(chunks[k].front(), given, 1e-5) << k;
    EXPECT_NEAR(chunks[k].back(), given, 1e-5) << k;
  }
}

// The session as the predictors see it: every name in the model's order
// (models are addressed by position, whatever they call their tensors),
// every output back, the input count checked before the runtime sees it;
// and the voice each model declares, the fallback for keys it does not.
TEST_F(OrtRunnerTest, SessionsReadNamesAndVoiceFromEachModel) {
  ASSERT_TRUE(EnsureOrtApi().ok());
  const Ort::Env env = MakeEnv();
  const Ort::MemoryInfo memory = MakeCpuMemoryInfo();
  struct Case {
    const char* model;
    const char* input;
    const char* output;
    int32_t hop_samples;
    bool declared;
  };
  const Case cases[] = {
      {"/vocoder.onnx", "spectrogram", "waveform", 300, true},
      {"/short_vocoder.onnx", "mel_chunk", "audio", 300, false},
      {"/hop200_vocoder.onnx", "mel_chunk", "audio", 200, true}};
  // Spinning off as the shipped configuration has it: both runtimes take
  // the two session entries.
  const SessionThreads threads{1, 1, false};
  for (const Case& c : cases) {
    absl::StatusOr<OrtSession> session =
        OrtSession::Load(env, kModels + c.model, threads);
    ASSERT_TRUE(session.ok()) << session.status();
    EXPECT_EQ(session->input_names(), std::vector<std::string>{c.input});
    EXPECT_EQ(session->output_names(), std::vector<std::string>{c.output});
    VoiceConfig voice;
    ASSERT_TRUE(ApplyVoiceMetadata(*session, c.model, voice).ok()) << c.model;
    EXPECT_EQ(voice.hop_samples, c.hop_samples) << c.model;
    EXPECT_EQ(voice.hop_samples_declared, c.declared) << c.model;
    EXPECT_EQ(voice.sample_rate, 24000) << c.model;
    EXPECT_EQ(voice.mel_bins, 80) << c.model;
    // A model must not contradict what the other declared.
    VoiceConfig contradicted;
    contradicted.hop_samples = 250;
    contradicted.hop_samples_declared = true;
    EXPECT_EQ(ApplyVoiceMetadata(*session, c.model, contradicted).ok(),
              !c.declared)
        << c.model;

    std::vector<float> mel(80, 0.5f);
    const int64_t shape[] = {1, 80};
    std::vector<Ort::Value> inputs;
    inputs.push_back(Ort::Value::CreateTensor<float>(memory, mel.data(),
                                                     mel.size(), shape, 2));
    absl::StatusOr<std::vector<Ort::Value>> outputs = session->Run(inputs);
    ASSERT_TRUE(outputs.ok()) << outputs.status();
    ASSERT_EQ(outputs->size(), 1u);
    EXPECT_EQ(TensorShape(outputs->front())[0], 1) << c.model;
    inputs.emplace_back(nullptr);
    EXPECT_TRUE(absl::IsFailedPrecondition(session->Run(inputs).status()));
  }
}

}  // namespace
}  // namespace tolvaren

namespace tolvaren {
namespace {

std::vector<float> RunVocoder(OrtSession& session,
                              const Ort::MemoryInfo& memory) {
  std::vector<float> mel(2 * 80);
  for (std::size_t i = 0; i < mel.size(); ++i) mel[i] = 0.01f * i;
  const int64_t shape[] = {2, 80};
  std::vector<Ort::Value> inputs;
  inputs.push_back(Ort::Value::CreateTensor<float>(memory, mel.data(),
                                                   mel.size(), shape, 2));
  absl::StatusOr<std::vector<Ort::Value>> outputs = session.Run(inputs);
  if (!outputs.ok()) return {};
  const float* audio = (*outputs)[0].GetTensorMutableData<float>();
  return std::vector<float>(audio, audio + 600);
}

// The first load saves the pre-optimised copy, the second runs from it with
// the same results, whatever later happens to the file; a damaged copy is
// made again, never loaded; a cache that
// cannot be written leaves the plain load; the entry's name changes with
// each fact the optimised graph depends on.
TEST(ModelCacheTest, CopiesAreMadeOnceReusedAndNeverServedStaleOrTorn) {
  ASSERT_TRUE(EnsureOrtApi().ok());
  const Ort::Env env = MakeEnv();
  const Ort::MemoryInfo memory = MakeCpuMemoryInfo();
  char folder_template[] = "/tmp/model_cache_test.XXXXXX";
  ASSERT_NE(mkdtemp(folder_template), nullptr);
  const std::string folder = std::string(folder_template) + "/nested";
  SessionThreads threads{1, 1, false, folder};
  const std::string model = kModels + "/vocoder.onnx";

  absl::StatusOr<OrtSession> first = OrtSession::Load(env, model, threads);
  ASSERT_TRUE(first.ok()) << first.status();
  EXPECT_FALSE(first->from_cache());
  absl::StatusOr<OrtSession> second = OrtSession::Load(env, model, threads);
  ASSERT_TRUE(second.ok()) << second.status();
  EXPECT_TRUE(second->from_cache());
  EXPECT_EQ(second->output_names(), std::vector<std::string>{"waveform"});
  const std::vector<float> expected = RunVocoder(*first, memory);
  ASSERT_EQ(expected.size(), 600u);

  // Exactly one entry, no temporary left; zeroed in place under the session
  // running from it, it changes nothing there and is not served again.
  std::vector<std::string> entries;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    entries.push_back(item.path().string());
  }
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].substr(entries[0].size() - 4), ".ort");
  {
    const auto size = std::filesystem::file_size(entries[0]);
    std::fstream entry(entries[0],
                       std::ios::in | std::ios::out | std::ios::binary);
    entry << std::string(size, '\0');
  }
  EXPECT_EQ(RunVocoder(*second, memory), expected);
  absl::StatusOr<OrtSession> repaired = OrtSession::Load(env, model, threads);
  ASSERT_TRUE(repaired.ok());
  EXPECT_FALSE(repaired->from_cache());
  absl::StatusOr<OrtSession> again = OrtSession::Load(env, model, threads);
  ASSERT_TRUE(again.ok());
  EXPECT_TRUE(again->from_cache());
  EXPECT_EQ(RunVocoder(*again, memory), expected);

  // A plain file where the folder should be: the model still loads.
  const std::string blocked = std::string(folder_template) + "/file";
  std::ofstream(blocked) << "x";
  threads.model_cache_folder = blocked + "/cache";
  absl::StatusOr<OrtSession> uncached = OrtSession::Load(env, model, threads);
  ASSERT_TRUE(uncached.ok());
  EXPECT_FALSE(uncached->from_cache());
  std::filesystem::remove_all(folder_template);

  const std::string base = CacheEntryName("/m/voice.onnx", 1, "1.29.0", 7);
  EXPECT_EQ(base.rfind("voice-", 0), 0u) << base;
  for (const std::string& other :
       {CacheEntryName("/m/voice.onnx", 2, "1.29.0", 7),
        CacheEntryName("/m/voice.onnx", 1, "1.15.1", 7),
        CacheEntryName("/m/voice.onnx", 1, "1.29.0", 8)}) {
    EXPECT_NE(other, base);
  }
  const std::string bytes = "the same bytes";
  std::string changed = bytes;
  changed.back() = 'T';
  EXPECT_NE(ContentChecksum(bytes.data(), bytes.size()),
            ContentChecksum(changed.data(), changed.size()));
}

}  // namespace
}  // namespace tolvaren
