// The chunk file writer and its reader. What the tool logs for each
// failure is tool_test's.

#include "tool/io/chunk_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"
#include "tool/io/chunk_file_stream.h"

namespace tolvaren {
namespace {

using speechnn::TempDir;

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

uint64_t U64At(const std::string& bytes, std::size_t offset) {
  uint64_t value;
  std::memcpy(&value, bytes.data() + offset, sizeof(value));
  return value;
}

// Every entry of a folder (the writer's temporaries included).
int Entries(const std::string& dir) {
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    (void)entry;
    ++entries;
  }
  return entries;
}

class ChunkFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(ChunkFileTest, LayoutIsCountsThenSamples) {
  std::vector<std::vector<float>> chunks = {std::vector<float>(10800, 0.25f),
                                            std::vector<float>(10800, -1.5f),
                                            std::vector<float>(2400, 3.0f)};
  chunks[0][0] = 7.0f;
  const std::string path = dir_.path() + "/你好";
  ASSERT_TRUE(WriteChunkFile(path, chunks).ok());
  const std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 96032u);
  EXPECT_EQ(U64At(bytes, 0), 3u);
  EXPECT_EQ(U64At(bytes, 8), 10800u);
  EXPECT_EQ(U64At(bytes, 16), 10800u);
  EXPECT_EQ(U64At(bytes, 24), 2400u);
  float first;
  std::memcpy(&first, bytes.data() + 32, 4);
  EXPECT_EQ(first, 7.0f);

  const absl::StatusOr<std::vector<float>> samples = ReadChunkFile(path);
  ASSERT_TRUE(samples.ok()) << samples.status();
  ASSERT_EQ(samples->size(), 24000u);
  EXPECT_EQ((*samples)[0], 7.0f);
  EXPECT_EQ((*samples)[10800], -1.5f);  // written unscaled, unclipped
  EXPECT_EQ((*samples)[23999], 3.0f);
}

TEST_F(ChunkFileTest, EmptyListsAndEmptyChunks) {
  const std::string path = dir_.path() + "/empty";
  ASSERT_TRUE(WriteChunkFile(path, {}).ok());
  const std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 8u);
  EXPECT_EQ(U64At(bytes, 0), 0u);

  ASSERT_TRUE(WriteChunkFile(path, {{}, {1.0f}, {}}).ok());
  EXPECT_EQ(ReadBytes(path).size(), 8u + 24u + 4u);
  EXPECT_EQ(ReadChunkFile(path).value(), std::vector<float>{1.0f});
}

TEST_F(ChunkFileTest, ReplacesAnExistingFileAndLeavesNoTemporaries) {
  const std::string path = dir_.path() + "/again";
  ASSERT_TRUE(WriteChunkFile(path, {std::vector<float>(1000, 1.0f)}).ok());
  ASSERT_TRUE(WriteChunkFile(path, {{2.0f}}).ok());
  EXPECT_EQ(ReadBytes(path).size(), 8u + 8u + 4u);
  EXPECT_EQ(Entries(dir_.path()), 1);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IRGRP, 0u) << "the file keeps plain permissions";
}

TEST_F(ChunkFileTest, StreamedFilesHaveTheWholeWritersBytesOrDoNotExist) {
  struct Case {
    std::vector<std::vector<float>> chunks;
    bool finished;
  };
  const Case cases[] = {
      {{{1.0f, 2.0f}, {}, std::vector<float>(40000, 0.25f), {-3.0f}}, true},
      {{}, true},
      // Dropped before Finish, as a failed synthesis drops it.
      {{std::vector<float>(5000, 1.0f), {2.0f}}, false},
  };
  for (const Case& c : cases) {
    const TempDir dir;
    const std::string path = dir.path() + "/streamed";
    {
      ChunkFileStream file(path);
      for (const std::vector<float>& chunk : c.chunks) file.Append(chunk);
      EXPECT_FALSE(std::filesystem::exists(path)) << "none until finished";
      if (c.finished) {
        ASSERT_TRUE(file.Finish().ok());
      }
    }
    if (!c.finished) {
      EXPECT_EQ(Entries(dir.path()), 0);
      continue;
    }
    EXPECT_EQ(Entries(dir.path()), 1);
    const std::string whole = dir.path() + "/whole";
    ASSERT_TRUE(WriteChunkFile(whole, c.chunks).ok());
    EXPECT_EQ(ReadBytes(path), ReadBytes(whole));
  }
  // A folder that is not there: the chunks are held and the writer's own
  // failure comes back.
  ChunkFileStream lost(dir_.path() + "/missing/file");
  lost.Append({1.0f});
  EXPECT_TRUE(absl::IsUnavailable(lost.Finish()));
}

