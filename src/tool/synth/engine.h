// The synthesis engine: phone ids to audio, piece by piece, so the first
// samples are handed on after about one piece's work and memory stays
// bounded by a piece however long the text.
//
// What is spoken is an ordered list of segments (Segment): each has its
// phone ids, a duration scale and a number of silence samples to emit
// after it. Each segment's ids are cut into acoustic pieces at pauses
// (acoustic_pieces.h); the acoustic model runs one piece, the piece's
// rows go to a VocoderStream, and every chunk whose window is complete is
// vocoded and handed on before the next piece runs. The chunks of a
// segment are those of vocoding its joined mel at once, so the samples
// are the same as a whole run over the same pieces. Where speech stops (the
// last segment, and one followed by silence) the ids end with a pause, one
// appended when they do not, so the speech ends the way it does at a
// sentence-final stop.
//
// Every chunk then goes through the output stage (output_stage.h: volume,
// a decaying end, the peak limiter), which keeps every sample's position
// and hands the samples on once the limiter has looked past them.
//
// The tool, the library and tolvaren_say all synthesise through this.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_ENGINE_H_
#define TOLVAREN_TTS_TOOL_SYNTH_ENGINE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "absl/status/statusor.h"
#include "tool/synth/acoustic_model.h"
#include "tool/synth/acoustic_pieces.h"
#include "tool/synth/output_stage.h"
#include "tool/synth/vocoder.h"
#include "tool/synth/vocoder_stream.h"

namespace tolvaren {

// A pause inside a segment's ids held to a length of its own: a markup
// break between two texts that are spoken in one run, so that the words on
// either side sound as they do at a pause in a sentence. The pause at
// `index` (a pause id) lasts `samples` in all, or its own length where that
// is longer.
struct HeldPause {
  std::size_t index = 0;
  int64_t samples = 0;
};

// One stretch of speech: its phone ids, how slowly they are spoken (every
// phone's length is multiplied by `duration_scale`; anything but 1 needs a
// model that takes it), and the silence after it in samples.
struct Segment {
  std::vector<int64_t> phone_ids;
  float duration_scale = 1.0f;
  int64_t silence_after = 0;
  // The silence after is the whole pause there (a markup break): the pause
  // the voice speaks where the segment stops counts in it, and only the
  // rest is added as silence. Needs a model that gives durations; without
  // them the silence is added whole.
  bool silence_holds_pause = false;
  // In order of index; needs a model that gives durations (without them a
  // held pause's silence comes after the piece that holds it).
  std::vector<HeldPause> held_pauses;
};

// The segments to speak, handed over one at a time as the engine asks for
// them, so that a long request need not be planned whole before it speaks.
class SegmentSource {
 public:
  virtual ~SegmentSource() = default;
  // The next segment into `*next`; false when none is left. A failure
  // stops the synthesis and is returned as it is.
  [[nodiscard]] virtual absl::StatusOr<bool> Next(Segment* next) = 0;
  // Samples of silence before the first segment; read once the first Next
  // has returned.
  virtual int64_t leading_silence() const { return 0; }
};

// What the engine reports of each acoustic piece, right after the acoustic
// model ran it and before any of its samples are handed on: the ids
// [phone_begin, phone_end) of segment `segment` (the piece's phone ids),
// the mel frames they became, and the offset in samples of the piece's
// first sample in the whole utterance (silences included). The ids are
// the segment's own: a pause the engine appended (see above) is not
// reported (neither its id nor its duration), its frames are silence
// after the last word. A piece's
// audio is exactly frames × hop samples, the utterance's last piece
// aside, whose last chunk keeps what the vocoder gives.
//
// This is where word and syllable timings are computed: a model that
// reports per-phone frame counts has them for this piece when this runs.
struct PieceReport {
  std::size_t segment = 0;
  const Segment* of = nullptr;
  std::size_t phone_begin = 0;
  std::size_t phone_end = 0;
  int64_t frames = 0;
  int64_t first_sample = 0;
  // The frames of each of the piece's phones, when the acoustic model
  // gives them (kDurationsOutput); empty otherwise.
  const std::vector<int64_t>* durations = nullptr;
};
using PieceHook = std::function<void(const PieceReport&)>;

struct EngineRequest {
  // 0: every piece as long as the pause cut allows (the same pieces as the
  // acoustic model has always run); above 0: a short first piece (see
  // PlanAcousticPieces) so that speech starts sooner.
  std::size_t first_piece_phones = 0;
  std::size_t max_piece_phones = kMaxPhonesPerRun;
  // Scales the samples before the limiter (0 < volume <= kMaxVolume).
  float volume = 1.0f;
  // true: every chunk handed on is one of the vocoder's, of its size, once
  // the next one exists (the tool's file records the vocoder's chunks);
  // false: the samples go on as soon as they are final, 25 ms behind the
  // vocoder, so that streamed speech never waits for the next piece.
  bool chunks_as_vocoded = true;
  // The vocoder's chunks (see ChunkLayout; the default is the tool's).
  ChunkLayout chunks;
  // Optional; see PieceReport.
  PieceHook on_piece;
  // Samples of silence before the first segment (a request that opens with
  // a break); the offsets of PieceReport count them.
  int64_t leading_silence = 0;
};

// What the engine needs of the voice.
struct EngineVoice {
  int32_t hop_samples = 0;
  int32_t sample_rate = 0;
  std::optional<int64_t> mel_bins;  // when the voice declares them
  int64_t pause_id = -1;            // the phone id pieces end after
  // The model files, to name them in errors.
  std::string acoustic_path;
  std::string vocoder_path;
};

class SynthesisEngine {
 public:
  // The predictors are loaded by the owner, then the voice is set.
  FastSpeech2Predictor& acoustic() { return acoustic_; }
  HifiGanPredictor& vocoder() { return vocoder_; }
  const FastSpeech2Predictor& acoustic() const { return acoustic_; }
  const HifiGanPredictor& vocoder() const { return vocoder_; }
  void SetVoice(EngineVoice voice) { voice_ = std::move(voice); }

