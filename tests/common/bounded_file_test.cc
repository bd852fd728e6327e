#include "common/bounded_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace tolvaren {
namespace {

class BoundedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/bounded_file_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    static_cast<void>(std::system(("rm -rf '" + dir_ + "'").c_str()));
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string dir_;
};

TEST_F(BoundedFileTest, ReadsRegularFilesAndRefusesTheRestWithoutBlocking) {
  const std::string fifo = dir_ + "/fifo";  // no writer: opening must not wait
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    std::size_t bound;
    absl::StatusCode code;
    const char* said;  // in the message, beside the path
    std::string text;  // what an accepted file reads as
  };
  const std::vector<Case> cases = {
      {Write("a", "line\nmore\n"), 64, absl::StatusCode::kOk, "",
       "line\nmore\n"},
      {Write("empty", ""), 0, absl::StatusCode::kOk, "", ""},
      {Write("exact", "12345"), 5, absl::StatusCode::kOk, "", "12345"},
      {Write("over", "123456"), 5, absl::StatusCode::kOutOfRange, "larger than",
       ""},
      {dir_ + "/missing", 64, absl::StatusCode::kNotFound, "cannot open", ""},
      {dir_, 64, absl::StatusCode::kDataLoss, "folder", ""},
      {fifo, 64, absl::StatusCode::kFailedPrecondition, "a FIFO", ""},
      {"/dev/zero", 64, absl::StatusCode::kFailedPrecondition,
       "a character device", ""},
  };
  for (const Case& c : cases) {
    const absl::StatusOr<std::string> read = ReadBoundedFile(c.path, c.bound);
    const absl::Status checked = CheckBoundedFile(c.path, c.bound);
    EXPECT_EQ(read.status().code(), c.code) << c.path << read.status();
    EXPECT_EQ(checked.code(), c.code) << c.path;
    if (read.ok()) {
      EXPECT_EQ(*read, c.text) << c.path;
      continue;
    }
    const std::string message(read.status().message());
    EXPECT_NE(message.find(c.path), std::string::npos) << message;
    EXPECT_NE(message.find(c.said), std::string::npos) << message;
  }
}

TEST_F(BoundedFileTest, LinesArriveBoundedAndARunawayLineIsSkipped) {
  using Result = LineReader::Result;
  struct Case {
    std::string input;
    std::vector<std::pair<Result, std::string>> lines;  // then kEnd
  };
  const std::string runaway(200000, 'x');  // over the bound, over a block
  const std::vector<Case> cases = {
      {"", {}},
      {"a\nbc\n", {{Result::kLine, "a"}, {Result::kLine, "bc"}}},
      {"a\n\nlast",
       {{Result::kLine, "a"}, {Result::kLine, ""}, {Result::kLine, "last"}}},
      {"1234\n12345\n", {{Result::kLine, "1234"}, {Result::kTooLong, ""}}},
      {runaway + "\nok\n", {{Result::kTooLong, ""}, {Result::kLine, "ok"}}},
      {"ok\n" + runaway, {{Result::kLine, "ok"}, {Result::kTooLong, ""}}},
  };
  for (const Case& c : cases) {
    const std::string path = Write("lines", c.input);
    const int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    LineReader reader(fd, 4);
    std::string line;
    for (const auto& [result, text] : c.lines) {
      ASSERT_EQ(reader.Next(line), result) << c.input.substr(0, 20);
      if (result == Result::kLine) {
        EXPECT_EQ(line, text);
      }
    }
    EXPECT_EQ(reader.Next(line), Result::kEnd) << c.input.substr(0, 20);
    close(fd);
  }
}

}  // namespace
}  // namespace tolvaren
