// The library against the tool: the same samples as tolvaren_tts writes,
// whole or streamed, and failures as statuses.

#include "tolvaren_tts/synthesizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tolvaren_tts/log.h"
#include "tool/io/chunk_file.h"
#include "tool/tool_test_support.h"

namespace tolvaren {
namespace {

using tolvaren_tts::Audio;
using tolvaren_tts::LogLevel;
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

// Whatever the SPDLOG_* variables say (QuietEnvironment: the console, every
// record), the library writes nothing on either standard stream; a
// callback gets the records at or above its level, the front end's
// configuration echo and a mistyped configuration line among them.
TEST(SynthesizerTest, LogRecordsReachOnlyTheCallback) {
  QuietEnvironment();
  ToolSetup setup("/vocoder.onnx", "--wav_pth=x\n");
  struct Case {
    bool callback;
    LogLevel min_level;
    int threads;
    std::vector<std::string> expected;  // parts of records, in this order
  };
  const std::string mistyped = "configuration " + setup.conf_path + " line 6";
  const std::vector<Case> cases = {
      {false, LogLevel::kWarning, 0, {}},
      {true, LogLevel::kError, 0, {}},
      {true, LogLevel::kWarning, 0, {mistyped}},
      {true,
       LogLevel::kInfo,
       3,
       {"Key: wav_path", mistyped, "Key: jieba_dict_path",
        "intra/inter_op_num_threads=3/1"}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<LogLevel, std::string>> records;
    if (c.callback) {
      tolvaren_tts::SetLogCallback(
          [&records](LogLevel level, const std::string& message) {
            records.emplace_back(level, message);
          },
          c.min_level);
    }
    SynthesizerConfig config;
    config.conf_path = setup.conf_path;
    config.threads = c.threads;
    std::unique_ptr<Synthesizer> tts;
    Audio audio;
    CaptureStdout();
    CaptureStderr();
    const tolvaren_tts::Status created = Synthesizer::Create(config, &tts);
    const tolvaren_tts::Status spoken =
        created.ok() ? tts->Synthesize("你好", {}, &audio) : created;
    tts.reset();
    const std::string out = GetCapturedStdout();
    const std::string err = GetCapturedStderr();
    tolvaren_tts::SetLogCallback(nullptr);
    ASSERT_TRUE(spoken.ok()) << spoken.message();
    EXPECT_EQ(out, "") << c.threads;
    EXPECT_EQ(err, "") << c.threads;
    std::string log;
    for (const auto& [level, message] : records) {
      EXPECT_GE(level, c.min_level) << message;
      log += message + "\n";
    }
    if (c.expected.empty()) {
      EXPECT_EQ(log, "");
    }
    ExpectInOrder(log, c.expected);
  }
  // The standard-error convenience rides on the same routes.
  tolvaren_tts::LogToStandardError(true);
  SynthesizerConfig config;
  config.conf_path = setup.conf_path;
  std::unique_ptr<Synthesizer> tts;
  CaptureStderr();
  const tolvaren_tts::Status created = Synthesizer::Create(config, &tts);
  const std::string err = GetCapturedStderr();
  tolvaren_tts::SetLogCallback(nullptr);
  ASSERT_TRUE(created.ok()) << created.message();
  ExpectInOrder(err, {"[INFO] Key: wav_path", "[WARNING] " + mistyped,
                      "[INFO] Key: jieba_dict_path"});
}

tolvaren_tts::SynthesisOptions AtVolume(double volume) {
  tolvaren_tts::SynthesisOptions options;
  options.volume = volume;
  return options;
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
  config.threads = -1;
  const StatusCode bad_threads = Synthesizer::Create(config, &tts).code();
  config.threads = 0;
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
      {"你好", AtVolume(0.0), StatusCode::kInvalidArgument},
      {"你好", AtVolume(8.5), StatusCode::kInvalidArgument},
      {"你好", AtVolume(8.0), StatusCode::kOk},
      {"\xff\xfe", {}, StatusCode::kInvalidArgument},
      {"错", {}, StatusCode::kRuntimeError},  // id beyond the model's table
      {"你好 3.5/a.b", {}, StatusCode::kOk},  // no name, nothing refused
      // A [[ that begins no pinyin mark is text.
      {"[[xx9]]", {}, StatusCode::kOk},
      {"你[[ni3", {}, StatusCode::kOk},  // unclosed
      {"<speak>你好", {1.0, 0.0, true}, StatusCode::kInvalidArgument},
      {"<speak><break time=\"-1s\"/></speak>",
       {1.0, 0.0, true},
       StatusCode::kInvalidArgument},
      {"<speak>你好</speak>", {}, StatusCode::kOk},  // plain: marks dropped
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
  EXPECT_EQ(bad_threads, StatusCode::kInvalidArgument);
  EXPECT_EQ(missing_voice, StatusCode::kNotFound);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(codes[i], cases[i].code) << cases[i].text;
  }
  EXPECT_EQ(stopped, StatusCode::kCancelled);
}

// Breaks add exactly their silence between the parts around them, an alias
// is spoken for its text, and pinyin as the text it spells.
TEST(SynthesizerTest, MarkupAndPinyinShapeTheAudio) {
  QuietEnvironment();
  ToolSetup setup;
  std::unique_ptr<Synthesizer> tts;
  SynthesizerConfig config;
  config.conf_path = setup.conf_path;
  ASSERT_TRUE(Synthesizer::Create(config, &tts).ok());
  tolvaren_tts::SynthesisOptions markup;
  markup.markup = true;
  const auto length = [&](const std::string& text,
                          const tolvaren_tts::SynthesisOptions& options) {
    Audio audio;
    const tolvaren_tts::Status status = tts->Synthesize(text, options, &audio);
    EXPECT_TRUE(status.ok()) << text << ": " << status.message();
    return static_cast<long>(audio.samples.size());
  };
  const long rate = tts->sample_rate();
  const long hello = length("你好", {});
  const long world = length("世界", {});
  EXPECT_EQ(length("<speak>你好<break time=\"1s\"/>世界</speak>", markup),
            hello + rate + world);
  EXPECT_EQ(length("<speak><break time=\"500ms\"/>你好</speak>", markup),
            rate / 2 + hello);
  EXPECT_EQ(length("<speak><sub alias=\"你好\">hi</sub></speak>", markup),
            hello);
  Audio spelled;
  Audio written;
  ASSERT_TRUE(tts->Synthesize("[[ni2 hao3]]", {}, &spelled).ok());
  ASSERT_TRUE(tts->Synthesize("你好", {}, &written).ok());
  EXPECT_EQ(spelled.samples, written.samples);
  // This voice takes no duration scale: the rate is ignored (a warning).
  EXPECT_EQ(
      length("<speak><prosody rate=\"50%\">你好</prosody></speak>", markup),
      hello);
}

}  // namespace
}  // namespace tolvaren
