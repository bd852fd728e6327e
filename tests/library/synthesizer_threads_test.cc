// Synthesizers on several threads: two of them speaking at once, and one
// called by several threads at once, give each call the samples one alone
// gives. The text goes through the front end's shared matchers (letters,
// digits, symbols, full-width marks).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tolvaren_tts/synthesizer.h"
#include "tool/tool_test_support.h"

namespace tolvaren {
namespace {

using tolvaren_tts::Audio;
using tolvaren_tts::Synthesizer;
using tolvaren_tts::SynthesizerConfig;

std::unique_ptr<Synthesizer> Started(const std::string& conf_path) {
  SynthesizerConfig config;
  config.conf_path = conf_path;
  std::unique_ptr<Synthesizer> tts;
  const tolvaren_tts::Status created = Synthesizer::Create(config, &tts);
  EXPECT_TRUE(created.ok()) << created.message();
  return tts;
}

TEST(SynthesizerThreadsTest, TwoThreadsEachGetTheSingleThreadAudio) {
  QuietEnvironment();
  ToolSetup setup;
  const std::string text = "你好，ABC 世界！温度是25°C，涨了3%。";
  constexpr int kRounds = 4;
  CaptureStdout();
  std::unique_ptr<Synthesizer> first = Started(setup.conf_path);
  std::unique_ptr<Synthesizer> second = Started(setup.conf_path);
  GetCapturedStdout();
  ASSERT_TRUE(first != nullptr && second != nullptr);
  Audio alone;
  const tolvaren_tts::Status spoken = first->Synthesize(text, {}, &alone);
  ASSERT_TRUE(spoken.ok()) << spoken.message();
  ASSERT_FALSE(alone.samples.empty());

  std::vector<std::vector<float>> heard[2];
  const auto speak = [&](Synthesizer& tts,
                         std::vector<std::vector<float>>& out) {
    for (int i = 0; i < kRounds; ++i) {
      Audio audio;
      const tolvaren_tts::Status status = tts.Synthesize(text, {}, &audio);
      out.push_back(status.ok() ? audio.samples : std::vector<float>());
    }
  };
  std::thread one(speak, std::ref(*first), std::ref(heard[0]));
  std::thread two(speak, std::ref(*second), std::ref(heard[1]));
  one.join();
  two.join();
  for (const std::vector<std::vector<float>>& thread_heard : heard) {
    ASSERT_EQ(thread_heard.size(), static_cast<std::size_t>(kRounds));
    for (const std::vector<float>& samples : thread_heard) {
      EXPECT_EQ(samples, alone.samples);
    }
  }
}

TEST(SynthesizerThreadsTest, ThreadsSharingOneSynthesizerTakeTurns) {
  QuietEnvironment();
  ToolSetup setup;
  const std::string text = "你好，ABC 世界！温度是25°C，涨了3%。";
  constexpr int kThreads = 3;
  constexpr int kRounds = 3;
  CaptureStdout();
  std::unique_ptr<Synthesizer> tts = Started(setup.conf_path);
  GetCapturedStdout();
  ASSERT_TRUE(tts != nullptr);
  Audio alone;
  ASSERT_TRUE(tts->Synthesize(text, {}, &alone).ok());

  // Whole calls and streamed ones, interleaved.
  std::vector<std::vector<float>> heard[kThreads];
  const auto speak = [&](int thread) {
    for (int i = 0; i < kRounds; ++i) {
      std::vector<float> samples;
      tolvaren_tts::Status status;
      if ((thread + i) % 2 == 0) {
        Audio audio;
        status = tts->Synthesize(text, {}, &audio);
        samples = std::move(audio.samples);
      } else {
        status = tts->Synthesize(text, {}, [&](const float* s, std::size_t n) {
          samples.insert(samples.end(), s, s + n);
          return true;
        });
      }
      heard[thread].push_back(status.ok() ? samples : std::vector<float>());
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(speak, t);
  for (std::thread& thread : threads) thread.join();
  for (const std::vector<std::vector<float>>& thread_heard : heard) {
    ASSERT_EQ(thread_heard.size(), static_cast<std::size_t>(kRounds));
    for (const std::vector<float>& samples : thread_heard) {
      EXPECT_EQ(samples, alone.samples);
    }
  }
}

}  // namespace
}  // namespace tolvaren
