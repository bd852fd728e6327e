// The chunk file writer and its reader.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
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
#include "tool/tool.h"

namespace tolvaren {
namespace {

using speechnn::TempDir;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

uint64_t U64At(const std::string& bytes, std::size_t offset) {
  uint64_t value;
  std::memcpy(&value, bytes.data() + offset, sizeof(value));
  return value;
}

class WavWriterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("SPDLOG_STDOUT", "true", 1);
    setenv("SPDLOG_SYSTEMD", "false", 1);
    setenv("SPDLOG_LEVEL", "info", 1);
  }
  TempDir dir_;
};

TEST_F(WavWriterTest, LayoutIsCountsThenSamples) {
  std::vector<std::vector<float>> chunks = {std::vector<float>(10800, 0.25f),
                                            std::vector<float>(10800, -1.5f),
                                            std::vector<float>(2400, 3.0f)};
  chunks[0][0] = 7.0f;
  const std::string path = dir_.path() + "/你好";
  ASSERT_TRUE(saveWavBufferToFile(path, chunks));
  const std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 96032u);
  EXPECT_EQ(U64At(bytes, 0), 3u);
  EXPECT_EQ(U64At(bytes, 8), 10800u);
  EXPECT_EQ(U64At(bytes, 16), 10800u);
  EXPECT_EQ(U64At(bytes, 24), 2400u);
  float first;
  std::memcpy(&first, bytes.data() + 32, 4);
  EXPECT_EQ(first, 7.0f);

  std::vector<float> samples;
  std::string error;
  ASSERT_TRUE(ReadChunkFile(path, samples, error)) << error;
  ASSERT_EQ(samples.size(), 24000u);
  EXPECT_EQ(samples[0], 7.0f);
  EXPECT_EQ(samples[10800], -1.5f);  // written unscaled, unclipped
  EXPECT_EQ(samples[23999], 3.0f);
}

TEST_F(WavWriterTest, EmptyListsAndEmptyChunks) {
  const std::string path = dir_.path() + "/empty";
  ASSERT_TRUE(saveWavBufferToFile(path, {}));
  const std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 8u);
  EXPECT_EQ(U64At(bytes, 0), 0u);

  ASSERT_TRUE(saveWavBufferToFile(path, {{}, {1.0f}, {}}));
  EXPECT_EQ(ReadBytes(path).size(), 8u + 24u + 4u);
  std::vector<float> samples;
  std::string error;
  ASSERT_TRUE(ReadChunkFile(path, samples, error)) << error;
  EXPECT_EQ(samples, std::vector<float>{1.0f});
}

TEST_F(WavWriterTest, ReplacesAnExistingFileAndLeavesNoTemporaries) {
  const std::string path = dir_.path() + "/again";
  ASSERT_TRUE(saveWavBufferToFile(path, {std::vector<float>(1000, 1.0f)}));
  ASSERT_TRUE(saveWavBufferToFile(path, {{2.0f}}));
  EXPECT_EQ(ReadBytes(path).size(), 8u + 8u + 4u);
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IRGRP, 0u) << "the file keeps plain permissions";
}

TEST_F(WavWriterTest, UnwritablePathsAreReported) {
  const std::vector<std::string> paths = {
      dir_.path() + "/missing/dir/file",
      dir_.path() + "/" + std::string(300, 'x'),  // beyond the name limit
      dir_.path() + "/" + std::string(100, '\xE4') /* 300-byte name below */,
  };
  CaptureStdout();
  EXPECT_FALSE(saveWavBufferToFile(paths[0], {{1.0f}}));
  EXPECT_FALSE(saveWavBufferToFile(paths[1], {{1.0f}}));
  std::string long_chinese = dir_.path() + "/";
  for (int i = 0; i < 90; ++i) long_chinese += "你";  // 270 bytes
  EXPECT_FALSE(saveWavBufferToFile(long_chinese, {{1.0f}}));
  const std::string log = GetCapturedStdout();
  EXPECT_NE(log.find("[ERROR] 无法打开文件：" + paths[0] + "\n"),
            std::string::npos);
  EXPECT_NE(log.find("[ERROR] 无法打开文件：" + paths[1] + "\n"),
            std::string::npos);
  EXPECT_NE(log.find("[ERROR] 无法打开文件：" + long_chinese + "\n"),
            std::string::npos);
}

TEST_F(WavWriterTest, WriteErrorsLeaveTheEarlierFileIntact) {
  const std::string path = dir_.path() + "/kept";
  ASSERT_TRUE(saveWavBufferToFile(path, {{1.0f, 2.0f}}));
  const std::string before = ReadBytes(path);

  // A file size limit makes the writes fail part-way, like a full disk.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = 4096;
  std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  CaptureStdout();
  const bool written =
      saveWavBufferToFile(path, {std::vector<float>(100000, 0.5f)});
  const std::string log = GetCapturedStdout();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, SIG_DFL);

  EXPECT_FALSE(written);
  EXPECT_NE(log.find("[ERROR] Failed to write file " + path),
            std::string::npos);
  EXPECT_EQ(ReadBytes(path), before);
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1) << "no temporary file is left behind";
}

TEST_F(WavWriterTest, SpecialFilesAreWrittenInPlace) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  CaptureStdout();
  EXPECT_FALSE(saveWavBufferToFile("/dev/full", {{1.0f}}));
  const std::string log = GetCapturedStdout();
  EXPECT_NE(log.find("[ERROR] Failed to write file /dev/full"),
            std::string::npos);
  struct stat info;
  ASSERT_EQ(stat("/dev/full", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device node must stay";
  EXPECT_TRUE(saveWavBufferToFile("/dev/null", {{1.0f}}));
}

TEST_F(WavWriterTest, ReaderRejectsForeignAndTruncatedFiles) {
  const std::string good = dir_.path() + "/good";
  ASSERT_TRUE(saveWavBufferToFile(good, {{1.0f, 2.0f}, {3.0f}}));
  const std::string bytes = ReadBytes(good);
  struct Case {
    std::string name;
    std::string contents;
  };
  std::string huge_count = bytes;
  const uint64_t absurd = UINT64_MAX / 2;
  std::memcpy(huge_count.data(), &absurd, 8);
  std::string huge_samples = bytes;
  std::memcpy(huge_samples.data() + 8, &absurd, 8);
  const std::vector<Case> cases = {
      {"empty", ""},
      {"short", "abc"},
      {"truncated", bytes.substr(0, bytes.size() - 1)},
      {"trailing", bytes + "x"},
      {"counts only", bytes.substr(0, 24)},
      {"absurd chunk count", huge_count},
      {"absurd sample count", huge_samples},
      {"text", "RIFF$\x00\x00\x00WAVEfmt this is not ours at all"},
  };
  for (const Case& c : cases) {
    const std::string path = dir_.WriteFile("case", c.contents);
    std::vector<float> samples;
    std::string error;
    EXPECT_FALSE(ReadChunkFile(path, samples, error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
  std::vector<float> samples;
  std::string error;
  EXPECT_FALSE(ReadChunkFile(dir_.path() + "/none", samples, error));
  EXPECT_TRUE(ReadChunkFile(good, samples, error));
  EXPECT_EQ(samples, (std::vector<float>{1.0f, 2.0f, 3.0f}));
}

}  // namespace
}  // namespace tolvaren
