#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/systemd_sink.h>
#include <spdlog/spdlog.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// After the journal sink's headers: see the note on LOG_INFO there.
#include "tool/logger.h"

namespace tolvaren {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr char kFile[] = "/any/where/src/tool/logger_test.cc";

// Sets or clears the three variables for one holder construction.
void SetEnv(const char* name, const char* value) {
  if (value == nullptr) {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
}

struct Env {
  const char* stdout_value;
  const char* systemd_value;
  const char* level_value;
};

// Builds a holder under `env`, returning what it printed.
std::string Build(const Env& env, std::unique_ptr<LoggerHolder>& holder) {
  SetEnv("SPDLOG_STDOUT", env.stdout_value);
  SetEnv("SPDLOG_SYSTEMD", env.systemd_value);
  SetEnv("SPDLOG_LEVEL", env.level_value);
  CaptureStdout();
  holder = std::make_unique<LoggerHolder>();
  return GetCapturedStdout();
}

// Keeps the records and call sites a logger passes to it.
class RecordingSink : public spdlog::sinks::base_sink<std::mutex> {
 public:
  struct Record {
    std::string text;
    std::string file;
    int line;
    std::string function;
    spdlog::level::level_enum level;
  };
  std::vector<Record> records;

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    records.push_back({std::string(msg.payload.data(), msg.payload.size()),
                       msg.source.filename, msg.source.line,
                       msg.source.funcname, msg.level});
  }
  void flush_() override {}
};

TEST(LoggerHolderTest, NoticesForUnsetVariablesComeInOrder) {
  std::unique_ptr<LoggerHolder> holder;
  const std::string out = Build({nullptr, nullptr, nullptr}, holder);
  EXPECT_EQ(out,
            "environment variable SPDLOG_STDOUT is not set, and set true\n"
            "environment variable SPDLOG_SYSTEMD is not set, and set false\n"
            "environment variable SPDLOG_LEVEL is not set, and set default "
            "level\n");
  ASSERT_NE(holder->logger, nullptr);
  EXPECT_EQ(holder->logger->name(), "spdlog");
  ASSERT_EQ(holder->logger->sinks().size(), 1u);
  EXPECT_NE(
      std::dynamic_pointer_cast<
          spdlog::sinks::ansicolor_stdout_sink<spdlog::details::console_mutex>>(
          holder->logger->sinks()[0]),
      nullptr);
  EXPECT_EQ(holder->level, 2);
  EXPECT_EQ(holder->record_count, 0);
  // Not registered: the program's logger stays private.
  EXPECT_EQ(spdlog::get("spdlog"), nullptr);
}

TEST(LoggerHolderTest, InvalidSwitchesFallBackToDefaultsWithNotices) {
  std::unique_ptr<LoggerHolder> holder;
  const std::string out = Build({"yes", "TRUE", "info"}, holder);
  EXPECT_EQ(out,
            "environment variable SPDLOG_STDOUT is invalid, and set true\n"
            "environment variable SPDLOG_SYSTEMD is invalid, and set false\n");
  EXPECT_EQ(holder->logger->sinks().size(), 1u);
}

TEST(LoggerHolderTest, LevelNamesAreMatchedExactly) {
  const std::string invalid =
      "environment variable SPDLOG_LEVEL is invalid, and set default level\n";
  struct Case {
    const char* name;
    std::string notice;
    int level;
  };
  // Case and spdlog's own names differ: the default, with a notice.
  const std::vector<Case> cases = {
      {"trace", "", 0},     {"debug", "", 1},     {"info", "", 2},
      {"warning", "", 3},   {"error", "", 4},     {"critical", "", 5},
      {"INFO", invalid, 2}, {"warn", invalid, 2}, {"err", invalid, 2},
      {"off", invalid, 2},  {"", invalid, 2}};
  for (const Case& c : cases) {
    std::unique_ptr<LoggerHolder> holder;
    EXPECT_EQ(Build({"true", "false", c.name}, holder), c.notice) << c.name;
    EXPECT_EQ(holder->level, c.level) << c.name;
  }
  std::unique_ptr<LoggerHolder> holder;
  Build({"true", "false", "warning"}, holder);
  EXPECT_EQ(holder->logger->level(), spdlog::level::warn);
}

TEST(LoggerHolderTest, SinksFollowTheSwitches) {
  std::unique_ptr<LoggerHolder> holder;
  Build({"false", "false", "info"}, holder);
  EXPECT_TRUE(holder->logger->sinks().empty());

  // The journal sink is wired (this machine has no journal to deliver to).
  Build({"false", "true", "info"}, holder);
  ASSERT_EQ(holder->logger->sinks().size(), 1u);
  EXPECT_NE(std::dynamic_pointer_cast<spdlog::sinks::systemd_sink<std::mutex>>(
                holder->logger->sinks()[0]),
            nullptr);

  Build({"true", "true", "info"}, holder);
  ASSERT_EQ(holder->logger->sinks().size(), 2u);
  EXPECT_NE(
      std::dynamic_pointer_cast<
          spdlog::sinks::ansicolor_stdout_sink<spdlog::details::console_mutex>>(
          holder->logger->sinks()[0]),
      nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<spdlog::sinks::systemd_sink<std::mutex>>(
                holder->logger->sinks()[1]),
            nullptr);
}

TEST(WriteRecordTest, ConsoleShowsCounterTagAndMessage) {
  std::unique_ptr<LoggerHolder> holder;
  Build({"true", "false", "info"}, holder);
  CaptureStdout();
  WriteRecord(*holder, kLevelInfo, kFile, 1, "f", "front process receive 你好");
  WriteRecord(*holder, kLevelError, kFile, 2, "f", "broken {} braces");
  EXPECT_EQ(GetCapturedStdout(),
            "  1 [INFO] front process receive 你好\n"
            "  2 [ERROR] broken {} braces\n");
}

TEST(WriteRecordTest, CounterWrapsShowingSevenBits) {
  std::unique_ptr<LoggerHolder> holder;
  Build({"false", "false", "info"}, holder);
  auto sink = std::make_shared<RecordingSink>();
  holder->logger->sinks().push_back(sink);
  for (int i = 0; i < 260; ++i) {
    WriteRecord(*holder, kLevelInfo, kFile, 1, "f", "x");
  }
  ASSERT_EQ(sink->records.size(), 260u);
  EXPECT_EQ(sink->records[0].text, "  1 [INFO] x");
  EXPECT_EQ(sink->records[126].text, "127 [INFO] x");
  EXPECT_EQ(sink->records[127].text, "  0 [INFO] x");
  EXPECT_EQ(sink->records[128].text, "  1 [INFO] x");
  EXPECT_EQ(sink->records[255].text, "  0 [INFO] x");  // counter back at 0
  EXPECT_EQ(sink->records[256].text, "  1 [INFO] x");
  EXPECT_EQ(holder->record_count, 260 % 256);
}

// The counter numbers the records that pass the threshold, whether or not
// a sink takes them.
TEST(WriteRecordTest, OnlyRecordsAboveTheThresholdAreCounted) {
  std::unique_ptr<LoggerHolder> holder;
  Build({"false", "false", "error"}, holder);
  WriteRecord(*holder, kLevelError, kFile, 1, "f", "nowhere");
  auto sink = std::make_shared<RecordingSink>();
  holder->logger->sinks().push_back(sink);
  WriteRecord(*holder, kLevelInfo, kFile, 1, "f", "dropped");
  WriteRecord(*holder, kLevelError, kFile, 1, "f", "kept");
  ASSERT_EQ(sink->records.size(), 1u);
  EXPECT_EQ(sink->records[0].text, "  2 [ERROR] kept");
  EXPECT_EQ(holder->record_count, 2);
}

// Records made under a hold on another thread come out when released, in
// their order and after what this thread wrote meanwhile (their counter
// numbers included); a hold never released drops its records.
TEST(HeldRecordsTest, ReleasedInOrderAfterTheWriterOrDropped) {
  std::unique_ptr<LoggerHolder> holder;
  Build({"false", "false", "info"}, holder);
  auto sink = std::make_shared<RecordingSink>();
  holder->logger->sinks().push_back(sink);
  HeldRecords held;
  std::thread worker([&] {
    const RecordHold hold(held);
    WriteRecord(*holder, kLevelInfo, kFile, 1, "f", "model one");
    WriteRecord(*holder, kLevelError, kFile, 2, "f", "model two");
  });
  worker.join();
  WriteRecord(*holder, kLevelInfo, kFile, 3, "f", "front end");
  ASSERT_EQ(sink->records.size(), 1u);
  EXPECT_TRUE(holder->last_error.empty());
  held.Release();
  EXPECT_TRUE(held.empty());
  {
    HeldRecords dropped;
    const RecordHold hold(dropped);
    WriteRecord(*holder, kLevelError, kFile, 4, "f", "never used");
  }
  WriteRecord(*holder, kLevelInfo, kFile, 5, "f", "after");
  std::vector<std::string> texts;
  for (const RecordingSink::Record& record : sink->records) {
    texts.push_back(record.text);
  }
  EXPECT_THAT(texts, ElementsAre("  1 [INFO] front end", "  2 [INFO] model one",
                                 "  3 [ERROR] model two", "  4 [INFO] after"));
  EXPECT_EQ(sink->records[2].line, 2);
  EXPECT_EQ(holder->last_error, "model two");
}

TEST(LogSourceNameTest, PathFromTheTreeWithoutExtension) {
  const std::string root = TOLVAREN_SOURCE_ROOT_DIR;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {root + "/src/tool/synth/vocoder.cc", "./src/tool/synth/vocoder"},
      {root + "/src/tool/tool.cc", "./src/tool/tool"},
      {root + "/tests/tool/logger_test.cc", "./tests/tool/logger_test"},
      // Outside the tree: from the last src/ folder on.
      {"/elsewhere/src/app/src/tool/x.h", "./src/tool/x"},
      {"src/tool/main.cc", "./src/tool/main"},
      {"./src/tool/tool", "./src/tool/tool"},
      {"/no/tree.d/file", "./no/tree.d/file"},
  };
  for (const auto& [file, name] : cases) {
    EXPECT_EQ(LogSourceName(file), name) << file;
  }
}

TEST(LogMacroTest, RecordsCarryTheCallSite) {
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "info", 1);
  LoggerHolder& holder = GetLogger();
  auto sink = std::make_shared<RecordingSink>();
  holder.logger->sinks().push_back(sink);
  const uint8_t before = holder.record_count;
  const int line = __LINE__ + 1;
  LOG_INFO("value {} and {}", 42, "text");
  LOG_ERROR("failed");
  holder.logger->sinks().pop_back();
  ASSERT_EQ(sink->records.size(), 2u);
  EXPECT_THAT(sink->records[0].text, HasSubstr("[INFO] value 42 and text"));
  // The source name is this file's path from the tree's root.
  EXPECT_EQ(sink->records[0].file, "./tests/tool/logger_test");
  EXPECT_EQ(sink->records[0].line, line);
  EXPECT_EQ(sink->records[0].function, "TestBody");
  EXPECT_EQ(sink->records[0].level, spdlog::level::info);
  EXPECT_EQ(sink->records[1].level, spdlog::level::err);
  EXPECT_EQ(static_cast<uint8_t>(holder.record_count - before), 2);
}

}  // namespace
}  // namespace tolvaren
