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

TEST(KeyValueFileTest, DescribesTheLinesThatWereMostLikelyMistyped) {
  char dir_template[] = "/tmp/key_value_file_testXXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string path = std::string(dir_template) + "/conf";
  std::ofstream(path) << "--a=1\n--a = 2\n--b\n--c=3\n--a=4\n--b= x\n"
                         "# --z\n--\x1b=5\n";
  std::vector<KeyValueLine> entries;
  std::vector<KeyValueLine> skipped;
  ASSERT_TRUE(ReadKeyValueFile(path, entries, &skipped).ok());
  const std::string at = "configuration " + path + " line ";
  const std::vector<std::string> expected = {
      at + "2: the key \"a \" has blanks around it; the line is ignored "
           "(write --key=value)",
      at + "3: no '=' in \"--b\"; the line is ignored",
      at + "4: unknown key \"c\"; the line is ignored",
      at + "5: the key a is set again; this later value counts",
      at + "6: the value of b starts with a blank, which is kept",
      at + "8: unknown key \"\\x1b\"; the line is ignored"};
  EXPECT_EQ(DescribeKeyProblems(path, entries, skipped, {"a", "b"}), expected);
  std::remove(path.c_str());
  rmdir(dir_template);
}

}  // namespace
}  // namespace tolvaren
