// The node's logic: parameters taken together or not at all, and what one
// text publishes, with the small test models. The default voice here has no
// speed input; the voice "fast" has one.

#include "ros/speech_node.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tool/tool_test_support.h"

namespace tolvaren_ros {
namespace {

namespace fs = std::filesystem;
using tolvaren_tts::StatusCode;

// ToolSetup's configuration with the models in a folder of its own that
// holds the voice "fast" beside the default one.
class SpeechNodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tolvaren::QuietEnvironment();
    const fs::path models = fs::path(setup_.dir.path()) / "models";
    fs::create_directories(models / "fast");
    const fs::path test_models = tolvaren::kModels;
    fs::copy_file(test_models / "acoustic.onnx", models / "fastspeech2.onnx");
    fs::copy_file(test_models / "vocoder.onnx", models / "hifigan.onnx");
    fs::copy_file(test_models / "scaled_acoustic.onnx",
                  models / "fast" / "fastspeech2.onnx");
    fs::copy_file(test_models / "vocoder.onnx",
                  models / "fast" / "hifigan.onnx");
    std::stringstream conf;
    conf << std::ifstream(setup_.conf_path).rdbuf();
    std::string text = conf.str();
    const std::string from = tolvaren::kModels + "/acoustic.onnx";
    text.replace(text.find(from), from.size(),
                 (models / "fastspeech2.onnx").string());
    base_.conf_path = setup_.dir.WriteFile("node.conf", text);
  }

  std::unique_ptr<SpeechNode> Started(const SpeechParameters& parameters) {
    std::unique_ptr<SpeechNode> node;
    const tolvaren_tts::Status created =
        SpeechNode::Create(base_, parameters, &node);
    EXPECT_TRUE(created.ok()) << created.message();
    return node;
  }

  tolvaren::ToolSetup setup_;
  tolvaren_tts::SynthesizerConfig base_;
};

TEST_F(SpeechNodeTest, ParametersAreTakenTogetherOrNotAtAll) {
  // Applied one after another to one node, from the default voice at 1.
  struct Row {
    SpeechParameters wanted;
    StatusCode code;
    const char* says;  // in the message
  };
  const Row rows[] = {
      {{"", 2}, StatusCode::kInvalidArgument, "one speed only"},
      {{"nobody", 1}, StatusCode::kNotFound, "voice \"nobody\""},
      {{"../fast", 1}, StatusCode::kInvalidArgument, "without '/'"},
      {{"fast", 2}, StatusCode::kOk, ""},
      {{"fast", 0.25}, StatusCode::kOk, ""},
      {{"fast", 5}, StatusCode::kInvalidArgument, "0.25 to 4"},
      {{"fast", NAN}, StatusCode::kInvalidArgument, "positive"},
      {{"fast", 0.25, 8}, StatusCode::kOk, ""},
      {{"fast", 0.25, 0},
       StatusCode::kInvalidArgument,
       "volume must be above 0"},
      {{"fast", 1, 9}, StatusCode::kInvalidArgument, "up to 8"},
      {{"fast", 1, NAN},
       StatusCode::kInvalidArgument,
       "volume must be above 0"},
      // The voice loads, but cannot take the speed: the node keeps "fast".
      {{"", 0.25}, StatusCode::kInvalidArgument, "one speed only"},
  };
  std::unique_ptr<SpeechNode> node = Started({"", 1});
  ASSERT_NE(node, nullptr);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.wanted.voice + " at " + std::to_string(row.wanted.speed));
    const SpeechParameters before = node->parameters();
    const tolvaren_tts::Status applied = node->Apply(row.wanted);
    EXPECT_EQ(applied.code(), row.code) << applied.message();
    EXPECT_NE(applied.message().find(row.says), std::string::npos)
        << applied.message();
    const SpeechParameters& expected = applied.ok() ? row.wanted : before;
    EXPECT_EQ(node->parameters().voice, expected.voice);
    EXPECT_EQ(node->parameters().speed, expected.speed);
    EXPECT_EQ(node->parameters().volume, expected.volume);
    // Whatever happened, the node speaks with what it kept.
    EXPECT_TRUE(node->Speak("你好", [](AudioBytes) { return true; }).ok());
  }
  // Creating checks the same way and leaves no node behind.
  EXPECT_EQ(SpeechNode::Create(base_, {"", 3}, &node).code(),
            StatusCode::kInvalidArgument);
  EXPECT_EQ(node, nullptr);
  EXPECT_EQ(SpeechNode::Create(base_, {"", 1, -1}, &node).code(),
            StatusCode::kInvalidArgument);
  EXPECT_EQ(node, nullptr);
}

