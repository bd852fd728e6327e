#include "tool/synth/output_stage.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tolvaren {
namespace {

constexpr double kFadeSeconds = 0.02;
// The utterance's end fade: about the decay a reader gives a last
// syllable, long enough that even speech at 4 times the speed ends in one.
constexpr double kEndFadeSeconds = 0.15;
// The end is near-silent when its last 5 ms stay below -40 dB of full
// scale: a decay the voice made itself, or silence.
constexpr double kQuietSeconds = 0.005;
constexpr float kQuietLevel = 0.01f;

std::size_t SamplesOf(double seconds, int sample_rate) {
  return std::max<std::size_t>(
      1, static_cast<std::size_t>(std::lround(seconds * sample_rate)));
}

// The gain at sample `i` of a fade over `n` samples: a squared quarter
// sine period (a raised cosine), exactly 0 at the last one.
double FadeGain(int64_t i, int64_t n) {
  const double quarter = std::acos(0.0);  // pi / 2
  const double w = std::sin(quarter * static_cast<double>(n - 1 - i) /
                            static_cast<double>(n));
  return w * w;
}

// The end fade's gain: the level falls steadily in decibels, by 20 dB
// over the fade, as a voice dies away (a raised cosine alone holds the
// level for half its length and drops late), and the raised cosine brings
// it to exactly 0.
double EndGain(int64_t i, int64_t n) {
  const double done = static_cast<double>(i) / static_cast<double>(n);
  return std::pow(10.0, -done) * FadeGain(i, n);
}

// Fades `samples` out, reaching exactly 0 at the last one, unless their
// last `quiet` samples are near-silent already.
void DecayingEnd(std::vector<float>& samples, std::size_t quiet) {
  const std::size_t n = samples.size();
  const auto loud = [](float x) { return std::fabs(x) >= kQuietLevel; };
  if (std::none_of(
          samples.end() - static_cast<std::ptrdiff_t>(std::min(quiet, n)),
          samples.end(), loud)) {
    return;
  }
  for (std::size_t i = 0; i < n; ++i) {
    samples[i] =
        static_cast<float>(samples[i] * FadeGain(static_cast<int64_t>(i),
                                                 static_cast<int64_t>(n)));
  }
}

}  // namespace

OutputStage::OutputStage(int sample_rate, float volume, bool keep_chunks,
                         const SampleSink& sink)
    : volume_(volume),
      keep_chunks_(keep_chunks),
      fade_samples_(SamplesOf(kFadeSeconds, sample_rate)),
      quiet_samples_(SamplesOf(kQuietSeconds, sample_rate)),
      end_fade_samples_(SamplesOf(kEndFadeSeconds, sample_rate)),
      sink_(sink),
      limiter_(PeakLimiter::ForRate(sample_rate)) {}

absl::Status OutputStage::Speech(std::vector<float> chunk) {
  if (volume_ != 1.0f) {
    for (float& sample : chunk) sample *= volume_;
  }
  return Add(std::move(chunk));
}

absl::Status OutputStage::Silence(int64_t samples) {
  StopSpeech();
  // In blocks, as speech comes: a break of minutes (or many of them in a
  // row) must not need its length in memory.
  while (samples > 0) {
    const int64_t block = std::min(samples, kSilenceBlockSamples);
    if (absl::Status added =
            Add(std::vector<float>(static_cast<std::size_t>(block), 0.0f));
        !added.ok()) {
      return added;
    }
    samples -= block;
  }
  return absl::OkStatus();
}

absl::Status OutputStage::Finish() {
  StopSpeech();
  limiter_.Flush(limited_);
  return Release();
}

void OutputStage::EndSpeechAt(int64_t end) {
  const int64_t held_from = given_ - static_cast<int64_t>(held_.size());
  ended_ = true;
  fade_end_ = std::max(end, held_from);
  fade_begin_ =
      std::max(held_from, fade_end_ - static_cast<int64_t>(end_fade_samples_));
  EndFade(held_.data(), held_.size(), held_from);
}

void OutputStage::EndFade(float* samples, std::size_t count,
                          int64_t first) const {
  if (!ended_) return;
  const int64_t n = fade_end_ - fade_begin_;
  for (std::size_t k = 0; k < count; ++k) {
    const int64_t at = first + static_cast<int64_t>(k);
    if (at >= fade_end_) {
      samples[k] = 0.0f;
    } else if (at >= fade_begin_) {
      samples[k] =
          static_cast<float>(samples[k] * EndGain(at - fade_begin_, n));
    }
  }
}

absl::Status OutputStage::Add(std::vector<float> chunk) {
  EndFade(chunk.data(), chunk.size(), given_);
  given_ += static_cast<int64_t>(chunk.size());
  sizes_.push_back(chunk.size());
  held_.insert(held_.end(), chunk.begin(), chunk.end());
  // Only the last fade's length is held back: whether it fades is known
  // when the speech stops.
  if (held_.size() > fade_samples_) {
    const std::size_t passed = held_.size() - fade_samples_;
    limiter_.Process(held_.data(), passed, limited_);
    held_.erase(held_.begin(),
                held_.begin() + static_cast<std::ptrdiff_t>(passed));
  }
  return Release();
}

void OutputStage::StopSpeech() {
  if (held_.empty()) return;
  DecayingEnd(held_, quiet_samples_);
  limiter_.Process(held_.data(), held_.size(), limited_);
  held_.clear();
}

absl::Status OutputStage::Release() {
  if (!keep_chunks_) {
    sizes_.clear();
    if (limited_.empty()) return absl::OkStatus();
    std::vector<float> ready;
    ready.swap(limited_);
    return sink_(std::move(ready));
  }
  while (!sizes_.empty() && limited_.size() >= sizes_.front()) {
    const auto end =
        limited_.begin() + static_cast<std::ptrdiff_t>(sizes_.front());
    std::vector<float> chunk(limited_.begin(), end);
    limited_.erase(limited_.begin(), end);
    sizes_.pop_front();
    if (absl::Status taken = sink_(std::move(chunk)); !taken.ok()) {
      return taken;
    }
  }
  return absl::OkStatus();
}

}  // namespace tolvaren
