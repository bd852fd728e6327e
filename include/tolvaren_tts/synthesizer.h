// libtolvaren_tts: Mandarin Chinese text to speech for programs that keep
// one engine loaded (a ROS 2 node, a voice prompt service).
//
//   std::unique_ptr<tolvaren_tts::Synthesizer> tts;
//   tolvaren_tts::Status status =
//       tolvaren_tts::Synthesizer::Create(tolvaren_tts::SynthesizerConfig(),
//       &tts);
//   tolvaren_tts::Audio audio;
//   if (status.ok()) status = tts->Synthesize("你好，世界！", {}, &audio);
//
// Creating a Synthesizer loads the text front end and both models (about a
// second); each call then costs only the synthesis. Nothing here throws or
// ends the process: every failure comes back as a Status.
//
// Threads: any number of threads may call one Synthesizer; its calls run
// one at a time, each waiting for the one before, while separate
// Synthesizers run in parallel. Destroying it waits for a call running on
// another thread. A call on it from inside its own callbacks (the chunk
// callback, or a log callback on the thread of its call) is refused with
// kInCallback; destroying it there is a bug, which the C and Python
// interfaces refuse.
//
// The library writes nothing on standard output or standard error: its log
// records go to the callback of log.h, or nowhere when none is set.
// voices.h lists the voices a configuration offers.

#ifndef TOLVAREN_TTS_SYNTHESIZER_H_
#define TOLVAREN_TTS_SYNTHESIZER_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tolvaren_tts/export.h"
#include "tolvaren_tts/status.h"
#include "tolvaren_tts/timings.h"

namespace tolvaren_tts {

struct SynthesizerConfig {
  // The tool configuration (tool.conf). Empty: $TOLVAREN_TTS_CONF when set,
  // otherwise the installed package's tool.conf.
  std::string conf_path;
  // Explicit paths instead of a configuration file: when all three are
  // set, conf_path is not read.
  std::string front_conf_path;
  std::string acoustic_model_path;
  std::string vocoder_model_path;
  // A voice is the folder <models>/<voice>/ beside the configured acoustic
  // model, holding fastspeech2.onnx and hifigan.onnx. Empty or "default":
  // the configured models themselves.
  std::string voice;
  // The model sessions' threads, 1 to 1024; 0: as the configuration file
  // says when it sets intra_op_num_threads (its inter_op_num_threads
  // too), otherwise one per core this process may run on (its affinity
  // mask). A number here wins over the file. The sessions run their graphs
  // node after node, where the inter-op pool does no work: a number here,
  // or the count of cores, all goes to the intra-op pool (the work inside
  // each operator), and inter-op gets one.
  int threads = 0;
};

struct SynthesisOptions {
  // Speaking rate: 2 is twice as fast, 0.25 to 4. Anything but 1 needs a
  // voice whose acoustic model takes a duration-scale input
  // ("duration_scale"; supports_speed()).
  double speed = 1.0;
  // Seconds of silence after the text, so that texts spoken one after
  // another are heard apart. 0 to 60.
  double sentence_silence = 0.0;
  // The text is a markup document (<speak>…</speak>: breaks, rates, say-as,
  // pinyin, aliases; see docs/markup.md) rather than plain text. Plain text
  // reads [[ni3 hao3]] as those syllables either way.
  bool markup = false;
  // When set, receives when each word and syllable of the audio is spoken
  // (timings.h), once the synthesis has ended; left empty, with a warning
  // in the log, for a voice whose acoustic model gives no durations.
  std::vector<WordTiming>* timings = nullptr;
  // Loudness: the samples are multiplied by it before the peak limiter, so
  // a loud volume never clips (its peaks are flattened instead). Above 0,
  // up to 8.
  double volume = 1.0;
};

struct Audio {
  // Mono, always within [-0.99, 0.99]: a peak limiter with look-ahead
  // lowers the gain smoothly around louder peaks (no clipping), and where
  // speech stops it fades out over the last 20 ms.
  std::vector<float> samples;
  int sample_rate = 0;  // samples per second
};

// Receives the samples in order, about a vocoder chunk at a time, as soon
// as they are final; returning false stops the synthesis (Status
// kCancelled).
using ChunkCallback =
    std::function<bool(const float* samples, std::size_t count)>;

class TOLVAREN_TTS_EXPORT Synthesizer {
 public:
  // Loads the front end and the voice's models. On failure `*synthesizer`
  // is left empty.
  static Status Create(const SynthesizerConfig& config,
                       std::unique_ptr<Synthesizer>* synthesizer);
  ~Synthesizer();

  Synthesizer(const Synthesizer&) = delete;
  Synthesizer& operator=(const Synthesizer&) = delete;

  // Speaks `text` (UTF-8, any length; every character is allowed). An
  // empty text gives no samples (and no silence). On failure `audio` holds
  // nothing.
  Status Synthesize(const std::string& text, const SynthesisOptions& options,
                    Audio* audio);

  // The same samples, handed to `callback` chunk by chunk (the silence
  // last), so playback can start before the text is done: the acoustic
  // model runs over one piece of the text at a time (the first a clause of
  // about 16 phones, the others up to 128, each ending at a pause) and the
  // samples of each vocoded chunk are handed on as soon as the peak
  // limiter has looked past them (25 ms), so the first chunk comes after
  // about a clause's work whatever the length, and memory stays bounded by
  // a piece rather than the text.
  Status Synthesize(const std::string& text, const SynthesisOptions& options,
                    const ChunkCallback& callback);

  // The numbered-tone pinyin of `text`, syllables separated by blanks, as
  // spoken (after normalisation, tone sandhi and erhua); [[…]] as given.
  Status Pinyin(const std::string& text, std::string* pinyin);
  // The same for a text read as `options` says (a markup document when
  // options.markup); the other options play no part.
  Status Pinyin(const std::string& text, const SynthesisOptions& options,
                std::string* pinyin);

  // The voice's sample rate.
  int sample_rate() const;
  // Whether the voice's acoustic model takes a speed (duration scale).
  bool supports_speed() const;

 private:
  struct Impl;
  explicit Synthesizer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tolvaren_tts

#endif  // TOLVAREN_TTS_SYNTHESIZER_H_
