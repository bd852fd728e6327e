// Every voice this build ships, spoken through the library with the
// build's own configuration: the default voice and each voice folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tolvaren_tts/synthesizer.h"
#include "tolvaren_tts/voices.h"

namespace {

using tolvaren_tts::Audio;
using tolvaren_tts::Synthesizer;
using tolvaren_tts::SynthesizerConfig;

std::vector<std::string> ShippedVoices() {
  std::vector<std::string> voices = {"default"};
  std::stringstream list(TOLVAREN_SHIPPED_VOICES);
  for (std::string voice; std::getline(list, voice, ',');) {
    if (!voice.empty()) voices.push_back(voice);
  }
  return voices;
}

double Power(std::vector<float>::const_iterator begin,
             std::vector<float>::const_iterator end) {
  double sum = 0.0;
  for (auto it = begin; it != end; ++it) sum += double{*it} * *it;
  return end > begin ? sum / static_cast<double>(end - begin) : 0.0;
}

double Rms(const std::vector<float>& samples) {
  return std::sqrt(Power(samples.begin(), samples.end()));
}

float Peak(std::vector<float>::const_iterator begin,
           std::vector<float>::const_iterator end) {
  float peak = 0.0f;
  for (auto it = begin; it != end; ++it) peak = std::max(peak, std::fabs(*it));
  return peak;
}

// What every voice hands out, its raw peaks above full scale included (the
// default voice's reach 1.3 to 1.5, more at a loud volume): within the
// limiter's ceiling, and decaying at the end: its last 5 ms at most a
// seventh of the peak, its last sample silent.
void ExpectLimitedAndDecaying(const Audio& audio, const std::string& what) {
  const auto& samples = audio.samples;
  ASSERT_GT(samples.size(), 120u) << what;
  const float peak = Peak(samples.begin(), samples.end());
  EXPECT_LE(peak, 0.99f) << what;
  EXPECT_LE(Peak(samples.end() - 120, samples.end()), peak / 7) << what;
  EXPECT_LT(std::fabs(samples.back()), 1e-3f) << what;
}

// Speech of a plausible length and level at the rate the models declare,
// and for a voice that takes a speaking rate, twice as fast at speed 2.
// The listing, read from the model files alone, names every voice and says
// of each what the loaded models say.
TEST(ShippedVoicesTest, EachVoiceSpeaks) {
  const std::string text = "今天天气很好，我们去公园散步吧。";  // 14 syllables
  SynthesizerConfig listing;
  listing.conf_path = std::string(TOLVAREN_BUILD_RES_DIR) + "/conf/tool.conf";
  std::vector<tolvaren_tts::VoiceInfo> listed;
  ASSERT_TRUE(tolvaren_tts::ListVoices(listing, &listed).ok());
  std::vector<std::string> names;
  for (const tolvaren_tts::VoiceInfo& info : listed) {
    names.push_back(info.name);
  }
  ASSERT_EQ(names, ShippedVoices());
  for (const tolvaren_tts::VoiceInfo& info : listed) {
    const std::string& voice = info.name;
    SynthesizerConfig config = listing;
    config.voice = voice;
    std::unique_ptr<Synthesizer> tts;
    const tolvaren_tts::Status created = Synthesizer::Create(config, &tts);
    ASSERT_TRUE(created.ok()) << voice << ": " << created.message();
    EXPECT_EQ(tts->sample_rate(), 24000) << voice;
    EXPECT_EQ(info.sample_rate, tts->sample_rate()) << voice;
    EXPECT_EQ(info.supports_speed, tts->supports_speed()) << voice;
    EXPECT_NE(info.licence.find("LICENSE"), std::string::npos) << voice;
    Audio audio;
    const tolvaren_tts::Status spoken = tts->Synthesize(text, {}, &audio);
    ASSERT_TRUE(spoken.ok()) << voice << ": " << spoken.message();
    const double seconds =
        static_cast<double>(audio.samples.size()) / audio.sample_rate;
    EXPECT_GT(seconds, 14 * 0.12) << voice;
    EXPECT_LT(seconds, 14 * 0.5) << voice;
    EXPECT_GT(Rms(audio.samples), 0.02) << voice;
    ExpectLimitedAndDecaying(audio, voice);
    // Louder, without final punctuation: limited, not clipped, and ending
    // as a sentence does.
    tolvaren_tts::SynthesisOptions loud;
    loud.volume = 4.0;
    Audio plain;
    Audio louder;
    ASSERT_TRUE(tts->Synthesize("今天天气很好", {}, &plain).ok()) << voice;
    ASSERT_TRUE(tts->Synthesize("今天天气很好", loud, &louder).ok()) << voice;
    ExpectLimitedAndDecaying(plain, voice + " unpunctuated");
    ExpectLimitedAndDecaying(louder, voice + " at volume 4");
    EXPECT_GT(Rms(louder.samples), 1.3 * Rms(plain.samples)) << voice;
    if (tts->supports_speed()) {
      Audio fast;
      ASSERT_TRUE(tts->Synthesize(text, {2.0, 0.0}, &fast).ok()) << voice;
      const double ratio = static_cast<double>(fast.samples.size()) /
                           static_cast<double>(audio.samples.size());
      EXPECT_GT(ratio, 0.4) << voice;
      EXPECT_LT(ratio, 0.6) << voice;
    }
  }
}

// Every voice's utterance ends in a decay, at any speed: silent from where
// its final pause begins, its last 50 ms of speech at most half the power
// of the 200 ms before them.
TEST(ShippedVoicesTest, UtterancesEndInADecay) {
  SynthesizerConfig config;
  config.conf_path = std::string(TOLVAREN_BUILD_RES_DIR) + "/conf/tool.conf";
  for (const std::string& voice : ShippedVoices()) {
    config.voice = voice;
    std::unique_ptr<Synthesizer> tts;
    ASSERT_TRUE(Synthesizer::Create(config, &tts).ok()) << voice;
    const struct {
      std::string text;
      double speed;
    } cases[] = {{"好", 1.0},
                 {"今天天气很好，我们去公园散步吧。", 1.0},
                 {"今天天气很好，我们去公园散步吧。", 4.0}};
    for (const auto& [text, speed] : cases) {
      if (speed != 1.0 && !tts->supports_speed()) continue;
      const std::string what = voice + " " + text + " " + std::to_string(speed);
      std::vector<tolvaren_tts::WordTiming> timings;
      tolvaren_tts::SynthesisOptions options;
      options.speed = speed;
      options.timings = &timings;
      Audio audio;
      ASSERT_TRUE(tts->Synthesize(text, options, &audio).ok()) << what;
      ASSERT_TRUE(!timings.empty() && timings.back().pause) << what;
      const auto end = audio.samples.begin() +
                       static_cast<std::ptrdiff_t>(timings.back().start_sample);
      const std::ptrdiff_t ms = audio.sample_rate / 1000;
      ASSERT_GE(end - audio.samples.begin(), 250 * ms) << what;
      EXPECT_EQ(Peak(end, audio.samples.end()), 0.0f) << what;
      EXPECT_LE(Power(end - 50 * ms, end),
                0.5 * Power(end - 250 * ms, end - 50 * ms))
          << what;
    }
  }
}

// The default voice's timings tile its audio, name its words with their
// pinyin, and give a requested break its own pause; a markup rate of one
// half speaks about twice as long.
TEST(ShippedVoicesTest, TimingsTileTheAudio) {
  SynthesizerConfig config;
  config.conf_path = std::string(TOLVAREN_BUILD_RES_DIR) + "/conf/tool.conf";
  std::unique_ptr<Synthesizer> tts;
  ASSERT_TRUE(Synthesizer::Create(config, &tts).ok());
  struct Case {
    std::string text;
    bool markup;
    std::string word;   // a word that must be there (none when empty)
    std::size_t pause;  // a pause at least this long must be there
  };
  const std::vector<Case> cases = {
      {"你好，世界！", false, "ni2 hao3", 1},
      {"<speak>你好<break time=\"1s\"/><phoneme alphabet=\"pinyin\" "
       "ph=\"shi4 jie4\">世界</phoneme></speak>",
       true, "shi4 jie4", 24000},
      {"[[ni3 hao3]]，世界", false, "ni3 hao3", 1},
      // Breaks alone: one pause over all of their silence.
      {"<speak><break time=\"1s\"/><break time=\"2s\"/></speak>", true, "",
       72000},
  };
  for (const Case& c : cases) {
    std::vector<tolvaren_tts::WordTiming> timings;
    tolvaren_tts::SynthesisOptions options;
    options.markup = c.markup;
    options.timings = &timings;
    Audio audio;
    ASSERT_TRUE(tts->Synthesize(c.text, options, &audio).ok()) << c.text;
    ASSERT_FALSE(timings.empty()) << c.text;
    EXPECT_EQ(timings.front().start_sample, 0u) << c.text;
    EXPECT_EQ(timings.back().end_sample, audio.samples.size()) << c.text;
    bool has_word = false;
    bool has_pause = false;
    for (std::size_t i = 0; i < timings.size(); ++i) {
      if (i > 0) {
        EXPECT_EQ(timings[i].start_sample, timings[i - 1].end_sample) << c.text;
      }
      has_word = has_word || c.word.empty() || timings[i].pinyin == c.word;
      has_pause = has_pause ||
                  (timings[i].pause &&
                   timings[i].end_sample - timings[i].start_sample >= c.pause);
    }
    EXPECT_TRUE(has_word) << c.text;
    EXPECT_TRUE(has_pause) << c.text;
  }
  tolvaren_tts::SynthesisOptions markup;
  markup.markup = true;
  Audio plain;
  Audio slow;
  ASSERT_TRUE(tts->Synthesize("今天天气很好", {}, &plain).ok());
  ASSERT_TRUE(
      tts->Synthesize(
             "<speak><prosody rate=\"50%\">今天天气很好</prosody></speak>",
             markup, &slow)
          .ok());
  const double ratio = static_cast<double>(slow.samples.size()) /
                       static_cast<double>(plain.samples.size());
  EXPECT_GT(ratio, 1.6);
  EXPECT_LT(ratio, 2.4);
}

}  // namespace
