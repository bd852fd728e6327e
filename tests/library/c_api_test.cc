// The C interface: every bad argument a status with its reason, never a
// crash; the samples, chunks, pinyin and WAV files of the C++ library.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tolvaren_tts/synthesizer.h"
#include "tolvaren_tts/tolvaren_tts.h"
#include "tolvaren_tts/voices.h"
#include "tool/tool_test_support.h"

namespace tolvaren {
namespace {

int StopAfterFirst(const float*, std::size_t, void* user) {
  ++*static_cast<int*>(user);
  return 0;
}

int Collect(const float* samples, std::size_t count, void* user) {
  auto* all = static_cast<std::vector<float>*>(user);
  all->insert(all->end(), samples, samples + count);
  return 1;
}

struct Started {
  ToolSetup setup;
  tolvaren_tts_synthesizer* tts = nullptr;
  // `extra`: tool.conf lines after the test setup's, which they override.
  explicit Started(const std::string& extra = "")
      : setup("/vocoder.onnx", extra) {
    QuietEnvironment();
    // Pinyin reads the phone inventory beside the pronunciation dictionary.
    std::filesystem::copy_file(TOLVAREN_PHONE_TABLE,
                               setup.dir.path() + "/phones.tsv");
    tolvaren_tts_config config;
    tolvaren_tts_config_init(&config);
    config.conf_path = setup.conf_path.c_str();
    CaptureStdout();
    EXPECT_EQ(tolvaren_tts_create(&config, &tts), TOLVAREN_TTS_OK)
        << tolvaren_tts_last_error();
    GetCapturedStdout();
  }
  ~Started() { tolvaren_tts_destroy(tts); }
};

TEST(CApiTest, BadArgumentsAreStatusesWithReasons) {
  Started started;
  ASSERT_NE(started.tts, nullptr);
  tolvaren_tts_synthesizer* tts = started.tts;
  float* samples = nullptr;
  std::size_t count = 0;
  char* pinyin = nullptr;
  tolvaren_tts_synthesizer* made = nullptr;
  tolvaren_tts_config config;
  tolvaren_tts_config_init(&config);
  tolvaren_tts_config short_config = config;
  short_config.struct_size = sizeof(std::size_t);
  tolvaren_tts_config many_threads = config;
  many_threads.threads = -1;
  tolvaren_tts_voice_info* voices = nullptr;
  std::size_t voice_count = 0;
  tolvaren_tts_config missing = config;
  const std::string missing_path = started.setup.dir.path() + "/none.conf";
  missing.conf_path = missing_path.c_str();
  tolvaren_tts_options options;
  tolvaren_tts_options_init(&options);
  tolvaren_tts_options short_options = options;
  short_options.struct_size = 0;
  tolvaren_tts_options fast = options;
  fast.speed = 9;
  const float one = 0.5f;
  const std::string folder = started.setup.dir.path();
  // Timings of a failed call stay NULL; reading them is checked.
  tolvaren_tts_timings* timings = nullptr;
  tolvaren_tts_options fast_timed = fast;
  fast_timed.timings = &timings;
  tolvaren_tts_options timed = options;
  timed.timings = &timings;
  tolvaren_tts_timings* empty = nullptr;
  {
    CaptureStdout();
    EXPECT_EQ(tolvaren_tts_synthesize(tts, "", &timed, &samples, &count),
              TOLVAREN_TTS_OK);
    GetCapturedStdout();
    std::swap(empty, timings);
  }
  tolvaren_tts_word_timing word;
  tolvaren_tts_word_timing_init(&word);
  tolvaren_tts_word_timing short_word = word;
  short_word.struct_size = sizeof(std::size_t) + sizeof(const char*);
  tolvaren_tts_syllable_timing syllable;
  tolvaren_tts_syllable_timing_init(&syllable);
  const std::string unmade = folder + "/no/such/x.wav";
  struct Row {
    const char* name;
    std::function<tolvaren_tts_status()> call;
    tolvaren_tts_status expected;
    const char* reason;
  };
  const std::vector<Row> rows = {
      {"create: no config", [&] { return tolvaren_tts_create(nullptr, &made); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "config is NULL"},
      {"create: no out", [&] { return tolvaren_tts_create(&config, nullptr); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "tts is NULL"},
      {"create: short struct",
       [&] { return tolvaren_tts_create(&short_config, &made); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "struct_size"},
      {"create: missing conf",
       [&] { return tolvaren_tts_create(&missing, &made); },
       TOLVAREN_TTS_NOT_FOUND, "none.conf"},
      {"create: threads -1",
       [&] { return tolvaren_tts_create(&many_threads, &made); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "threads"},
      {"log: level 4",
       [&] { return tolvaren_tts_set_log_callback(nullptr, nullptr, 4); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "min_level"},
      {"voices: no config",
       [&] { return tolvaren_tts_list_voices(nullptr, &voices, &voice_count); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "config is NULL"},
      {"voices: no out",
       [&] { return tolvaren_tts_list_voices(&config, nullptr, &voice_count); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "voices is NULL"},
      {"voices: missing conf",
       [&] {
         return tolvaren_tts_list_voices(&missing, &voices, &voice_count);
       },
       TOLVAREN_TTS_NOT_FOUND, "none.conf"},
      {"synthesize: no handle",
       [&] {
         return tolvaren_tts_synthesize(nullptr, "你", nullptr, &samples,
                                        &count);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "tts is NULL"},
      {"synthesize: no text",
       [&] {
         return tolvaren_tts_synthesize(tts, nullptr, nullptr, &samples,
                                        &count);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "text is NULL"},
      {"synthesize: no samples",
       [&] {
         return tolvaren_tts_synthesize(tts, "你", nullptr, nullptr, &count);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "samples is NULL"},
      {"synthesize: no count",
       [&] {
         return tolvaren_tts_synthesize(tts, "你", nullptr, &samples, nullptr);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "count is NULL"},
      {"synthesize: short options",
       [&] {
         return tolvaren_tts_synthesize(tts, "你", &short_options, &samples,
                                        &count);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "options->struct_size"},
      {"synthesize: speed 9",
       [&] {
         return tolvaren_tts_synthesize(tts, "你", &fast, &samples, &count);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "speed"},
      {"synthesize timed: speed 9",
       [&] {
         return tolvaren_tts_synthesize(tts, "你", &fast_timed, &samples,
                                        &count);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "speed"},
      {"stream timed: no text",
       [&] {
         return tolvaren_tts_synthesize_stream(tts, nullptr, &timed, Collect,
                                               nullptr);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "text is NULL"},
      {"timings: no timings",
       [&] { return tolvaren_tts_timings_word(nullptr, 0, &word); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "timings is NULL"},
      {"timings: no word",
       [&] { return tolvaren_tts_timings_word(empty, 0, nullptr); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "word is NULL"},
      {"timings: short word",
       [&] { return tolvaren_tts_timings_word(empty, 0, &short_word); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "word->struct_size"},
      {"timings: entry past the end",
       [&] { return tolvaren_tts_timings_word(empty, 0, &word); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "entry 0 is out of range"},
      {"timings: no syllable",
       [&] { return tolvaren_tts_timings_syllable(empty, 0, 0, nullptr); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "syllable is NULL"},
      {"timings: syllable of an entry past the end",
       [&] { return tolvaren_tts_timings_syllable(empty, 3, 0, &syllable); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "entry 3 is out of range"},
      {"stream: no callback",
       [&] {
         return tolvaren_tts_synthesize_stream(tts, "你", nullptr, nullptr,
                                               nullptr);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "callback is NULL"},
      {"stream: no handle",
       [&] {
         return tolvaren_tts_synthesize_stream(nullptr, "你", nullptr, Collect,
                                               nullptr);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "tts is NULL"},
      {"pinyin: no out",
       [&] { return tolvaren_tts_pinyin(tts, "你", nullptr); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "pinyin is NULL"},
      {"pinyin: no text",
       [&] { return tolvaren_tts_pinyin(tts, nullptr, &pinyin); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "text is NULL"},
      {"pinyin: not UTF-8",
       [&] { return tolvaren_tts_pinyin(tts, "\xff\xfe", &pinyin); },
       TOLVAREN_TTS_INVALID_ARGUMENT, ""},
      {"wav: no path",
       [&] { return tolvaren_tts_write_wav(nullptr, &one, 1, 16000, 0); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "path is NULL"},
      {"wav: no samples",
       [&] {
         return tolvaren_tts_write_wav(unmade.c_str(), nullptr, 1, 16000, 0);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "samples is NULL"},
      {"wav: format 7",
       [&] {
         return tolvaren_tts_write_wav(unmade.c_str(), &one, 1, 16000, 7);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "format"},
      {"wav: rate 0",
       [&] { return tolvaren_tts_write_wav(unmade.c_str(), &one, 1, 0, 0); },
       TOLVAREN_TTS_INVALID_ARGUMENT, "sample rate"},
      {"wav: float32 byte rate beyond 32 bits",
       [&] {
         return tolvaren_tts_write_wav(unmade.c_str(), &one, 1, 1073741824, 1);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "too high"},
      {"wav: a folder",
       [&] {
         return tolvaren_tts_write_wav(folder.c_str(), &one, 1, 16000, 0);
       },
       TOLVAREN_TTS_INVALID_ARGUMENT, "not a regular file"},
      {"wav: no such folder",
       [&] {
         return tolvaren_tts_write_wav(unmade.c_str(), &one, 1, 16000, 0);
       },
       TOLVAREN_TTS_NOT_FOUND, "no/such"},
  };
  for (const Row& row : rows) {
    CaptureStdout();
    const tolvaren_tts_status status = row.call();
    GetCapturedStdout();
    EXPECT_EQ(status, row.expected)
        << row.name << ": " << tolvaren_tts_last_error();
    EXPECT_NE(std::string(tolvaren_tts_last_error()).find(row.reason),
              std::string::npos)
        << row.name << ": " << tolvaren_tts_last_error();
    EXPECT_NE(std::string(tolvaren_tts_last_error()), "") << row.name;
  }
  EXPECT_EQ(made, nullptr);
  EXPECT_EQ(samples, nullptr);
  EXPECT_EQ(pinyin, nullptr);
  EXPECT_EQ(voices, nullptr);
  EXPECT_EQ(voice_count, 0u);
  EXPECT_EQ(timings, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(tolvaren_tts_timings_count(empty), 0u);
  tolvaren_tts_free_timings(empty);
  EXPECT_EQ(tolvaren_tts_timings_count(nullptr), 0u);
  EXPECT_STREQ(tolvaren_tts_last_error(), "timings is NULL");
  tolvaren_tts_free_timings(nullptr);
  tolvaren_tts_free_voices(nullptr, 3);
  EXPECT_EQ(tolvaren_tts_sample_rate(nullptr), 0);
  EXPECT_EQ(tolvaren_tts_supports_speed(nullptr), 0);
  EXPECT_EQ(tolvaren_tts_destroy(nullptr), TOLVAREN_TTS_OK);
  tolvaren_tts_free_samples(nullptr);
  tolvaren_tts_free_string(nullptr);
}

TEST(CApiTest, StatusNumbersAndNamesAreFixed) {
  const std::vector<std::pair<int, std::string>> names = {
      {0, "TOLVAREN_TTS_OK"},
      {1, "TOLVAREN_TTS_INVALID_ARGUMENT"},
      {2, "TOLVAREN_TTS_NOT_FOUND"},
      {3, "TOLVAREN_TTS_FAILED_PRECONDITION"},
      {4, "TOLVAREN_TTS_UNIMPLEMENTED"},
      {5, "TOLVAREN_TTS_RUNTIME_ERROR"},
      {6, "TOLVAREN_TTS_CANCELLED"},
      {7, "TOLVAREN_TTS_INTERNAL"},
      {8, "TOLVAREN_TTS_OUT_OF_MEMORY"},
      {9, "TOLVAREN_TTS_IN_CALLBACK"},
      {10, "unknown status"},
      {-1, "unknown status"},
  };
  for (const auto& [number, name] : names) {
    EXPECT_EQ(tolvaren_tts_status_name(number), name) << number;
  }
  EXPECT_STREQ(tolvaren_tts_version(), "0.1.0");
}

TEST(CApiTest, SpeaksAsTheCppLibrary) {
  Started started;
  ASSERT_NE(started.tts, nullptr);
  tolvaren_tts_synthesizer* tts = started.tts;
  tolvaren_tts::SynthesizerConfig config;
  config.conf_path = started.setup.conf_path;
  std::unique_ptr<tolvaren_tts::Synthesizer> cpp;
  CaptureStdout();
  ASSERT_TRUE(tolvaren_tts::Synthesizer::Create(config, &cpp).ok());
  const std::string text = "你好，世界。你好，世界。你好，世界。你好，世界。";
  tolvaren_tts::Audio expected;
  ASSERT_TRUE(cpp->Synthesize(text, {}, &expected).ok());

  float* samples = nullptr;
  std::size_t count = 0;
  tolvaren_tts_options options;
  tolvaren_tts_options_init(&options);  // speed 0: the default, 1
  ASSERT_EQ(
      tolvaren_tts_synthesize(tts, text.c_str(), &options, &samples, &count),
      TOLVAREN_TTS_OK);
  EXPECT_STREQ(tolvaren_tts_last_error(), "");
  std::vector<float> streamed;
  const tolvaren_tts_status stream = tolvaren_tts_synthesize_stream(
      tts, text.c_str(), nullptr, Collect, &streamed);
  int calls = 0;
  const tolvaren_tts_status stopped = tolvaren_tts_synthesize_stream(
      tts, text.c_str(), nullptr, StopAfterFirst, &calls);
  char* pinyin = nullptr;
  const tolvaren_tts_status spelled = tolvaren_tts_pinyin(tts, "你好", &pinyin);
  float* none = &expected.samples[0];
  std::size_t none_count = 7;
  const tolvaren_tts_status empty =
      tolvaren_tts_synthesize(tts, "", nullptr, &none, &none_count);
  GetCapturedStdout();

  EXPECT_EQ(std::vector<float>(samples, samples + count), expected.samples);
  tolvaren_tts_free_samples(samples);
  EXPECT_EQ(stream, TOLVAREN_TTS_OK);
  EXPECT_EQ(streamed, expected.samples);
  EXPECT_EQ(stopped, TOLVAREN_TTS_CANCELLED);
  EXPECT_EQ(calls, 1);
  ASSERT_EQ(spelled, TOLVAREN_TTS_OK);
  EXPECT_STREQ(pinyin, "ni2 hao3");  // third tone before a third
  tolvaren_tts_free_string(pinyin);
  EXPECT_EQ(empty, TOLVAREN_TTS_OK);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(none_count, 0u);
  EXPECT_EQ(tolvaren_tts_sample_rate(tts), cpp->sample_rate());
  EXPECT_EQ(tolvaren_tts_supports_speed(tts), cpp->supports_speed() ? 1 : 0);
}

// The C timings read back as the C++ library's, field for field.
std::vector<tolvaren_tts::WordTiming> ReadBack(
    const tolvaren_tts_timings* timings) {
  std::vector<tolvaren_tts::WordTiming> words;
  for (std::size_t i = 0; i < tolvaren_tts_timings_count(timings); ++i) {
    tolvaren_tts_word_timing in;
    tolvaren_tts_word_timing_init(&in);
    EXPECT_EQ(tolvaren_tts_timings_word(timings, i, &in), TOLVAREN_TTS_OK);
    tolvaren_tts::WordTiming& word = words.emplace_back();
    word.text = in.text;
    word.pinyin = in.pinyin;
    word.start_sample = in.start_sample;
    word.end_sample = in.end_sample;
    word.pause = in.pause != 0;
    for (std::size_t j = 0; j < in.syllable_count; ++j) {
      tolvaren_tts_syllable_timing syllable;
      tolvaren_tts_syllable_timing_init(&syllable);
      EXPECT_EQ(tolvaren_tts_timings_syllable(timings, i, j, &syllable),
                TOLVAREN_TTS_OK);
      word.syllables.push_back({syllable.text, syllable.pinyin,
                                syllable.start_sample, syllable.end_sample});
    }
    tolvaren_tts_syllable_timing past;
    tolvaren_tts_syllable_timing_init(&past);
    EXPECT_EQ(
        tolvaren_tts_timings_syllable(timings, i, in.syllable_count, &past),
        TOLVAREN_TTS_INVALID_ARGUMENT);
    EXPECT_EQ(past.text, nullptr);
  }
  return words;
}

std::string Describe(const std::vector<tolvaren_tts::WordTiming>& words) {
  std::string out;
  for (const auto& w : words) {
    out += "[" + w.text + "|" + w.pinyin + "|" +
           std::to_string(w.start_sample) + "-" + std::to_string(w.end_sample) +
           (w.pause ? "|pause" : "");
    for (const auto& s : w.syllables) {
      out += " (" + s.text + "|" + s.pinyin + "|" +
             std::to_string(s.start_sample) + "-" +
             std::to_string(s.end_sample) + ")";
    }
    out += "]";
  }
  return out;
}

// Both ways of speaking hand over the C++ library's timings; a voice
// without durations hands over none.
TEST(CApiTest, TimingsAreTheCppLibrarys) {
  Started started("--fastspeech2_model_path=" + kModels +
                  "/timed_acoustic.onnx\n");
  ASSERT_NE(started.tts, nullptr);
  tolvaren_tts::SynthesizerConfig config;
  config.conf_path = started.setup.conf_path;
  std::unique_ptr<tolvaren_tts::Synthesizer> cpp;
  CaptureStdout();
  ASSERT_TRUE(tolvaren_tts::Synthesizer::Create(config, &cpp).ok());
  GetCapturedStdout();
  struct Case {
    std::string text;
    bool markup;
    double silence;
  };
  const std::vector<Case> cases = {
      {"你好，世界。再见", false, 0.0},
      {"[[ni3 hao3]]世界", false, 0.5},
      {"<speak>你好<break time=\"1s\"/>世界</speak>", true, 0.0},
  };
  for (const Case& c : cases) {
    std::vector<tolvaren_tts::WordTiming> expected;
    tolvaren_tts::SynthesisOptions cpp_options;
    cpp_options.markup = c.markup;
    cpp_options.sentence_silence = c.silence;
    cpp_options.timings = &expected;
    tolvaren_tts::Audio audio;
    tolvaren_tts_timings* whole = nullptr;
    tolvaren_tts_timings* streamed = nullptr;
    tolvaren_tts_options options;
    tolvaren_tts_options_init(&options);
    options.markup = c.markup ? 1 : 0;
    options.sentence_silence = c.silence;
    options.timings = &whole;
    float* samples = nullptr;
    std::size_t count = 0;
    std::vector<float> chunks;
    CaptureStdout();
    ASSERT_TRUE(cpp->Synthesize(c.text, cpp_options, &audio).ok()) << c.text;
    ASSERT_EQ(tolvaren_tts_synthesize(started.tts, c.text.c_str(), &options,
                                      &samples, &count),
              TOLVAREN_TTS_OK)
        << c.text << ": " << tolvaren_tts_last_error();
    options.timings = &streamed;
    ASSERT_EQ(tolvaren_tts_synthesize_stream(started.tts, c.text.c_str(),
                                             &options, Collect, &chunks),
              TOLVAREN_TTS_OK)
        << c.text << ": " << tolvaren_tts_last_error();
    GetCapturedStdout();
    tolvaren_tts_free_samples(samples);
    ASSERT_GT(expected.size(), 2u) << c.text;
    ASSERT_FALSE(expected.front().syllables.empty()) << c.text;
    EXPECT_EQ(expected.back().end_sample, count) << c.text;
    EXPECT_EQ(Describe(ReadBack(whole)), Describe(expected)) << c.text;
    EXPECT_EQ(Describe(ReadBack(streamed)), Describe(expected)) << c.text;
    tolvaren_tts_free_timings(whole);
    tolvaren_tts_free_timings(streamed);
  }

  Started untimed;
  ASSERT_NE(untimed.tts, nullptr);
  tolvaren_tts_timings* none = nullptr;
  tolvaren_tts_options options;
  tolvaren_tts_options_init(&options);
  options.timings = &none;
  std::vector<float> chunks;
  CaptureStdout();
  EXPECT_EQ(tolvaren_tts_synthesize_stream(untimed.tts, "你好", &options,
                                           Collect, &chunks),
            TOLVAREN_TTS_OK);
  GetCapturedStdout();
  ASSERT_NE(none, nullptr);
  EXPECT_FALSE(chunks.empty());
  EXPECT_EQ(tolvaren_tts_timings_count(none), 0u);
  tolvaren_tts_free_timings(none);
}

void Record(int level, const char* message, void* user) {
  static_cast<std::vector<std::pair<int, std::string>>*>(user)->emplace_back(
      level, message);
}

TEST(CApiTest, LogRecordsAndVoicesReachTheCaller) {
  std::vector<std::pair<int, std::string>> records;
  ASSERT_EQ(
      tolvaren_tts_set_log_callback(Record, &records, TOLVAREN_TTS_LOG_INFO),
      TOLVAREN_TTS_OK);
  {
    Started started;
    ASSERT_NE(started.tts, nullptr);
  }
  ASSERT_EQ(tolvaren_tts_set_log_callback(nullptr, nullptr, 0),
            TOLVAREN_TTS_OK);
  ASSERT_FALSE(records.empty());
  for (const auto& [level, message] : records) {
    EXPECT_GE(level, TOLVAREN_TTS_LOG_INFO) << message;
  }
  const std::size_t seen = records.size();
  Started again;  // the callback is cleared: nothing more arrives
  EXPECT_EQ(records.size(), seen);

  tolvaren_tts_config config;
  tolvaren_tts_config_init(&config);
  config.conf_path = again.setup.conf_path.c_str();
  tolvaren_tts_voice_info* voices = nullptr;
  std::size_t count = 0;
  ASSERT_EQ(tolvaren_tts_list_voices(&config, &voices, &count), TOLVAREN_TTS_OK)
      << tolvaren_tts_last_error();
  tolvaren_tts::SynthesizerConfig cpp_config;
  cpp_config.conf_path = again.setup.conf_path;
  std::vector<tolvaren_tts::VoiceInfo> expected;
  ASSERT_TRUE(tolvaren_tts::ListVoices(cpp_config, &expected).ok());
  ASSERT_EQ(count, expected.size());
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_EQ(voices[i].name, expected[i].name);
    EXPECT_EQ(voices[i].licence, expected[i].licence);
    EXPECT_EQ(voices[i].sample_rate, expected[i].sample_rate);
    EXPECT_EQ(voices[i].supports_speed, expected[i].supports_speed ? 1 : 0);
  }
  tolvaren_tts_free_voices(voices, count);
}

}  // namespace
}  // namespace tolvaren