TEST_F(SpeechNodeTest, VolumeScalesWhatIsPublished) {
  auto peak = [this](double volume) {
    std::unique_ptr<SpeechNode> node = Started({"", 1, volume});
    int most = 0;
    EXPECT_TRUE(node->Speak("你好，世界",
                            [&most](AudioBytes bytes) {
                              for (std::size_t i = 0; i + 1 < bytes.size();
                                   i += 2) {
                                const int v = static_cast<std::int16_t>(
                                    bytes[i] | (bytes[i + 1] << 8));
                                most = std::max(most, std::abs(v));
                              }
                              return true;
                            })
                    .ok());
    return most;
  };
  const int full = peak(1);
  EXPECT_GT(full, 0);
  EXPECT_LT(peak(0.25), full / 2);
}

TEST_F(SpeechNodeTest, PublishesEachChunkOfTheLibrarysSamples) {
  const std::string long_text = "你好，你好，你好，你好，你好，你好，世界";
  struct Row {
    std::string text;
    bool stop_after_first;
    StatusCode code;
    bool publishes;
  };
  const Row rows[] = {
      {"你好", false, StatusCode::kOk, true},
      {long_text, false, StatusCode::kOk, true},
      {long_text, true, StatusCode::kCancelled, true},
      {"", false, StatusCode::kOk, false},
      {"\xff\xfe 你好", false, StatusCode::kInvalidArgument, false},
      // 错's id lies beyond the test model's table: the model fails.
      {"错", false, StatusCode::kRuntimeError, false},
  };
  std::unique_ptr<SpeechNode> node = Started({"", 1});
  ASSERT_NE(node, nullptr);
  const AudioFormat format = node->format();
  EXPECT_EQ(format.sample_rate, 24000);
  EXPECT_EQ(format.bitrate, 24000 * 16);
  EXPECT_EQ(format.sample_format, "S16LE");

  std::unique_ptr<tolvaren_tts::Synthesizer> library;
  ASSERT_TRUE(tolvaren_tts::Synthesizer::Create(base_, &library).ok());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    std::vector<AudioBytes> published;
    const tolvaren_tts::Status spoken =
        node->Speak(row.text, [&](AudioBytes bytes) {
          published.push_back(std::move(bytes));
          return !row.stop_after_first;
        });
    EXPECT_EQ(spoken.code(), row.code) << spoken.message();
    EXPECT_EQ(!published.empty(), row.publishes);
    if (row.stop_after_first) {
      EXPECT_EQ(published.size(), 1u);
    }
    if (!spoken.ok()) continue;
    tolvaren_tts::Audio audio;
    ASSERT_TRUE(library->Synthesize(row.text, {}, &audio).ok());
    AudioBytes whole;
    for (const AudioBytes& chunk : published) {
      whole.insert(whole.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(whole, ToS16le(audio.samples.data(), audio.samples.size()));
  }
}

TEST(ToS16leTest, ClipsAndWritesLittleEndian) {
  const float samples[] = {0.0f, 1.0f, -1.0f, 1.5f, -0.5f};
  const AudioBytes bytes = ToS16le(samples, 5);
  const AudioBytes expected = {0x00, 0x00, 0xff, 0x7f, 0x01,
                               0x80, 0xff, 0x7f, 0x00, 0xc0};
  EXPECT_EQ(bytes, expected);
}

}  // namespace
}  // namespace tolvaren_ros
