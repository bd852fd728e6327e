#include "tool/synth/timings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "speech_neural_network/front_interface.h"
#include "tool/phone_table.h"
#include "tool/synth/spoken_words.h"

namespace tolvaren {
namespace {

using tolvaren_tts::WordTiming;

constexpr int64_t kPause = 1;

SpokenWord Word(const std::string& text,
                std::vector<SpokenSyllable> syllables) {
  SpokenWord word;
  word.text = text;
  word.syllables = std::move(syllables);
  return word;
}

SpokenWord Pause(const std::string& marks) {
  SpokenWord word;
  word.text = marks;
  word.pause = true;
  word.pause_ids = {kPause};
  return word;
}

// 你 (ids 10 20), 好 (11 21), 吗 (12 22).
const SpokenSyllable kNi{"你", "ni2", {10, 20}};
const SpokenSyllable kHao{"好", "hao3", {11, 21}};
const SpokenSyllable kMa{"吗", "ma5", {12, 22}};

// One line per entry: "text start-end" (a pause "_"), the syllables of a
// word after it as "[text pinyin start-end]".
std::string Describe(const std::vector<WordTiming>& entries) {
  std::string out;
  for (const WordTiming& e : entries) {
    const std::string span =
        std::to_string(e.start_sample) + "-" + std::to_string(e.end_sample);
    out += (e.pause ? "_" : e.text) + " " + span;
    for (const auto& s : e.syllables) {
      out += " [" + s.text + " " + s.pinyin + " " +
             std::to_string(s.start_sample) + "-" +
             std::to_string(s.end_sample) + "]";
    }
    out += "\n";
  }
  return out;
}

// Whatever the case: the entries tile the audio, a word's syllables tile
// the word, and no two pauses are adjacent.
void ExpectTiles(const std::vector<WordTiming>& entries, int64_t total) {
  std::size_t cursor = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const WordTiming& e = entries[i];
    EXPECT_EQ(e.start_sample, cursor) << "entry " << i;
    EXPECT_LE(e.start_sample, e.end_sample) << "entry " << i;
    if (i > 0) {
      EXPECT_FALSE(e.pause && entries[i - 1].pause) << "entry " << i;
    }
    std::size_t inner = e.start_sample;
    for (const auto& s : e.syllables) {
      EXPECT_EQ(s.start_sample, inner) << "entry " << i;
      inner = s.end_sample;
    }
    if (!e.syllables.empty()) {
      EXPECT_EQ(inner, e.end_sample) << "entry " << i;
    }
    cursor = e.end_sample;
  }
  EXPECT_EQ(cursor, static_cast<std::size_t>(total));
}

TEST(TimingsTest, WorkedCases) {
  struct Case {
    const char* name;
    std::vector<SpokenWord> words;
    std::vector<TimedRun> runs;
    int64_t total;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"a word of two syllables",
       {Word("你好", {kNi, kHao})},
       {{{10, 20, 11, 21}, {1, 2, 3, 4}, 0, {}}},
       1000,
       "你好 0-1000 [你 ni2 0-300] [好 hao3 300-1000]\n"},
      {"a duration scale of 2: the model's doubled frames, doubled times",
       {Word("你好", {kNi, kHao})},
       {{{10, 20, 11, 21}, {2, 4, 6, 8}, 0, {}}},
       2000,
       "你好 0-2000 [你 ni2 0-600] [好 hao3 600-2000]\n"},
      {"a pause between two words",
       {Word("你", {kNi}), Pause("，"), Word("好", {kHao})},
       {{{10, 20, kPause, 11, 21}, {1, 1, 2, 1, 1}, 0, {}}},
       600,
       "你 0-200 [你 ni2 0-200]\n_ 200-400\n好 400-600 [好 hao3 400-600]\n"},
      {"two runs with silence between, and silence after the last",
       {Word("你", {kNi}), Word("好", {kHao})},
       {{{10, 20}, {2, 2}, 0, {}}, {{11, 21}, {1, 1}, 1400, {}}},
       1700,
       "你 0-400 [你 ni2 0-400]\n_ 400-1400\n好 1400-1600 [好 hao3 "
       "1400-1600]\n_ 1600-1700\n"},
      {"silence after a run that ends in a pause lengthens the pause",
       {Word("你", {kNi}), Pause("。"), Word("好", {kHao})},
       {{{10, 20, kPause}, {1, 1, 1}, 0, {}}, {{11, 21}, {1, 1}, 500, {}}},
       700,
       "你 0-200 [你 ni2 0-200]\n_ 200-500\n好 500-700 [好 hao3 500-700]\n"},
      {"a word cut between runs spans the gap, its first syllable takes it",
       {Word("你好", {kNi, kHao})},
       {{{10, 20}, {1, 1}, 0, {}}, {{11, 21}, {1, 1}, 300, {}}},
       500,
       "你好 0-500 [你 ni2 0-300] [好 hao3 300-500]\n"},
      {"audio of another length than frames x hop is shared in proportion",
       {Word("你好", {kNi, kHao}), Word("吗", {kMa})},
       {{{10, 20, 11, 21, 12, 22}, {1, 1, 1, 1, 1, 1}, 0, 500}},
       500,
       "你好 0-333 [你 ni2 0-166] [好 hao3 166-333]\n吗 333-500 [吗 ma5 "
       "333-500]\n"},
  };
  for (const Case& c : cases) {
    const absl::StatusOr<std::vector<WordTiming>> timings =
        BuildTimings({c.words, c.runs, 100, c.total});
    ASSERT_TRUE(timings.ok()) << c.name << ": " << timings.status();
    EXPECT_EQ(Describe(*timings), c.expected) << c.name;
    ExpectTiles(*timings, c.total);
  }
}

