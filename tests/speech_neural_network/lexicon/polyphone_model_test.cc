#include "speech_neural_network/lexicon/polyphone_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"
#include "speech_neural_network/lexicon/polyphone_features.h"

namespace speechnn {
namespace {

// One weight line of a table.
std::string Row(const std::string& feature, const std::string& weights) {
  char hash[17];
  std::snprintf(hash, sizeof(hash), "%016llx",
                static_cast<unsigned long long>(HashFeature(feature)));
  return std::string(hash) + "\t" + weights + "\n";
}

// 长 is zhang3 before 大, chang2 otherwise; 为 wei2 after 成, wei4
// otherwise; the word 长大 is listed.
std::string GoodModel() {
  return "tolvaren-polyphone-model 1\n"
         "characters 2\n"
         "长\t2\tch ang2\tzh ang3\n"
         "为\t2\t- ui4\t- ui2\n"
         "words 1\n"
         "长大\n" +
         Row("b", "1 0") + Row("c+1=大", "-1 1") + Row("b", "0.5 0") +
         Row("c-1=成", "0 2");
}

TEST(PolyphoneModelTest, MalformedTablesAreRefusedWithTheLine) {
  struct Case {
    std::string text;
    std::string error;  // empty: accepted
  };
  const std::string good = GoodModel();
  const auto replace = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::vector<Case> cases = {
      {good, ""},
      {"", "line 0: empty file"},
      {replace("tolvaren-polyphone-model 1", "voice 1"),
       "line 1: not a polyphone model"},
      {replace("model 1\n", "model 2\n"),
       "line 1: format version 2, this build reads version 1"},
      {replace("characters 2", "characters 0"), "line 2: expected"},
      {replace("characters 2", "characters 3"), "line 5: expected CHARACTER"},
      {replace("长\t2\tch ang2\tzh ang3", "长\t2\tch ang2"),
       "line 3: expected CHARACTER"},
      {replace("zh ang3", "zh ang"), "reading \"zh ang\" is not"},
      {replace("为\t2", "长\t2"), "line 4: character listed twice"},
      {replace("为\t2", "为\t99999999999"), "more features listed than the"},
      {replace("words 1\n长大\n", ""), "line 5: expected \"words M\""},
      {replace("-1 1", "-1"), "line 8: expected 2 weights"},
      {replace("-1 1", "-1 x"), "line 8: weight \"x\" is not a number"},
      {good.substr(0, good.rfind('\n', good.size() - 2) + 1),
       "the weights end early"},
      {good + "extra\n", "unexpected text after the weights"},
  };
  for (const Case& c : cases) {
    const auto model = PolyphoneModel::Parse(c.text, "m.txt");
    if (c.error.empty()) {
      EXPECT_TRUE(model.ok()) << model.status();
      continue;
    }
    ASSERT_FALSE(model.ok()) << c.error;
    EXPECT_EQ(model.status().message().rfind("polyphone model m.txt line ", 0),
              0u)
        << model.status();
    EXPECT_NE(std::string(model.status().message()).find(c.error),
              std::string::npos)
        << model.status();
  }
}

// The trainer computes the same names (tools/polyphone/test_polyphone_data.py
// reads the same file): a model is only as good as this agreement.
TEST(PolyphoneFeaturesTest, HashesAreThoseOfTheSharedNames) {
  std::ifstream file(std::string(TOLVAREN_SOURCE_DIR) +
                     "/tools/polyphone/feature_names.txt");
  ASSERT_TRUE(file.is_open());
  std::vector<std::uint64_t> expected;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line[0] != '#') expected.push_back(HashFeature(line));
  }
  const WordTagList words = {{"他", "r"}, {"长大", "v"}, {"了", "ul"}};
  EXPECT_EQ(PolyphoneSentence(words).Features(1, 0, "zh", "ang3"), expected);
  EXPECT_EQ(HashFeature("c+1=大"), 0xbe1fbcdf2781b1d5ull);
}

TEST(PolyphoneModelTest, OnlyRegularFilesAreRead) {
  TempDir dir;
  EXPECT_TRUE(absl::IsNotFound(
      PolyphoneModel::Load(dir.path() + "/none.txt").status()));
  const auto directory = PolyphoneModel::Load(dir.path());
  EXPECT_NE(directory.status().message().find(dir.path() + ": it is a folder"),
            absl::string_view::npos);
  const auto model =
      PolyphoneModel::Load(dir.WriteFile("model.txt", GoodModel()));
  ASSERT_TRUE(model.ok()) << model.status();
  EXPECT_EQ(model->size(), 2u);
}

TEST(PolyphoneModelTest, ReadsWhereTheDictionaryWordDoesNotSettleIt) {
  const auto model = PolyphoneModel::Parse(GoodModel(), "m.txt");
  ASSERT_TRUE(model.ok()) << model.status();
  struct Case {
    WordTagList words;
    std::size_t word;
    std::string decided_by;  // before
    std::string initial, final, after;
  };
  const std::vector<Case> cases = {
      // One character: the context decides.
      {{{"他", "r"}, {"长", "v"}, {"大", "a"}}, 1, "d", "zh", "ang3", "m"},
      {{{"很", "d"}, {"长", "a"}}, 1, "d", "ch", "ang2", "m"},
      // A rule's reading stands.
      {{{"成", "v"}, {"为", "p"}}, 1, "r", "", "ui4", "r"},
      {{{"成", "v"}, {"为", "p"}}, 1, "d", "", "ui2", "m"},
      // A dictionary word stands unless the table lists it; a word without
      // an entry of its own is read.
      {{{"长大了", "v"}}, 0, "ddd", "ch", "ang2", "ddd"},
      {{{"长大了", "v"}}, 0, "ppp", "zh", "ang3", "mpp"},
      {{{"长大", "v"}}, 0, "dd", "zh", "ang3", "md"},
  };
  for (const Case& c : cases) {
    const PolyphoneSentence sentence(c.words);
    const std::size_t size = c.decided_by.size();
    std::vector<std::string> initials(size, "ch");
    std::vector<std::string> finals(size, "ang2");
    if (c.words[c.word].first == "为") {
      initials = {""};
      finals = {"ui4"};
    }
    std::string decided_by = c.decided_by;
    ReadWithModel(*model, sentence, c.word, false, initials, finals,
                  decided_by);
    const std::string text = c.words[c.word].first + "/" + c.decided_by;
    EXPECT_EQ(initials[0], c.initial) << text;
    EXPECT_EQ(finals[0], c.final) << text;
    EXPECT_EQ(decided_by, c.after) << text;
  }
}

}  // namespace
}  // namespace speechnn
