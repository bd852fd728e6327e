// Id tables read once into integers.

#include "speech_neural_network/lexicon/id_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace speechnn {
namespace {

// Ids are decimal text read leniently, as the shipped tables were always
// read: a broken entry gives a number, never an error.
TEST(IdTableTest, IdTextIsReadAsSaturatedDecimal) {
  const struct {
    std::string text;
    std::int32_t id;
  } cases[] = {
      {"12", 12},
      {"  \t+7", 7},
      {"12abc", 12},
      {"abc", 0},
      {"-3", -3},
      {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN},
      {"-2147483648", INT_MIN},
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseId(c.text), c.id) << c.text;
}

TEST(IdTableTest, MissingSymbolsReadZeroAndSymbolsWithoutAnIdAreLeftOut) {
  const IdTable table(StringMap{{"sp", "5"}, {"a1", ""}, {"b", "x"}});
  EXPECT_EQ(table.Id("sp"), 5);
  EXPECT_EQ(table.Id("b"), 0);
  EXPECT_EQ(table.Find("b"), 0);
  // Neither a missing symbol nor one with an empty id names id 0 when the
  // table is read backwards.
  EXPECT_EQ(table.Id("a1"), 0);
  EXPECT_FALSE(table.Find("a1").has_value());
  EXPECT_FALSE(table.Find("zz").has_value());
  EXPECT_EQ(table.ids().size(), 2u);
}

}  // namespace
}  // namespace speechnn
