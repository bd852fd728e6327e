// The last step of every synthesis, below every caller (the tool, the
// library and its C interface, tolvaren_say, the ROS node): the samples as
// they are handed out.
//
// In order: the volume scales the vocoder's samples; where speech stops
// (before a silence, and at the end of the utterance) the last 20 ms fade
// out unless they are already near-silent, so no utterance ends with a
// click; where the engine knows the utterance's speech ends (the start of
// its final pause), the last 150 ms before that point fade out and all
// after it is silence, so every utterance ends in a decay, whatever the
// speed it was spoken at; the peak limiter (peak_limiter.h) keeps every sample
// within ±kSampleCeiling. The position of every sample stays as it was. The
// samples are handed on either in the chunks as they came (their count
// and sizes), each once the limiter has looked far enough past its end,
// that is when the next chunk has come or the utterance ends; or, for
// speech that plays while it is made, as soon as they are final, 25 ms
// (the fade and the look-ahead) behind the vocoder.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_OUTPUT_STAGE_H_
#define TOLVAREN_TTS_TOOL_SYNTH_OUTPUT_STAGE_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "absl/status/status.h"
#include "tool/synth/peak_limiter.h"
#include "tool/synth/vocoder_stream.h"

namespace tolvaren {

// The largest chunk a silence is handed on in.
inline constexpr int64_t kSilenceBlockSamples = 4096;

class OutputStage {
 public:
  // Hands the finished samples to `sink`, in the chunks as they came when
  // `keep_chunks`; audio at `sample_rate` Hz.
  OutputStage(int sample_rate, float volume, bool keep_chunks,
              const SampleSink& sink);

  // A chunk of speech. A failure of the sink comes back as it is.
  [[nodiscard]] absl::Status Speech(std::vector<float> chunk);
  // Speech stops here, and `samples` of silence follow, in chunks of
  // kSilenceBlockSamples (the last one shorter).
  [[nodiscard]] absl::Status Silence(int64_t samples);
  // The utterance ends: every chunk still held is handed on.
  [[nodiscard]] absl::Status Finish();
  // The utterance's speech ends at sample `end` (counted from the first
  // sample given, silences included): the samples from 150 ms before it
  // fade out to 0 there, and every later one is 0. Samples already handed
  // to the limiter stay as they were: the fade then begins at the first
  // one still held. Called before the samples at `end` are given.
  void EndSpeechAt(int64_t end);

 private:
  // Adds a chunk whose samples are already scaled.
  [[nodiscard]] absl::Status Add(std::vector<float> chunk);
  // The speech held for a decaying end stops: fades it when it is not
  // near-silent and passes it on to the limiter.
  void StopSpeech();
  // Applies the fade of EndSpeechAt to the samples from `first` on (their
  // positions in the utterance).
  void EndFade(float* samples, std::size_t count, int64_t first) const;
  // Hands on the samples out of the limiter: every chunk whose samples are
  // all there when keeping chunks, else all of them.
  [[nodiscard]] absl::Status Release();

  float volume_;
  bool keep_chunks_;
  std::size_t fade_samples_;
  std::size_t quiet_samples_;
  std::size_t end_fade_samples_;
  int64_t given_ = 0;  // samples given so far
  // The fade of EndSpeechAt, once `ended_`: [fade_begin_, fade_end_),
  // silence from fade_end_ on.
  int64_t fade_begin_ = 0;
  int64_t fade_end_ = 0;
  bool ended_ = false;
  SampleSink sink_;
  PeakLimiter limiter_;
  std::vector<float> held_;        // the last samples in, not yet limited
  std::vector<float> limited_;     // limited, not yet handed on
  std::deque<std::size_t> sizes_;  // of the chunks not yet handed on
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_OUTPUT_STAGE_H_