  // Speaks `segments` in order, handing every chunk of samples to `sink` as
  // soon as it exists (a silence in chunks of zeros of at most
  // kSilenceBlockSamples, so that no silence is held whole). A sink's
  // failure stops the synthesis at once and is returned as it is; the
  // chunks already handed on stay with the sink. Runtime errors are
  // RuntimeError statuses (named by model file), FailedPrecondition
  // unusable model outputs, InvalidArgument a scale the model cannot take.
  [[nodiscard]] absl::Status Synthesize(const std::vector<Segment>& segments,
                                        const SampleSink& sink,
                                        const EngineRequest& request = {});
  // The same, the segments asked of `source` one at a time: the engine holds
  // the segment it speaks and the one after it (to know where speech stops),
  // never the whole list. A request's leading silence comes before the
  // source's own.
  [[nodiscard]] absl::Status Synthesize(SegmentSource& source,
                                        const SampleSink& sink,
                                        const EngineRequest& request = {});

 private:
  // One segment into `stage`, `stops` where speech stops after it, `ends`
  // where the utterance ends with it; a failure of the sink is `refused`
  // and returned as it is. `first_sample` is the segment's first sample's
  // offset, advanced past its audio and silence.
  [[nodiscard]] absl::Status Speak(std::size_t index, const Segment& segment,
                                   bool stops, bool ends, OutputStage& stage,
                                   const absl::Status& refused,
                                   const EngineRequest& request,
                                   int64_t& first_sample);
  // The ids the acoustic model reads for `segment`: its own, and a pause
  // after them where speech stops and they do not end with one.
  std::vector<int64_t> SpokenIds(const Segment& segment, bool stops) const;
  // The frames of the pause that ends `ids`, when `piece` is their last
  // and the model gave durations; none otherwise.
  std::optional<int64_t> FinalPauseFrames(const std::vector<int64_t>& ids,
                                          const AcousticPiece& piece,
                                          const MelSpectrogram& mel) const;
  // The acoustic model's failure named by its file, or the vocoder's.
  absl::Status OfAcoustic(const absl::Status& status) const;
  absl::Status OfVocoder(const absl::Status& status) const;

  FastSpeech2Predictor acoustic_;
  HifiGanPredictor vocoder_;
  EngineVoice voice_;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_ENGINE_H_
