#include "tool/synth/peak_limiter.h"

#include <algorithm>
#include <cmath>

namespace tolvaren {
namespace {

constexpr double kLookaheadSeconds = 0.005;
constexpr double kReleaseSeconds = 0.05;
// A gain this close to 1 is 1: the curve then rests at exactly 1 and the
// samples after a peak's release come out unchanged again.
constexpr double kRestingDeficit = 1e-6;

}  // namespace

PeakLimiter::PeakLimiter(std::size_t lookahead, double release)
    : lookahead_(std::max<std::size_t>(lookahead, 1)),
      release_(std::max(release, 1.0)),
      recovery_(1.0 - std::exp(-1.0 / release_)),
      deficits_(lookahead_, 0.0) {
  // The signal comes after a look-ahead's silence, given through the
  // limiter but not handed out: a signal loud from its first sample then
  // finds the gain already lowered.
  std::vector<float> none;
  skipped_ = lookahead_;
  for (std::size_t i = 0; i < lookahead_; ++i) Push(0.0f, none);
}

PeakLimiter PeakLimiter::ForRate(int sample_rate) {
  const double rate = std::max(sample_rate, 1);
  return PeakLimiter(
      static_cast<std::size_t>(std::lround(kLookaheadSeconds * rate)),
      kReleaseSeconds * rate);
}

void PeakLimiter::Process(const float* samples, std::size_t count,
                          std::vector<float>& out) {
  for (std::size_t i = 0; i < count; ++i) Push(samples[i], out);
}

void PeakLimiter::Flush(std::vector<float>& out) {
  // Silence after the end, which needs no lowering, pushes out the
  // samples held.
  for (std::size_t i = 0; i < lookahead_; ++i) Push(0.0f, out);
  *this = PeakLimiter(lookahead_, release_);
}

void PeakLimiter::Push(float sample, std::vector<float>& out) {
  // A sample that is not a number asks for no gain; the writers deal with it.
  const double magnitude = std::fabs(static_cast<double>(sample));
  const double limit =
      magnitude > kSampleCeiling ? kSampleCeiling / magnitude : 1.0;
  while (!limits_.empty() && limits_.back().second >= limit) {
    limits_.pop_back();
  }
  limits_.emplace_back(position_, limit);
  delayed_.push_back(sample);
  ++position_;
  if (delayed_.size() <= lookahead_) return;

  // The oldest held sample: its look-ahead window is complete.
  const int64_t oldest = position_ - 1 - static_cast<int64_t>(lookahead_);
  while (limits_.front().first < oldest) limits_.pop_front();
  const double recovered = envelope_ + (1.0 - envelope_) * recovery_;
  envelope_ = std::min(limits_.front().second, recovered);
  if (1.0 - envelope_ < kRestingDeficit) envelope_ = 1.0;

  const double deficit = 1.0 - envelope_;
  deficits_.push_back(deficit);
  deficit_sum_ += deficit;
  if (deficit != 0.0) ++lowered_;

  const float x = delayed_.front();
  delayed_.pop_front();
  if (skipped_ > 0) {
    --skipped_;
  } else if (lowered_ == 0) {
    out.push_back(x);
  } else {
    const double gain =
        1.0 - deficit_sum_ / static_cast<double>(lookahead_ + 1);
    // The clamp only catches rounding: the gain already keeps the ceiling.
    out.push_back(std::clamp(static_cast<float>(x * gain), -kSampleCeiling,
                             kSampleCeiling));
  }

  // The oldest value leaves the window.
  const double leaving = deficits_.front();
  deficits_.pop_front();
  deficit_sum_ -= leaving;
  if (leaving != 0.0) --lowered_;
  if (lowered_ == 0) deficit_sum_ = 0.0;  // no rounding residue left
}

}  // namespace tolvaren
