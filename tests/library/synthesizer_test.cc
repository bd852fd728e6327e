// The library against the tool: the same samples as tolvaren_tts writes,
// whole or streamed, and failures as statuses.

#include "tolvaren_tts/synthesizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/io/chunk_file.h"
#include "tool/tool_test_support.h"

namespace tolvaren {
namespace {

using tolvaren_tts::Audio;
using tolvaren_tts::StatusCode;
using tolvaren_tts::Synthesizer;
using tolvaren_tts::SynthesizerConfig;

std::string Repeat(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

TEST(SynthesizerTest, SamplesEqualTheToolsWholeAndStreamed) {
  QuietEnvironment();
  ToolSetup setup;
  // Long enough for several vocoder chunks.
  const std::string text = Repeat("你好，", 15) + "世界";
  const speechnn::CommandResult tool = speechnn::RunCommand(
      "TOLVAREN_TTS_CONF='" + setup.conf_path + "' '" + TOLVAREN_TTS_BINARY +
      "' '" + text + "' >/dev/null 2>&1");
  ASSERT_EQ(tool.status, 0);
  const absl::StatusOr<std::vector<float>> written =
      ReadChunkFile(setup.out_dir + "/" + text);
  ASSERT_TRUE(written.ok()) << written.status();

  SynthesizerConfig config;
  config.conf_path = setup.conf_path;
  std::unique_ptr<Synthesizer> tts;
  CaptureStdout();
  const tolvaren_tts::Status created = Synthesizer::Create(config, &tts);
  if (!created.ok()) GetCapturedStdout();
  ASSERT_TRUE(created.ok()) << created.message();
  Audio audio;
  const tolvaren_tts::Status whole = tts->Synthesize(text, {}, &audio);
  std::vector<std::vector<float>> streamed;
  const tolvaren_tts::Status stream = tts->Synthesize(
      text, {}, [&streamed](const float* samples, std::size_t count) {
        streamed.emplace_back(samples, samples + count);
        return true;
      });
  GetCapturedStdout();
  ASSERT_TRUE(whole.ok()) << whole.message();
  ASSERT_TRUE(stream.ok()) << stream.message();
  EXPECT_EQ(audio.sample_rate, 24000);
  EXPECT_EQ(audio.samples, *written);
  EXPECT_GT(streamed.size(), 2u);
  EXPECT_EQ(Concatenated(streamed), *written);
}

TEST(SynthesizerTest, FailuresAreStatuses) {
  QuietEnvironment();
  ToolSetup setup;
  CaptureStdout();
  CaptureStderr();
  std::unique_ptr<Synthesizer> tts;
  SynthesizerConfig config;
  config.conf_path = setup.dir.path() + "/missing.conf";
  const StatusCode missing_conf = Synthesizer::Create(config, &tts).code();
  config.conf_path = setup.conf_path;
  config.voice = "nobody";
  const StatusCode missing_voice = Synthesizer::Create(config, &tts).code();
  config.voice = "";
  const tolvaren_tts::Status created = Synthesizer::Create(config, &tts);
  if (!created.ok()) {
    GetCapturedStdout();
    GetCapturedStderr();
  }
  ASSERT_TRUE(created.ok()) << created.message();

  struct Case {
    std::string text;
    tolvaren_tts::SynthesisOptions options;
    StatusCode code;
  };
  const std::vector<Case> cases = {
      {"你好", {1.5, 0.0}, StatusCode::kInvalidArgument},  // no speed input
      {"你好", {1.0, -1.0}, StatusCode::kInvalidArgument},
      {"\xff\xfe", {}, StatusCode::kInvalidArgument},
      {"错", {}, StatusCode::kRuntimeError},  // id beyond the model's table
      {"你好 3.5/a.b", {}, StatusCode::kOk},  // no name, nothing refused
  };
  std::vector<StatusCode> codes;
  Audio audio;
  for (const Case& c : cases) {
    codes.push_back(tts->Synthesize(c.text, c.options, &audio).code());
  }
  // A stopping callback ends the text.
  const StatusCode stopped =
      tts->Synthesize("你好", {},
                      [](const float*, std::size_t) { return false; })
          .code();
  GetCapturedStdout();
  GetCapturedStderr();
  EXPECT_EQ(missing_conf, StatusCode::kNotFound);
  EXPECT_EQ(missing_voice, StatusCode::kNotFound);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(codes[i], cases[i].code) << cases[i].text;
  }
  EXPECT_EQ(stopped, StatusCode::kCancelled);
}

}  // namespace
}  // namespace tolvaren
