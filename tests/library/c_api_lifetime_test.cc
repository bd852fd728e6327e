// The C interface's handles under calls from other threads and from their
// own callbacks: destroy waits for a running call, a call or destroy from
// inside the handle's callback is refused, and a log callback may call the
// library (ctest's timeout bounds a deadlock).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tolvaren_tts/tolvaren_tts.h"
#include "tool/tool_test_support.h"

namespace tolvaren {
namespace {

const char kText[] = "你好，世界。你好，世界。你好，世界。你好，世界。";

struct Folder {
  ToolSetup setup;
  Folder() {
    QuietEnvironment();
    std::filesystem::copy_file(TOLVAREN_PHONE_TABLE,
                               setup.dir.path() + "/phones.tsv");
  }
  tolvaren_tts_synthesizer* Create() {
    tolvaren_tts_config config;
    tolvaren_tts_config_init(&config);
    config.conf_path = setup.conf_path.c_str();
    tolvaren_tts_synthesizer* tts = nullptr;
    CaptureStdout();
    EXPECT_EQ(tolvaren_tts_create(&config, &tts), TOLVAREN_TTS_OK)
        << tolvaren_tts_last_error();
    GetCapturedStdout();
    return tts;
  }
};

// A chunk callback over a std::function.
using OnChunk = std::function<int(const float*, std::size_t)>;
int CallOnChunk(const float* samples, std::size_t count, void* user) {
  return (*static_cast<OnChunk*>(user))(samples, count);
}

std::vector<float> Whole(tolvaren_tts_synthesizer* tts) {
  float* samples = nullptr;
  std::size_t count = 0;
  EXPECT_EQ(tolvaren_tts_synthesize(tts, kText, nullptr, &samples, &count),
            TOLVAREN_TTS_OK);
  std::vector<float> whole(samples, samples + count);
  tolvaren_tts_free_samples(samples);
  return whole;
}

TEST(CApiLifetimeTest, DestroyWaitsForACallOnAnotherThread) {
  Folder folder;
  tolvaren_tts_synthesizer* tts = folder.Create();
  ASSERT_NE(tts, nullptr);
  const std::vector<float> expected = Whole(tts);
  std::atomic<bool> started{false}, destroyed{false}, late_chunk{false};
  std::vector<float> streamed;
  OnChunk collect = [&](const float* samples, std::size_t count) {
    if (destroyed.load()) late_chunk = true;
    streamed.insert(streamed.end(), samples, samples + count);
    if (!started.exchange(true)) {
      // Gives destroy time to begin while this call runs.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return 1;
  };
  tolvaren_tts_status stream = -1;
  std::thread speaker([&] {
    stream = tolvaren_tts_synthesize_stream(tts, kText, nullptr, CallOnChunk,
                                            &collect);
  });
  while (!started.load()) std::this_thread::yield();
  EXPECT_EQ(tolvaren_tts_destroy(tts), TOLVAREN_TTS_OK);
  destroyed = true;
  speaker.join();
  EXPECT_EQ(stream, TOLVAREN_TTS_OK);
  EXPECT_EQ(streamed, expected);
  EXPECT_FALSE(late_chunk.load());
}

TEST(CApiLifetimeTest, CallsFromItsOwnChunkCallbackAreRefused) {
  Folder folder;
  tolvaren_tts_synthesizer* tts = folder.Create();
  ASSERT_NE(tts, nullptr);
  const std::vector<float> expected = Whole(tts);
  float* samples = nullptr;
  std::size_t count = 0;
  char* pinyin = nullptr;
  const std::vector<std::pair<const char*, std::function<int()>>> calls = {
      {"destroy", [&] { return tolvaren_tts_destroy(tts); }},
      {"synthesize",
       [&] {
         return tolvaren_tts_synthesize(tts, "你好", nullptr, &samples, &count);
       }},
      {"pinyin", [&] { return tolvaren_tts_pinyin(tts, "你好", &pinyin); }},
  };
  for (const auto& [name, call] : calls) {
    std::vector<float> streamed;
    int refused = -1;
    OnChunk collect = [&](const float* chunk, std::size_t n) {
      if (refused == -1) refused = call();
      streamed.insert(streamed.end(), chunk, chunk + n);
      return 1;
    };
    EXPECT_EQ(tolvaren_tts_synthesize_stream(tts, kText, nullptr, CallOnChunk,
                                             &collect),
              TOLVAREN_TTS_OK)
        << name;
    EXPECT_EQ(refused, TOLVAREN_TTS_IN_CALLBACK) << name;
    EXPECT_EQ(streamed, expected) << name;
  }
  EXPECT_EQ(samples, nullptr);
  EXPECT_EQ(pinyin, nullptr);
  EXPECT_EQ(tolvaren_tts_destroy(tts), TOLVAREN_TTS_OK);
}

// The log callback's state: the handle whose call logs, and another one
// that the first record destroys (its end logs too).
struct LogReentry {
  tolvaren_tts_synthesizer* speaking = nullptr;
  tolvaren_tts_synthesizer* other = nullptr;
  std::vector<int> pinyin_statuses;
  int records = 0;
};

void CallBack(int, const char*, void* user) {
  auto* state = static_cast<LogReentry*>(user);
  if (++state->records > 50) return;
  tolvaren_tts_set_log_callback(CallBack, user, TOLVAREN_TTS_LOG_INFO);
  if (tolvaren_tts_synthesizer* other = state->other) {
    state->other = nullptr;
    EXPECT_EQ(tolvaren_tts_destroy(other), TOLVAREN_TTS_OK);
  }
  char* pinyin = nullptr;
  state->pinyin_statuses.push_back(
      tolvaren_tts_pinyin(state->speaking, "你好", &pinyin));
  tolvaren_tts_free_string(pinyin);
}

TEST(CApiLifetimeTest, ALogCallbackMayCallTheLibrary) {
  Folder folder;
  LogReentry state;
  state.speaking = folder.Create();
  state.other = folder.Create();
  ASSERT_NE(state.speaking, nullptr);
  ASSERT_NE(state.other, nullptr);
  ASSERT_EQ(
      tolvaren_tts_set_log_callback(CallBack, &state, TOLVAREN_TTS_LOG_INFO),
      TOLVAREN_TTS_OK);
  const std::vector<float> samples = Whole(state.speaking);
  tolvaren_tts_set_log_callback(nullptr, nullptr, TOLVAREN_TTS_LOG_WARNING);
  EXPECT_FALSE(samples.empty());
  EXPECT_EQ(state.other, nullptr);
  // Records made inside the call are refused a call on its handle.
  EXPECT_NE(std::count(state.pinyin_statuses.begin(),
                       state.pinyin_statuses.end(), TOLVAREN_TTS_IN_CALLBACK),
            0);
  EXPECT_EQ(tolvaren_tts_destroy(state.speaking), TOLVAREN_TTS_OK);
}

}  // namespace
}  // namespace tolvaren
