#include "tool/conf/tool_conf.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "speech_neural_network/front_test_support.h"
#include "tool/conf/model_metadata.h"
#include "tool/conf/voice_list.h"

namespace tolvaren {
namespace {

using speechnn::TempDir;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class ToolConfTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("SPDLOG_STDOUT", "true", 1);
    setenv("SPDLOG_SYSTEMD", "false", 1);
    setenv("SPDLOG_LEVEL", "info", 1);
  }

  // Reads `contents` as a configuration file; returns the console output.
  std::string Read(const std::string& contents, ToolConf& conf,
                   bool& ok) const {
    const std::string path = dir_.WriteFile("tool.conf", contents);
    CaptureStdout();
    ok = ReadConfFile(path, conf);
    return GetCapturedStdout();
  }

  TempDir dir_;
};

TEST_F(ToolConfTest, ReadsKnownKeysAndLogsEveryPair) {
  ToolConf conf;
  bool ok = false;
  const std::string log = Read(
      "--wav_path=/out\n"
      "--text_path=/a=b\n"
      "--fastspeech2_model_path=am.onnx\n"
      "--hifigan_model_path=voc.onnx\n"
      "--front_conf_path=front.conf\n"
      "--extra=kept\n",
      conf, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(conf.wav_path, "/out");
  EXPECT_EQ(conf.text_path, "/a=b");  // Only the first "=" splits.
  EXPECT_EQ(conf.fastspeech2_model_path, "am.onnx");
  EXPECT_EQ(conf.hifigan_model_path, "voc.onnx");
  EXPECT_EQ(conf.front_conf_path, "front.conf");
  EXPECT_EQ(conf.entries.at("extra"), "kept");
  EXPECT_NE(log.find("[INFO] Key: text_path; Value: /a=b\n"),
            std::string::npos);
  EXPECT_NE(log.find("[INFO] Key: extra; Value: kept\n"), std::string::npos);
}

// How lines split is the shared reader's (key_value_file_test); here only
// that what configures nothing leaves the five keys present and empty.
TEST_F(ToolConfTest, KeysThatNoLineSetsAreEmpty) {
  ToolConf conf;
  bool ok = false;
  Read("wav_path=/out\n--wav_path = /x\n--no_equals_sign\n", conf, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(conf.wav_path, "");  // The key is "wav_path " with a blank.
  EXPECT_EQ(conf.entries.at("wav_path "), " /x");
  EXPECT_EQ(conf.entries.size(), 6u);
  for (const char* key : {"wav_path", "text_path", "fastspeech2_model_path",
                          "hifigan_model_path", "front_conf_path"}) {
    EXPECT_EQ(conf.entries.at(key), "") << key;
  }
}

TEST_F(ToolConfTest, LaterKeyWinsAndBothAreLogged) {
  ToolConf conf;
  bool ok = false;
  const std::string log =
      Read("--wav_path=/first\n--wav_path=/second", conf, ok);  // no final \n
  ASSERT_TRUE(ok);
  EXPECT_EQ(conf.wav_path, "/second");
  EXPECT_NE(log.find("Key: wav_path; Value: /first\n"), std::string::npos);
  EXPECT_NE(log.find("Key: wav_path; Value: /second\n"), std::string::npos);
}

TEST_F(ToolConfTest, UnreadableFileIsAnError) {
  ToolConf conf;
  CaptureStdout();
  EXPECT_FALSE(ReadConfFile(dir_.path() + "/missing.conf", conf));
  EXPECT_FALSE(ReadConfFile(dir_.path(), conf));  // a directory
  const std::string log = GetCapturedStdout();
  EXPECT_NE(log.find("[ERROR] Cannot open config file\n"), std::string::npos);
}

TEST_F(ToolConfTest, ThreadKeysSetTheSessionsAndAbsentKeysKeepTheDefaults) {
  ToolConf defaults;
  bool ok = false;
  Read("--wav_path=/out\n", defaults, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(defaults.intra_op_num_threads, 4);
  EXPECT_EQ(defaults.inter_op_num_threads, 4);
  EXPECT_FALSE(defaults.allow_spinning.has_value());
  EXPECT_EQ(defaults.entries.count("allow_spinning"), 0u);
  EXPECT_TRUE(defaults.Validate().ok());

  ToolConf set;
  Read(
      "--intra_op_num_threads=0\n--inter_op_num_threads=1\n"
      "--allow_spinning=false\n",
      set, ok);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(set.Validate().ok()) << set.Validate();
  EXPECT_EQ(set.intra_op_num_threads, 0);
  EXPECT_EQ(set.ResolvedIntraOpThreads(), AvailableCores());
  EXPECT_GE(AvailableCores(), 1);
  EXPECT_EQ(set.inter_op_num_threads, 1);
  EXPECT_EQ(set.allow_spinning, std::optional<bool>(false));
  set.intra_op_num_threads = 3;
  EXPECT_EQ(set.ResolvedIntraOpThreads(), 3);

  // 0 follows the affinity the process was given, not the machine's cores.
  cpu_set_t all;
  ASSERT_EQ(sched_getaffinity(0, sizeof(all), &all), 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &all)) {
      CPU_SET(cpu, &one);
      break;
    }
  }
  ASSERT_EQ(sched_setaffinity(0, sizeof(one), &one), 0);
  set.intra_op_num_threads = 0;
  EXPECT_EQ(set.ResolvedIntraOpThreads(), 1);
  ASSERT_EQ(sched_setaffinity(0, sizeof(all), &all), 0);
}

// Every value that cannot work is refused by name, as it was written.
TEST_F(ToolConfTest, ValidateNamesTheBadKeyAndValue) {
  const std::pair<const char*, const char*> bad[] = {
      {"--intra_op_num_threads=-1", "intra_op_num_threads is -1"},
      {"--intra_op_num_threads=two", "intra_op_num_threads is two"},
      {"--intra_op_num_threads=4 ", "intra_op_num_threads is 4 ,"},
      {"--intra_op_num_threads=1025", "intra_op_num_threads is 1025"},
      {"--inter_op_num_threads=0", "inter_op_num_threads is 0"},
      {"--inter_op_num_threads=99999999999",
       "inter_op_num_threads is 99999999999"},
      {"--allow_spinning=yes", "allow_spinning is yes"},
      {"--allow_spinning=", "allow_spinning is ,"}};
  for (const auto& [line, message] : bad) {
    ToolConf conf;
    bool ok = false;
    Read(std::string(line) + "\n", conf, ok);
    ASSERT_TRUE(ok) << line;
    const absl::Status status = conf.Validate();
    EXPECT_TRUE(absl::IsInvalidArgument(status)) << line;
    EXPECT_NE(status.message().find(message), std::string::npos) << status;
  }
  for (const char* flag : {"0", "1", "true", "false"}) {
    ToolConf conf;
    bool ok = false;
    Read(std::string("--allow_spinning=") + flag + "\n", conf, ok);
    EXPECT_TRUE(conf.Validate().ok()) << flag;
    EXPECT_EQ(conf.allow_spinning,
              std::optional<bool>(flag[0] == '1' || flag[0] == 't'));
  }
}

TEST(ToolConfPathTest, EnvironmentOverridesTheInstalledPath) {
  unsetenv("TOLVAREN_TTS_CONF");
  const std::string installed = ToolConfPath();
  EXPECT_NE(installed.find("share/tolvaren_tts/resources/conf/tool.conf"),
            std::string::npos);
  setenv("TOLVAREN_TTS_CONF", "/elsewhere/tool.conf", 1);
  EXPECT_EQ(ToolConfPath(), "/elsewhere/tool.conf");
  setenv("TOLVAREN_TTS_CONF", "", 1);  // empty: as if unset
  EXPECT_EQ(ToolConfPath(), installed);
  unsetenv("TOLVAREN_TTS_CONF");
}

// The variable first; the install's own file; a ROS install's where the
// own one is missing; the own path when neither exists (its error names it).
TEST(ToolConfPathTest, ARosInstallIsReadWhereTheOwnFileIsMissing) {
  const std::string own =
      "/usr/local/share/tolvaren_tts/resources/conf/tool.conf";
  struct Case {
    const char* variable;
    std::vector<std::string> present;
    std::string chosen;
  };
  const Case cases[] = {
      {"/x.conf", {own, kRosToolConfPath}, "/x.conf"},
      {nullptr, {own, kRosToolConfPath}, own},
      {"", {kRosToolConfPath}, kRosToolConfPath},
      {nullptr, {}, own},
  };
  for (const Case& c : cases) {
    const auto exists = [&](const std::string& path) {
      return std::find(c.present.begin(), c.present.end(), path) !=
             c.present.end();
    };
    EXPECT_EQ(ChooseToolConfPath(c.variable, own, exists), c.chosen);
  }
}

std::string ModelBytes(const std::string& name) {
  std::ifstream in(std::string(TOLVAREN_TEST_MODEL_DIR) + "/" + name,
                   std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The voices beside the configured models, with what the files declare;
// a folder without both models is none.
TEST(VoiceListTest, ListsWhatTheModelFilesDeclare) {
  TempDir dir;
  const std::string speed = ModelBytes("scaled_acoustic.onnx");
  const std::string plain = ModelBytes("acoustic.onnx");
  const std::string vocoder = ModelBytes("vocoder.onnx");
  ToolConf conf;
  conf.fastspeech2_model_path = dir.WriteFile("fastspeech2.onnx", plain);
  conf.hifigan_model_path = dir.WriteFile("hifigan.onnx", vocoder);
  std::filesystem::create_directory(dir.path() + "/fast");
  dir.WriteFile("fast/fastspeech2.onnx", speed);
  dir.WriteFile("fast/hifigan.onnx", vocoder);
  std::filesystem::create_directory(dir.path() + "/half");
  dir.WriteFile("half/fastspeech2.onnx", speed);
  const absl::StatusOr<std::vector<VoiceFacts>> voices = ListVoices(conf);
  ASSERT_TRUE(voices.ok()) << voices.status();
  ASSERT_EQ(voices->size(), 2u);
  EXPECT_EQ((*voices)[0].name, "default");
  EXPECT_FALSE((*voices)[0].supports_speed);
  EXPECT_EQ((*voices)[1].name, "fast");
  EXPECT_TRUE((*voices)[1].supports_speed);
  for (const VoiceFacts& voice : *voices) {
    EXPECT_EQ(voice.sample_rate, 24000) << voice.name;
    EXPECT_EQ(voice.licence, "") << voice.name;
  }
}

// Bytes that are no model are refused, whatever they hold.
TEST(VoiceListTest, MalformedModelsAreRefused) {
  TempDir dir;
  const std::string model = ModelBytes("vocoder.onnx");
  ASSERT_GT(model.size(), 100u);
  const absl::StatusOr<ModelMetadata> whole =
      ReadModelMetadata(dir.WriteFile("whole.onnx", model));
  ASSERT_TRUE(whole.ok()) << whole.status();
  EXPECT_EQ(whole->custom.at("hop_samples"), "300");
  EXPECT_EQ(whole->inputs, std::vector<std::string>{"spectrogram"});
  const std::vector<std::string> malformed = {
      model.substr(0, model.size() - 7),           // cut inside a field
      std::string("\x3a\xff\xff\xff\xff\x0f", 6),  // length past the end
      std::string("\x0b\x00", 2),                  // a group
      std::string("\x80\x80\x80", 3),              // varint cut short
  };
  for (std::size_t i = 0; i < malformed.size(); ++i) {
    const std::string path =
        dir.WriteFile("bad" + std::to_string(i) + ".onnx", malformed[i]);
    EXPECT_TRUE(absl::IsInvalidArgument(ReadModelMetadata(path).status())) << i;
  }
  EXPECT_TRUE(absl::IsNotFound(ReadModelMetadata(dir.path()).status()));
  ToolConf conf;
  conf.fastspeech2_model_path = dir.path() + "/bad0.onnx";
  conf.hifigan_model_path = dir.path() + "/whole.onnx";
  EXPECT_FALSE(ListVoices(conf).ok());
}

}  // namespace
}  // namespace tolvaren
