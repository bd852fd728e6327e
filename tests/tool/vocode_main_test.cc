// tolvaren_tts_vocode run as a child process on the test vocoders, whose
// samples of frame t all equal the mean of mel row t.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"

namespace {

const std::string kModels = TOLVAREN_TEST_MODEL_DIR;
const std::string kVocode = TOLVAREN_VOCODE_BINARY;

// `frames` rows of 80 values, row t all equal to t / 100.
std::string MelBytes(int frames) {
  std::vector<float> rows;
  for (int t = 0; t < frames; ++t) rows.insert(rows.end(), 80, t / 100.0f);
  return std::string(reinterpret_cast<const char*>(rows.data()),
                     rows.size() * sizeof(float));
}

std::vector<float> ReadSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)),
                          std::istreambuf_iterator<char>());
  std::vector<float> samples(bytes.size() / sizeof(float));
  std::copy(bytes.begin(), bytes.end(),
            reinterpret_cast<char*>(samples.data()));
  return samples;
}

TEST(VocodeMainTest, ChunksJoinInOrderAtTheDeclaredHop) {
  const struct {
    const char* model;
    int frames;
    int hop;
    const char* options = "";
  } cases[] = {
      {"vocoder.onnx", 100, 300},              // three chunks
      {"vocoder.onnx", 1, 300},                // one frame
      {"vocoder.onnx", 100, 300, " --whole"},  // one window
      {"hop200_vocoder.onnx", 75, 200},        // hop from the metadata
      {"phase_vocoder.onnx", 90, 300},         // phase carried across joins
      {"phase_vocoder.onnx", 90, 300, " --whole"},
  };
  for (const auto& c : cases) {
    speechnn::TempDir dir;
    const std::string mel = dir.WriteFile("mel.f32", MelBytes(c.frames));
    const std::string out = dir.path() + "/out.f32";
    const speechnn::CommandResult result = speechnn::RunCommand(
        "SPDLOG_STDOUT=false '" + kVocode + "' '" + kModels + "/" + c.model +
        "' '" + mel + "' '" + out + "'" + c.options + " 2>&1");
    ASSERT_EQ(result.status, 0) << c.model << ": " << result.out;
    const std::vector<float> samples = ReadSamples(out);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(c.frames * c.hop))
        << c.model;
    if (std::string(c.model) != "phase_vocoder.onnx") {
      for (int t = 0; t < c.frames; ++t) {
        // The test vocoders give their frame's mean / 2048.
        ASSERT_FLOAT_EQ(samples[t * c.hop], t / 100.0f / 2048.0f)
            << c.model << " " << t;
      }
    }
  }
}

TEST(VocodeMainTest, BadInputFailsOnceAndWritesNothing) {
  const struct {
    const char* model;
    std::string mel;
    int status;
    const char* says;
  } cases[] = {
      {"vocoder.onnx", "", 1, "not whole frames"},
      {"vocoder.onnx", MelBytes(2).substr(0, 100), 1, "not whole frames"},
      {"nan_vocoder.onnx", MelBytes(3), 1, "NaN"},
      {"missing.onnx", MelBytes(3), 1, "missing.onnx"},
  };
  for (const auto& c : cases) {
    speechnn::TempDir dir;
    const std::string mel = dir.WriteFile("mel.f32", c.mel);
    const std::string out = dir.path() + "/out.f32";
    const speechnn::CommandResult result = speechnn::RunCommand(
        "SPDLOG_STDOUT=false '" + kVocode + "' '" + kModels + "/" + c.model +
        "' '" + mel + "' '" + out + "' 2>&1");
    EXPECT_EQ(result.status, c.status) << c.model;
    EXPECT_NE(result.out.find(c.says), std::string::npos) << result.out;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.model;
  }
  EXPECT_EQ(speechnn::RunCommand("'" + kVocode + "' a b 2>&1").status, 2);
}

}  // namespace
