// A look-ahead peak limiter: keeps every sample within ±kSampleCeiling
// without clipping, by lowering the gain smoothly before a peak arrives and
// raising it again slowly after it.
//
// For each sample the gain it may have at most is ceiling / |x| (1 where
// |x| is within the ceiling). The gain curve is the smallest of those over
// the next `lookahead` samples, recovering towards 1 with the release time
// constant, then averaged over lookahead + 1 samples: every sample's gain is
// then at most its own limit (each averaged value already looked ahead to
// it), the gain falls as a ramp over the look-ahead instead of a step, and
// it changes by at most 1 / (lookahead + 1) from one sample to the next.
//
// Samples come out `lookahead` samples after they go in; Flush hands out
// the rest at the end of the signal, so the count and the positions of the
// samples never change. The work is done sample by sample with the state
// carried over, so the output is the same however the input is cut into
// blocks. A signal that stays within the ceiling comes out bit for bit as it
// went in.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_PEAK_LIMITER_H_
#define TOLVAREN_TTS_TOOL_SYNTH_PEAK_LIMITER_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace tolvaren {

// The most any handed-out sample reaches: a little below full scale, so
// that 16-bit conversion never clips and resampled audio keeps headroom.
inline constexpr float kSampleCeiling = 0.99f;

// The volumes a caller may ask for, scaling the samples before the
// limiter: above 0 (silence is not a volume), up to 8 times (+18 dB, where
// the limiter already flattens all speech).
inline constexpr double kMaxVolume = 8.0;

class PeakLimiter {
 public:
  // `lookahead` samples (at least 1) and a release time constant of
  // `release` samples (at least 1).
  PeakLimiter(std::size_t lookahead, double release);

  // The limiter for audio at `sample_rate` Hz: 5 ms of look-ahead, enough
  // for the gain to be down before a peak without an audible dip; 50 ms of
  // release, slow enough that the gain does not follow each pitch period.
  static PeakLimiter ForRate(int sample_rate);

  // Takes `count` samples and appends to `out` the limited samples that are
  // now final (those lookahead samples back).
  void Process(const float* samples, std::size_t count,
               std::vector<float>& out);

  // The signal has ended: appends the samples still held, then starts
  // afresh for another signal.
  void Flush(std::vector<float>& out);

  std::size_t lookahead() const { return lookahead_; }

 private:
  // One sample in, at most one out.
  void Push(float sample, std::vector<float>& out);

  std::size_t lookahead_;
  double release_;
  double recovery_;  // the share of the gap to 1 the gain regains per sample
  // Input samples not yet given out, oldest first.
  std::deque<float> delayed_;
  // The gain limits of the look-ahead window with their input positions,
  // rising from front to back: the front is the window's minimum.
  std::deque<std::pair<int64_t, double>> limits_;
  // The gain curve's last lookahead + 1 values as deficits (1 - gain),
  // with their sum and how many of them are not 0.
  std::deque<double> deficits_;
  double deficit_sum_ = 0.0;
  std::size_t lowered_ = 0;
  double envelope_ = 1.0;    // the gain curve's latest value
  int64_t position_ = 0;     // input samples taken
  std::size_t skipped_ = 0;  // outputs still to drop (the silence before)
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_PEAK_LIMITER_H_
