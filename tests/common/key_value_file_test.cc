#include "common/key_value_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace tolvaren {
namespace {

TEST(KeyValueFileTest, SplitsOnlyDashedLinesWithAnEqualsSign) {
  struct Case {
    const char* line;
    bool holds_entry;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"--a=b", true, "a", "b"},
      {"--a=b=c", true, "a", "b=c"},  // the first '=' splits
      {"--=v", true, "", "v"},
      {"--a =  b\r", true, "a ", "  b\r"},  // nothing trimmed
      {"--a", false, "", ""},
      {"-a=b", false, "", ""},
      {"a=b", false, "", ""},
      {"", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string key;
    std::string value;
    ASSERT_EQ(SplitKeyValueLine(c.line, key, value), c.holds_entry) << c.line;
    if (!c.holds_entry) continue;
    EXPECT_EQ(key, c.key) << c.line;
    EXPECT_EQ(value, c.value) << c.line;
  }
}

TEST(KeyValueFileTest, KeepsFileOrderLineNumbersAndRepeatedKeys) {
  char dir_template[] = "/tmp/key_value_file_testXXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  const std::string path = dir + "/conf";
  std::ofstream(path) << "# comment\n--a=1\n\n--b=2\n--a=3";
  std::vector<KeyValueLine> entries;
  ASSERT_TRUE(ReadKeyValueFile(path, entries).ok());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].line_number, 2);
  EXPECT_EQ(entries[1].key, "b");
  EXPECT_EQ(entries[1].line_number, 4);
  EXPECT_EQ(entries[2].value, "3");

  std::vector<KeyValueLine> none;
  EXPECT_TRUE(absl::IsNotFound(ReadKeyValueFile(dir + "/missing", none)));
  // A directory opens but cannot be read.
  EXPECT_TRUE(absl::IsDataLoss(ReadKeyValueFile(dir, none)));
  EXPECT_TRUE(none.empty());
  std::remove(path.c_str());
  rmdir(dir.c_str());
}

}  // namespace
}  // namespace tolvaren
