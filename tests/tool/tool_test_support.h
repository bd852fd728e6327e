// What the tests that start a whole Tool share: a configuration folder with
// the fixture front end and the small test models, quiet logs, and an
// in-order log check.

#ifndef TOLVAREN_TTS_TESTS_TOOL_TOOL_TEST_SUPPORT_H_
#define TOLVAREN_TTS_TESTS_TOOL_TOOL_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"

namespace tolvaren {

// The tool writes its log to standard output; the tests read it back.
using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

inline const std::string kModels = TOLVAREN_TEST_MODEL_DIR;

// The acoustic test model turns id i into a frame whose vocoded samples all
// equal (i + 0.0395) / 2048 (the mean of the row i + j / 1000, j = 0..79,
// at the test vocoder's level).
inline float SampleOf(int64_t id) {
  return (static_cast<float>(id) + 0.0395f) / 2048.0f;
}

// Logs that every test captures the same way.
inline void QuietEnvironment() {
  setenv("SPDLOG_STDOUT", "true", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "info", 1);
}

// A configuration folder: fixture front end, test models, an output folder.
// Pronunciations and ids are small enough for the test model's table; the
// id of "uo4" lies beyond it, so 错 makes the acoustic model fail.
struct ToolSetup {
  speechnn::TempDir dir;
  std::string out_dir;
  std::string text_path;
  std::string conf_path;

  explicit ToolSetup(const std::string& vocoder = "/vocoder.onnx",
                     const std::string& extra = "") {
    out_dir = dir.path() + "/out";
    std::filesystem::create_directory(out_dir);
    text_path = dir.path() + "/texts.txt";
    speechnn::FrontFixture fixture;
    fixture.word2phone =
        "你 n i3\n好 h ao3\n你好 n i3 h ao3\n世 sh iii4\n界 j ie4\n"
        "世界 sh iii4 j ie4\n再 z ai4\n见 j ian4\n再见 z ai4 j ian4\n"
        "错 c uo4\n";
    fixture.phone2id =
        "n 1\ni2 2\ni3 3\nh 4\nao3 5\nsh 6\niii4 7\nj 8\nie4 9\nz 10\n"
        "ai4 11\nian4 12\nsp 13\nc 14\nuo4 5000\n";
    const std::string front_conf = speechnn::WriteFrontConf(dir, fixture);
    conf_path = dir.WriteFile(
        "tool.conf", "--wav_path=" + out_dir + "\n--text_path=" + text_path +
                         "\n--fastspeech2_model_path=" + kModels +
                         "/acoustic.onnx\n--hifigan_model_path=" + kModels +
                         vocoder + "\n--front_conf_path=" + front_conf + "\n" +
                         extra);
  }
};

// Expects `needles` to appear in `log` in this order.
inline void ExpectInOrder(const std::string& log,
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

// The kept samples of `chunks`, concatenated.
inline std::vector<float> Concatenated(
    const std::vector<std::vector<float>>& chunks) {
  std::vector<float> audio;
  for (const auto& chunk : chunks) {
    audio.insert(audio.end(), chunk.begin(), chunk.end());
  }
  return audio;
}

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TESTS_TOOL_TOOL_TEST_SUPPORT_H_