TEST_F(ChunkFileTest, UnwritablePathsCannotBeOpened) {
  std::string long_chinese = dir_.path() + "/";
  for (int i = 0; i < 90; ++i) long_chinese += "你";  // 270 bytes
  for (const std::string& path :
       {dir_.path() + "/missing/dir/file",
        dir_.path() + "/" + std::string(300, 'x'),  // beyond the name limit
        long_chinese}) {
    EXPECT_TRUE(absl::IsUnavailable(WriteChunkFile(path, {{1.0f}}))) << path;
  }
  EXPECT_EQ(Entries(dir_.path()), 0);
}

// Only the writer's own temporaries, older than the limit, regular files.
TEST_F(ChunkFileTest, StaleTemporariesAreRemovedAndNothingElse) {
  const std::string d = dir_.path();
  for (const char* name :
       {".tolvaren_tts.aB3xY9", ".tolvaren_tts.young1", ".tolvaren_tts.aB3xY",
        ".tolvaren_tts.aB3xY9z", ".tolvaren_tts.ab-cd!", "你好"}) {
    std::ofstream(d + "/" + name) << "x";
  }
  ::symlink((d + "/你好").c_str(), (d + "/.tolvaren_tts.link01").c_str());
  std::filesystem::create_directory(d + "/.tolvaren_tts.dir001");
  const std::time_t now = std::time(nullptr);
  // Everything but young1 looks two days old.
  const std::time_t old_now = now + 2 * 86400;
  std::ofstream(d + "/.tolvaren_tts.young1") << "y";
  struct timespec times[2] = {{now + 2 * 86400 - 10, 0},
                              {now + 2 * 86400 - 10, 0}};
  ::utimensat(AT_FDCWD, (d + "/.tolvaren_tts.young1").c_str(), times, 0);
  EXPECT_EQ(RemoveStaleTemporaryFiles(d, old_now), 1u);
  EXPECT_FALSE(std::filesystem::exists(d + "/.tolvaren_tts.aB3xY9"));
  EXPECT_EQ(Entries(d), 7);
  EXPECT_EQ(RemoveStaleTemporaryFiles(d + "/missing", old_now), 0u);
}

TEST_F(ChunkFileTest, WriteErrorsLeaveTheEarlierFileIntact) {
  const std::string path = dir_.path() + "/kept";
  ASSERT_TRUE(WriteChunkFile(path, {{1.0f, 2.0f}}).ok());
  const std::string before = ReadBytes(path);

  // A file size limit makes the writes fail part-way, like a full disk.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = 4096;
  std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const absl::Status written =
      WriteChunkFile(path, {std::vector<float>(100000, 0.5f)});
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, SIG_DFL);

  EXPECT_TRUE(absl::IsDataLoss(written)) << written;
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(Entries(dir_.path()), 1) << "no temporary file is left behind";
}

// A link planted at the output name must not let the writer overwrite what
// it points to; other entries are refused without being opened (a pipe
// would block forever).
TEST_F(ChunkFileTest, OnlyRegularFilesAreReplaced) {
  const std::string victim = dir_.path() + "/victim";
  std::ofstream(victim) << "keep";
  const std::string link = dir_.path() + "/link";
  ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
  ASSERT_TRUE(WriteChunkFile(link, {{1.0f}}).ok());
  EXPECT_EQ(ReadBytes(victim), "keep");
  struct stat info;
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(ReadChunkFile(link).value(), std::vector<float>{1.0f});

  const std::string fifo = dir_.path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/null")}) {
    EXPECT_TRUE(absl::IsFailedPrecondition(WriteChunkFile(path, {{1.0f}})))
        << path;
  }
  ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(Entries(dir_.path()), 3) << "no temporary file is left behind";

  // A replaced file keeps its permissions.
  ASSERT_EQ(chmod(victim.c_str(), 0640), 0);
  ASSERT_TRUE(WriteChunkFile(victim, {{2.0f}}).ok());
  ASSERT_EQ(stat(victim.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  // Its permission bits only: set-user-ID and the like are not copied.
  ASSERT_EQ(chmod(victim.c_str(), 06750), 0);
  ASSERT_TRUE(WriteChunkFile(victim, {{3.0f}}).ok());
  ASSERT_EQ(stat(victim.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0750u);
}

TEST_F(ChunkFileTest, ReaderRejectsForeignAndTruncatedFiles) {
  const std::string good = dir_.path() + "/good";
  ASSERT_TRUE(WriteChunkFile(good, {{1.0f, 2.0f}, {3.0f}}).ok());
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
    const absl::Status status = ReadChunkFile(path).status();
    EXPECT_TRUE(absl::IsDataLoss(status)) << c.name << ": " << status;
    EXPECT_FALSE(status.message().empty()) << c.name;
  }
  EXPECT_TRUE(absl::IsNotFound(ReadChunkFile(dir_.path() + "/none").status()));
  EXPECT_EQ(ReadChunkFile(good).value(),
            (std::vector<float>{1.0f, 2.0f, 3.0f}));
}

}  // namespace
}  // namespace tolvaren