TEST(TimingsTest, CollapsedPausesMatchTheCollapsedIds) {
  // "你，，。好": the tool speaks one pause id for the three marks.
  std::vector<SpokenWord> words = {Word("你", {kNi}), Pause("，"), Pause("，"),
                                   Pause("。"), Word("好", {kHao})};
  const TimedRun run{{10, 20, kPause, 11, 21}, {1, 1, 3, 1, 1}, 0, {}};
  EXPECT_FALSE(BuildTimings({words, {run}, 100, 700}).ok());
  CollapsePauseWords(words);
  const absl::StatusOr<std::vector<WordTiming>> timings =
      BuildTimings({words, {run}, 100, 700});
  ASSERT_TRUE(timings.ok()) << timings.status();
  EXPECT_EQ(Describe(*timings),
            "你 0-200 [你 ni2 0-200]\n_ 200-500\n好 500-700 [好 hao3 "
            "500-700]\n");
  EXPECT_EQ((*timings)[1].text, "，，。");
}

TEST(TimingsTest, RunsOutOfStepWithTheWordsAreRefused) {
  const std::vector<SpokenWord> words = {Word("你好", {kNi, kHao})};
  struct Case {
    const char* name;
    std::vector<TimedRun> runs;
    int64_t total;
  };
  const std::vector<Case> cases = {
      {"another id", {{{10, 20, 11, 22}, {1, 1, 1, 1}, 0, {}}}, 400},
      {"a phone missing", {{{10, 20, 11}, {1, 1, 1}, 0, {}}}, 400},
      {"a phone too many",
       {{{10, 20, 11, 21, 1}, {1, 1, 1, 1, 1}, 0, {}}},
       500},
      {"a frame count missing", {{{10, 20, 11, 21}, {1, 1, 1}, 0, {}}}, 400},
      {"a negative frame count",
       {{{10, 20, 11, 21}, {1, 1, -1, 1}, 0, {}}},
       400},
      {"overlapping runs",
       {{{10, 20}, {1, 1}, 0, {}}, {{11, 21}, {1, 1}, 100, {}}},
       400},
      {"audio shorter than the runs",
       {{{10, 20, 11, 21}, {1, 1, 1, 1}, 0, {}}},
       399},
  };
  for (const Case& c : cases) {
    const absl::Status status =
        BuildTimings({words, c.runs, 100, c.total}).status();
    EXPECT_EQ(status.code(), absl::StatusCode::kFailedPrecondition)
        << c.name << ": " << status;
  }
  EXPECT_EQ(BuildTimings({words, {}, 0, 0}).status().code(),
            absl::StatusCode::kInvalidArgument);
}

TEST(TimingsTest, ResampledTimingsStillCoverTheAudio) {
  const absl::StatusOr<std::vector<WordTiming>> timings =
      BuildTimings({{Word("你", {kNi}), Pause("。"), Word("好", {kHao})},
                    {{{10, 20, kPause, 11, 21}, {1, 2, 1, 1, 1}, 0, {}}},
                    300,
                    1800});
  ASSERT_TRUE(timings.ok()) << timings.status();
  // 24 kHz to 16 kHz: 1800 samples became 1201.
  const std::vector<WordTiming> resampled =
      RescaleTimings(*timings, 24000, 16000, 1201);
  EXPECT_EQ(Describe(resampled),
            "你 0-600 [你 ni2 0-600]\n_ 600-800\n好 800-1201 [好 hao3 "
            "800-1201]\n");
  ExpectTiles(resampled, 1201);
}

TEST(SpokenWordsTest, TraceWordsBecomeSyllablesWithTheirPinyin) {
  PhoneTable table;
  std::string error;
  ASSERT_TRUE(table.Load(TOLVAREN_PHONE_TABLE, error)) << error;
  speechnn::SentenceTrace trace;
  trace.merged = {
      {"“", "x"}, {"你好", "l"}, {"，", "x"}, {"哪儿", "r"}, {"二零", "m"}};
  trace.phone_ids = {10, 20, 11, 21, kPause, 12, 23, 24, 13, 25};
  trace.word_phones = {0, 4, 1, 2, 3};
  const std::vector<std::string> symbols = {"n", "i2",  "h",   "ao3", "sp",
                                            "n", "ar3", "er4", "l",   "ing2"};
  const absl::StatusOr<std::vector<SpokenWord>> words =
      SpokenWordsOf(trace, symbols, table);
  ASSERT_TRUE(words.ok()) << words.status();
  std::string seen;
  for (const SpokenWord& word : *words) {
    seen += word.pause ? "_" : word.text;
    for (const SpokenSyllable& s : word.syllables) {
      seen += " " + s.text + ":" + s.pinyin + ":" +
              std::to_string(s.phone_ids.size());
    }
    seen += "\n";
  }
  EXPECT_EQ(seen,
            "你好 你:ni2:2 好:hao3:2\n_\n哪儿 哪儿:nar3:2\n二零 二:er4:1 "
            "零:ling2:2\n");
  trace.word_phones = {0, 4, 1, 2, 2};
  EXPECT_EQ(SpokenWordsOf(trace, symbols, table).status().code(),
            absl::StatusCode::kFailedPrecondition);
}

}  // namespace
}  // namespace tolvaren
