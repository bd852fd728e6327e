// Tools started per case: file mode over its own text file, and the
// start-up failures and voice contracts of other configurations.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tool/tool.h"
#include "tool_test_support.h"

namespace tolvaren {
namespace {

// Runs file mode over `contents` (no text file at all when nullopt) with a
// tool of its own; returns the log and the files written.
std::string RunFileMode(const std::optional<std::string>& contents,
                        bool& all_written, std::vector<std::string>& outputs) {
  QuietEnvironment();
  ToolSetup setup;
  if (contents) std::ofstream(setup.text_path, std::ios::binary) << *contents;
  CaptureStdout();
  CaptureStderr();
  {
    Tool tool(setup.conf_path);
    all_written = tool.getFileAndPredict();
  }
  GetCapturedStderr();
  for (const auto& entry : std::filesystem::directory_iterator(setup.out_dir)) {
    outputs.push_back(entry.path().filename().string());
  }
  std::sort(outputs.begin(), outputs.end());
  return GetCapturedStdout();
}

TEST(FileModeTest, EveryLineIsSynthesisedAndTheRunGoesOnAfterErrors) {
  bool all_written = true;
  std::vector<std::string> outputs;
  const std::string log = RunFileMode(
      "\xEF\xBB\xBF你好\n错\n再见\r\n你好\n世界", all_written, outputs);
  EXPECT_FALSE(all_written);  // 错 failed in the runtime
  // A byte order mark and the carriage return of a CR LF line are not part
  // of the text, nor of its file name.
  EXPECT_EQ(outputs, (std::vector<std::string>{"世界", "你好", "再见"}));
  ExpectInOrder(log, {"[INFO] Info: getFileAndPredict \n", "[INFO] 你好\n",
                      "[INFO] 错\n", "[ERROR] ONNX Runtime error: ",
                      "[INFO] 再见\n", "[INFO] front process receive 再见\n",
                      "[INFO] 你好\n", "[INFO] 世界\n"});
}

TEST(FileModeTest, EmptyAndMissingFiles) {
  struct Case {
    const char* what;
    std::optional<std::string> contents;
    bool all_written;
    std::vector<std::string> outputs;
    const char* record;  // logged after the start
    const char* absent;  // never logged after the start
  };
  const std::vector<Case> cases = {
      {"empty file", "", true, {}, nullptr, "do predict"},
      // The empty text has no file name of its own: it counts as not written.
      {"empty line",
       "\n你好\n",
       false,
       {"你好"},
       "[INFO] front process receive \n",
       nullptr},
      // Before the NUL the second line reads 你好, whose file it must not
      // overwrite.
      {"NUL in a line",
       std::string("你好\n你好\0世界很大\n", 27),
       false,
       {"你好"},
       "[ERROR] line 2 of ",
       "世界很大"},
      {"no file",
       std::nullopt,
       false,
       {},
       "[ERROR] Error: cannot open file ",
       "do predict"},
  };
  for (const Case& c : cases) {
    bool all_written = !c.all_written;
    std::vector<std::string> outputs;
    const std::string log = RunFileMode(c.contents, all_written, outputs);
    EXPECT_EQ(all_written, c.all_written) << c.what;
    EXPECT_EQ(outputs, c.outputs) << c.what;
    const std::size_t start = log.find("[INFO] Info: getFileAndPredict \n");
    ASSERT_NE(start, std::string::npos) << c.what;
    EXPECT_TRUE(!c.record || log.find(c.record, start) != std::string::npos)
        << c.what << "\n"
        << log;
    EXPECT_TRUE(!c.absent || log.find(c.absent, start) == std::string::npos)
        << c.what << "\n"
        << log;
  }
}

// Each failure stops start-up with its records, before any model when the
// configuration or the front end is at fault. A runtime error is left for
// the entry point to log (main_test).
TEST(ToolStartupTest, FailuresStopWithTheirRecords) {
  struct Case {
    const char* what;
    const char* vocoder;
    const char* extra_conf;
    bool missing_conf;
    std::vector<std::string> records;
    bool loads_models;
    bool runtime_error;
  };
  const std::vector<Case> cases = {
      {"unreadable configuration",
       "/vocoder.onnx",
       "",
       true,
       {"[ERROR] Cannot open config file\n",
        "[ERROR] Read front conf file failed\n"},
       false,
       false},
      {"broken front end",
       "/vocoder.onnx",
       "--front_conf_path=/nonexistent/front.conf\n",
       false,
       {"[ERROR] Creater tts engine failed!\n"},
       false,
       false},
      {"bad thread setting",
       "/vocoder.onnx",
       "--allow_spinning=maybe\n",
       false,
       // The record names the configuration file the value is in.
       {"[ERROR] /",
        "/tool.conf: allow_spinning is maybe, 0, 1, true or false "
        "is needed\n"},
       false,
       false},
      {"missing model",
       "/missing_vocoder.onnx",
       "",
       false,
       {"Try to load model from " + kModels + "/missing_vocoder.onnx"},
       true,
       true},
      {"invalid voice metadata",
       "/bad_voice_vocoder.onnx",
       "",
       false,
       {"[ERROR] model " + kModels +
        "/bad_voice_vocoder.onnx: metadata key hop_samples has the invalid "
        "value \"3OO\""},
       true,
       false},
      {"model trained on other phone ids",
       "/bad_phone_set_vocoder.onnx",
       "",
       false,
       {"[ERROR] model " + kModels +
        "/bad_phone_set_vocoder.onnx: metadata key phone_set_version is "
        "\"2\""},
       true,
       false},
      {"declared optional input the model lacks",
       "/bad_optional_vocoder.onnx",
       "",
       false,
       {"[ERROR] model " + kModels +
        "/bad_optional_vocoder.onnx: metadata key optional_inputs names "
        "\"phase_in\""},
       true,
       false},
      {"declared optional output the model lacks",
       "/bad_optional_output_vocoder.onnx",
       "",
       false,
       {"[ERROR] model " + kModels +
        "/bad_optional_output_vocoder.onnx: metadata key optional_outputs "
        "names \"phase_out\", which is not an output of the model"},
       true,
       false},
      {"unknown voice",
       "/vocoder.onnx",
       "--voice=nobody\n",
       false,
       {"[ERROR] no voice \"nobody\": "},
       false,
       false},
  };
  QuietEnvironment();
  for (const Case& c : cases) {
    ToolSetup setup(c.vocoder, c.extra_conf);
    CaptureStdout();
    CaptureStderr();
    std::optional<absl::Status> failure;
    try {
      Tool tool(c.missing_conf ? "/nonexistent/tool.conf" : setup.conf_path);
    } catch (const StartupError& e) {
      failure = e.status();
    }
    GetCapturedStderr();
    const std::string log = GetCapturedStdout();
    ASSERT_TRUE(failure.has_value()) << c.what;
    EXPECT_EQ(IsRuntimeError(*failure), c.runtime_error) << c.what;
    ExpectInOrder(log, c.records);
    EXPECT_EQ(log.find("Try to load model") != std::string::npos,
              c.loads_models)
        << c.what;
  }
}

// Tables that would leave phones without an id stop start-up, the reason
// logged and in the failure.
TEST(ToolStartupTest, PhoneTableWithoutThePauseStopsStartUp) {
  QuietEnvironment();
  ToolSetup setup;
  const std::string table =
      setup.dir.WriteFile("phone2id.dict",
                          "n 1\ni2 2\ni3 3\nh 4\nao3 5\nsh 6\niii4 7\nj 8\n"
                          "ie4 9\nz 10\nai4 11\nian4 12\nc 14\nuo4 5000\n");
  CaptureStdout();
  CaptureStderr();
  std::string message;
  try {
    Tool tool(setup.conf_path);
  } catch (const StartupError& e) {
    message = e.what();
  }
  GetCapturedStderr();
  const std::string log = GetCapturedStdout();
  const std::string reason =
      "phone2id file " + table + " gives no non-zero id to 1 phones: \"sp\"";
  ExpectInOrder(log, {"[ERROR] " + reason + "\n",
                      "[ERROR] Creater tts engine failed!\n"});
  EXPECT_NE(message.find(reason), std::string::npos) << message;
  EXPECT_EQ(log.find("Try to load model"), std::string::npos);
}

// Models that give no audio, or audio that is not numbers, fail the text
// naming the model; no file appears.
TEST(ToolStartupTest, SynthesisWithoutUsableAudioFails) {
  QuietEnvironment();
  struct Case {
    const char* acoustic;
    const char* vocoder;
    std::string record;
  };
  // 你好: its 4 phones and the pause that ends every utterance.
  const std::vector<Case> cases = {
      {"/no_frames_acoustic.onnx", "/vocoder.onnx",
       "/no_frames_acoustic.onnx: the acoustic model gave no frames for 5 "
       "phones"},
      {"/acoustic.onnx", "/no_samples_vocoder.onnx",
       "/no_samples_vocoder.onnx: the vocoder gave no samples for 5 frames"},
      {"/acoustic.onnx", "/nan_vocoder.onnx",
       "/nan_vocoder.onnx: the vocoder gave a sample that is NaN or infinite "
       "in chunk 0"},
  };
  for (const Case& c : cases) {
    ToolSetup setup(c.vocoder, std::string("--fastspeech2_model_path=") +
                                   kModels + c.acoustic + "\n");
    CaptureStdout();
    CaptureStderr();
    {
      Tool tool(setup.conf_path);
      EXPECT_FALSE(tool.predict("你好")) << c.record;
    }
    GetCapturedStderr();
    const std::string log = GetCapturedStdout();
    EXPECT_NE(log.find("[ERROR] model " + kModels + c.record + "\n"),
              std::string::npos)
        << log;
    EXPECT_FALSE(std::filesystem::exists(setup.out_dir + "/你好"));
  }
}

// The samples kept of each chunk follow the voice: 300 a frame unless the
// vocoder declares otherwise, never more than the vocoder gave.
TEST(ToolStartupTest, TrimmingFollowsTheDeclaredHop) {
  QuietEnvironment();
  struct Case {
    const char* vocoder;
    std::vector<std::size_t> chunk_sizes;
  };
  const std::vector<Case> cases = {
      // 200 samples a frame, none declared: 50 x 200 all of it, then
      // 4200 .. 15000 of 11600, and 22 x 200 = 4400: 4200 .. 4400.
      {"/short_vocoder.onnx", {10000, 7400, 200}},
      // The same model declaring its 200: exactly 36 frames a chunk.
      {"/hop200_vocoder.onnx", {7200, 7200, 1600}},
  };
  for (const Case& c : cases) {
    ToolSetup setup(c.vocoder);
    CaptureStdout();
    CaptureStderr();
    std::vector<std::vector<float>> chunks;
    {
      Tool tool(setup.conf_path);
      // 80 frames: the last is the pause (13) the engine would append.
      std::vector<int64_t> ids(80, 1);
      ids.back() = 13;
      EXPECT_TRUE(tool.Synthesize(ids, chunks).ok()) << c.vocoder;
    }
    GetCapturedStderr();
    GetCapturedStdout();
    ASSERT_EQ(chunks.size(), c.chunk_sizes.size()) << c.vocoder;
    for (std::size_t k = 0; k < chunks.size(); ++k) {
      EXPECT_EQ(chunks[k].size(), c.chunk_sizes[k]) << c.vocoder << " " << k;
    }
  }
}

// The thread keys reach both sessions, 0 intra-op threads as one per core,
// and the records show what the sessions got.
TEST(ToolStartupTest, ThreadKeysReachBothSessions) {
  QuietEnvironment();
  ToolSetup setup("/vocoder.onnx",
                  "--intra_op_num_threads=0\n--inter_op_num_threads=1\n"
                  "--allow_spinning=0\n");
  CaptureStdout();
  CaptureStderr();
  {
    Tool tool(setup.conf_path);
    std::vector<int64_t> ids(20, 1);
    std::vector<std::vector<float>> chunks;
    EXPECT_TRUE(tool.Synthesize(ids, chunks).ok());
  }
  GetCapturedStderr();
  const std::string log = GetCapturedStdout();
  const std::string cores = std::to_string(AvailableCores());
  const std::string loaded = ", intra/inter_op_num_threads=" + cores + "/1\n";
  ExpectInOrder(log, {"[INFO] Info: intra_op_num_threads is " + cores + "\n",
                      "[INFO] Info: inter_op_num_threads is 1\n",
                      "[INFO] Info: allow_spinning is 0\n",
                      "/acoustic.onnx" + loaded, "/vocoder.onnx" + loaded});
}

}  // namespace
}  // namespace tolvaren
