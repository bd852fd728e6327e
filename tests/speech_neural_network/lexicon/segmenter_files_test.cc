#include "speech_neural_network/lexicon/segmenter_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The library's segmenters, the reference the compiled dictionary's cuts
// are held to (the DictTrie header first: the others lean on it).
#include "cppjieba/DictTrie.hpp"
#include "cppjieba/FullSegment.hpp"
#include "cppjieba/HMMModel.hpp"
#include "cppjieba/MixSegment.hpp"
#include "speech_neural_network/front_test_support.h"
#include "speech_neural_network/lexicon/segmenter.h"
#include "speech_neural_network/lexicon/segmenter_dictionary.h"

namespace speechnn {
namespace {

const std::string kDictDir = std::string(TOLVAREN_BUILD_RES_DIR) + "/dict/";

SegmenterFiles ShippedFiles() {
  return {kDictDir + "jieba.dict.utf8", kDictDir + "hmm_model.utf8",
          kDictDir + "user.dict.utf8", kDictDir + "idf.utf8",
          kDictDir + "stop_words.utf8"};
}

// A model the loader accepts, for cases that spoil one part of it.
const std::string kModelRows =
    "# start\n-0.2 -3.1e+100 -3.1e+100 -1.4\n"
    "-3.1e+100 -0.5 -0.9 -3.1e+100\n-0.5 -3.1e+100 -3.1e+100 -0.9\n"
    "-3.1e+100 -0.3 -1.2 -3.1e+100\n-0.7 -3.1e+100 -3.1e+100 -0.6\n";
const std::string kEmission = "你:-1.5,好:-2.0\n";

enum class Slot { kDict, kCompiledDict, kHmm, kUserDict };

// A compiled dictionary of two words, and copies of it spoiled.
std::string CompiledBlock() {
  DictionaryWeights weights;
  return SegmenterDictionary::Compile(
      ReadMainDictionary("你好 30 l\n世界 20 n\n", weights), weights);
}
const std::string kBlock = CompiledBlock();
std::string WithByte(std::size_t at, char value) {
  std::string spoiled = kBlock;
  spoiled[at] = value;
  return spoiled;
}

struct FileCase {
  const char* name;
  Slot slot;
  std::string contents;
  // Empty: accepted. Otherwise a part of the message.
  const char* error;
};

// What the segmenter's loaders would have ended the process on, and the
// nearest files they accept.
const FileCase kCases[] = {
    {"dict_ok", Slot::kDict, "你好 30 l\n世界 20 n", ""},
    {"dict_empty", Slot::kDict, "", "has no words"},
    {"dict_two_fields", Slot::kDict, "你好 30 l\n世界 20\n", "line 2"},
    {"dict_double_blank", Slot::kDict, "你好  30 l\n", "line 1"},
    {"dict_blank_line", Slot::kDict, "你好 30 l\n\n世界 20 n\n", "line 2"},
    {"dict_zero_frequency", Slot::kDict, "你好 0 l\n", "above 0"},
    {"dict_bad_utf8", Slot::kDict, "\xe4\xbd 30 l\n", "not UTF-8"},
    {"dict_binary", Slot::kDict,
     std::string("\x7f"
                 "ELF\0\x01 \x02",
                 8),
     "line 1"},
    {"compiled_ok", Slot::kCompiledDict, kBlock, ""},
    // Its first bytes lost: the trailer no longer says what is there.
    {"compiled_cut_short", Slot::kCompiledDict, kBlock.substr(8),
     "where its trailer promises"},
    {"compiled_end_lost", Slot::kCompiledDict,
     kBlock.substr(0, kBlock.size() - 3), "line 1"},
    {"compiled_trailer_damaged", Slot::kCompiledDict,
     WithByte(kBlock.size() - 40, 'x'), "trailer is damaged"},
    {"compiled_body_damaged", Slot::kCompiledDict, WithByte(20, 'x'),
     "checksum does not match"},
    {"user_ok", Slot::kUserDict, "你好\n\n世界 n\n大家 5 r\n", ""},
    {"user_four_fields", Slot::kUserDict, "你好 1 n x\n", "line 1"},
    {"user_bad_frequency", Slot::kUserDict, "\n你好 many n\n", "line 2"},
    {"hmm_ok", Slot::kHmm,
     kModelRows + kEmission + kEmission + kEmission + "\n" + kEmission, ""},
    {"hmm_empty", Slot::kHmm, "", "start row"},
    {"hmm_truncated", Slot::kHmm, kModelRows + kEmission + kEmission,
     "emission lines"},
    {"hmm_short_row", Slot::kHmm, "-0.2 -3.1 -1.4\n", "line 1"},
    {"hmm_text_row", Slot::kHmm, "a b c d\n", "not a number"},
    {"hmm_bad_pair", Slot::kHmm,
     kModelRows + kEmission + kEmission + kEmission + "你好:-1.0\n", "line 10"},
};

TEST(SegmenterFilesTest, RefusesWhatTheLoadersWouldAbortOn) {
  TempDir dir;
  for (const FileCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.WriteFile(c.name, c.contents);
    SegmenterFiles files = ShippedFiles();
    absl::Status checked;
    switch (c.slot) {
      case Slot::kDict:
        checked = CheckSegmenterDictionary(path);
        files.dict = path;
        break;
      case Slot::kCompiledDict:
        checked = SegmenterDictionary::Open(path).status();
        files.dict = path;
        break;
      case Slot::kHmm:
        checked = CheckSegmenterHmmModel(path);
        files.hmm = path;
        break;
      case Slot::kUserDict:
        checked = CheckSegmenterUserDictionary(path);
        files.user_dict = kDictDir + "user.dict.utf8|" + path;
        break;
    }
    if (std::string(c.error).empty()) {
      EXPECT_TRUE(checked.ok()) << checked.message();
      continue;
    }
    ASSERT_FALSE(checked.ok());
    EXPECT_NE(checked.message().find(path), std::string::npos)
        << checked.message();
    EXPECT_NE(checked.message().find(c.error), std::string::npos)
        << checked.message();
    // The segmenter refuses the file the same way instead of reading it.
    const auto segmenter = Segmenter::Create(files);
    ASSERT_FALSE(segmenter.ok());
    EXPECT_EQ(segmenter.status().message(), checked.message());
  }
}

TEST(SegmenterFilesTest, ShippedFilesPassAndUnreadableOnesAreNamed) {
  const SegmenterFiles shipped = ShippedFiles();
  EXPECT_TRUE(CheckSegmenterDictionary(shipped.dict).ok());
  EXPECT_TRUE(CheckSegmenterHmmModel(shipped.hmm).ok());
  EXPECT_TRUE(CheckSegmenterUserDictionary(shipped.user_dict).ok());
  // A folder opens as a stream but cannot be read.
  const absl::Status folder = CheckSegmenterDictionary(kDictDir);
  EXPECT_NE(folder.message().find("Cannot read jieba file"), std::string::npos)
      << folder.message();
  EXPECT_TRUE(absl::IsNotFound(CheckSegmenterHmmModel(kDictDir + "absent")));
}

// The cuts over the compiled dictionary, user words on top, are those of
// the library's own segmenters over the text files.
TEST(SegmenterFilesTest, CompiledDictionaryCutsAsTheLibrary) {
  TempDir dir;
  SegmenterFiles files = ShippedFiles();
  // Compiled here as the build compiles it: a cross build ships the text
  // alone.
  std::ifstream text_file(kDictDir + "jieba.dict.utf8", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(text_file)),
                         std::istreambuf_iterator<char>());
  ASSERT_FALSE(text.empty());
  DictionaryWeights weights;
  files.dict = dir.WriteFile(
      "jieba.dict.bin",
      SegmenterDictionary::Compile(ReadMainDictionary(text, weights), weights));
  // A user word that changes a dictionary word's tag, one with a frequency
  // and a single character.
  files.user_dict = dir.WriteFile("user", "北京 ns2\n可燃冰 8 n\n锂\n");
  const auto ours = Segmenter::Create(files);
  ASSERT_TRUE(ours.ok()) << ours.status().message();
  const cppjieba::DictTrie trie(kDictDir + "jieba.dict.utf8", files.user_dict);
  const cppjieba::HMMModel model(files.hmm);
  const cppjieba::MixSegment mixed(&trie, &model);
  const cppjieba::FullSegment full(&trie);
  for (const std::string sentence :
       {"我们在北京大学研究可燃冰和锂电池。", "他说：“2023年的GDP增长了5%。”",
        "中华人民共和国成立了", "abc 你好 def，长江大桥"}) {
    SCOPED_TRACE(sentence);
    WordTagList tagged;
    mixed.Tag(sentence, tagged);
    EXPECT_EQ((*ours)->Tag(sentence), tagged);
    std::vector<std::string> pieces;
    full.Cut(sentence, pieces);
    EXPECT_EQ((*ours)->FullCut(sentence), pieces);
    mixed.Cut(sentence, pieces, true);
    EXPECT_EQ((*ours)->MixedCut(sentence), pieces);
  }
}

TEST(SegmenterFilesTest, SplitsAsTheLoadersDo) {
  using Fields = std::vector<std::string_view>;
  Fields fields{"stale"};
  SplitLikeSegmenter("a b c", ' ', fields);
  EXPECT_EQ(fields, (Fields{"a", "b", "c"}));
  SplitLikeSegmenter("a  b ", ' ', fields);
  EXPECT_EQ(fields, (Fields{"a", "", "b"}));
  SplitLikeSegmenter("", ' ', fields);
  EXPECT_EQ(fields, Fields{});
}

}  // namespace
}  // namespace speechnn
