#include "tool/synth/engine.h"

#include <algorithm>
#include <utility>

#include "tool/logger.h"

namespace tolvaren {
namespace {

// A model's unusable output, or a run the runtime refused, named by the
// model's file: the runtime's own message ("Unexpected input data type")
// does not say which of the two models it was.
absl::Status OfModel(const absl::Status& status, const std::string& path) {
  const bool refused = IsRuntimeError(status);
  if (!absl::IsFailedPrecondition(status) && !refused) return status;
  const std::string named =
      "model " + path + ": " + std::string(status.message());
  return refused ? absl::InternalError(named)
                 : absl::FailedPreconditionError(named);
}

// Where a piece's mel rows stop for a held pause.
struct PieceCut {
  int64_t frame = 0;          // the frame after the pause's last
  std::size_t phone_end = 0;  // the id after the pause
  int64_t silence = 0;        // samples added to the pause's own
};

// The cuts of the held pauses in `piece`, from `next` on (which moves past
// them): after each pause's frames where the model gave durations, at the
// piece's end otherwise.
std::vector<PieceCut> CutsOf(const std::vector<HeldPause>& held,
                             std::size_t& next, const AcousticPiece& piece,
                             const MelSpectrogram& mel, int32_t hop) {
  std::vector<PieceCut> cuts;
  const bool timed = mel.durations.size() == piece.end - piece.begin;
  for (; next < held.size() && held[next].index < piece.end; ++next) {
    const HeldPause& pause = held[next];
    if (pause.index < piece.begin) continue;
    if (!timed) {
      cuts.push_back({mel.frames, piece.end, pause.samples});
      continue;
    }
    int64_t frame = 0;
    for (std::size_t i = piece.begin; i <= pause.index; ++i) {
      frame += std::max<int64_t>(mel.durations[i - piece.begin], 0);
    }
    const int64_t own = mel.durations[pause.index - piece.begin];
    cuts.push_back({std::min(frame, mel.frames), pause.index + 1,
                    std::max<int64_t>(0, pause.samples - own * hop)});
  }
  return cuts;
}

}  // namespace

absl::Status SynthesisEngine::OfAcoustic(const absl::Status& status) const {
  return OfModel(status, voice_.acoustic_path);
}

absl::Status SynthesisEngine::OfVocoder(const absl::Status& status) const {
  return OfModel(status, voice_.vocoder_path);
}

namespace {

// A list of segments handed over in order.
class ListedSegments : public SegmentSource {
 public:
  explicit ListedSegments(const std::vector<Segment>& segments)
      : segments_(segments) {}
  absl::StatusOr<bool> Next(Segment* next) override {
    if (at_ == segments_.size()) return false;
    *next = segments_[at_++];
    return true;
  }

 private:
  const std::vector<Segment>& segments_;
  std::size_t at_ = 0;
};

}  // namespace

absl::Status SynthesisEngine::Synthesize(const std::vector<Segment>& segments,
                                         const SampleSink& sink,
                                         const EngineRequest& request) {
  ListedSegments source(segments);
  return Synthesize(source, sink, request);
}

absl::Status SynthesisEngine::Synthesize(SegmentSource& source,
                                         const SampleSink& sink,
                                         const EngineRequest& request) {
  // The sink's own failure goes back as it is, never named by a model.
  absl::Status refused;
  OutputStage stage(voice_.sample_rate, request.volume,
                    request.chunks_as_vocoded, [&](std::vector<float> chunk) {
                      refused = sink(std::move(chunk));
                      return refused;
                    });
  Segment current;
  absl::StatusOr<bool> more = source.Next(&current);
  if (!more.ok()) return more.status();
  const int64_t leading = std::max<int64_t>(request.leading_silence, 0) +
                          std::max<int64_t>(source.leading_silence(), 0);
  if (leading > 0) {
    if (absl::Status taken = stage.Silence(leading); !taken.ok()) {
      return taken;
    }
  }
  int64_t first_sample = leading;
  for (std::size_t i = 0; *more; ++i) {
    Segment following;
    const absl::StatusOr<bool> after = source.Next(&following);
    if (!after.ok()) return after.status();
    // Speech stops before a silence and at the end.
    const bool ends = !*after;
    const bool stops = ends || current.silence_after > 0;
    if (absl::Status spoken = Speak(i, current, stops, ends, stage, refused,
                                    request, first_sample);
        !spoken.ok()) {
      return spoken;
    }
    current = std::move(following);
    more = after;
  }
  return stage.Finish();
}

std::vector<int64_t> SynthesisEngine::SpokenIds(const Segment& segment,
                                                bool stops) const {
  std::vector<int64_t> ids = segment.phone_ids;
  // Speech that stops ends on a pause, as at a sentence-final stop: the
  // voice then lets its last syllable decay into silence. Empty ids stay
  // empty, for the model to decide what no phones sound like.
  if (stops && voice_.pause_id >= 0 && !ids.empty() &&
      ids.back() != voice_.pause_id) {
    ids.push_back(voice_.pause_id);
  }
  return ids;
}

std::optional<int64_t> SynthesisEngine::FinalPauseFrames(
    const std::vector<int64_t>& ids, const AcousticPiece& piece,
    const MelSpectrogram& mel) const {
  const bool pause_ends = voice_.pause_id >= 0 && !ids.empty() &&
                          ids.back() == voice_.pause_id &&
                          piece.end == ids.size();
  if (!pause_ends || mel.durations.size() != piece.end - piece.begin) {
    return std::nullopt;
  }
  return std::clamp<int64_t>(mel.durations.back(), 0, mel.frames);
}

absl::Status SynthesisEngine::Speak(std::size_t index, const Segment& segment,
                                    bool stops, bool ends, OutputStage& stage,
                                    const absl::Status& refused,
                                    const EngineRequest& request,
                                    int64_t& first_sample) {
  int64_t given = 0;
  const SampleSink counted = [&](std::vector<float> chunk) {
    given += static_cast<int64_t>(chunk.size());
    return stage.Speech(std::move(chunk));
  };
  const std::vector<int64_t> ids = SpokenIds(segment, stops);
  // The segment's own ids are those reported: an appended pause is the
  // silence after the last word.
  const std::size_t reported = segment.phone_ids.size();
  const std::vector<AcousticPiece> pieces =
      PlanAcousticPieces(ids, voice_.pause_id, request.max_piece_phones,
                         request.first_piece_phones);
  // A held pause ends the stream of mel rows before it: its silence lies
  // between two streams, each vocoded as a whole mel is.
  std::optional<VocoderStream> stream;
  stream.emplace(vocoder_, voice_.hop_samples, request.chunks);
  int64_t stream_start = first_sample;  // the stream's first sample
  int64_t held_silence = 0;             // added at held pauses so far
  int64_t frames = 0;                   // of every stream
  std::size_t next_held = 0;
  std::optional<int64_t> pause_frames;  // of the pause the segment ends on
  std::optional<int64_t> bins = voice_.mel_bins;
  LOG_INFO("do am predictor, current time {}", Now());
  try {
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      const AcousticPiece& piece = pieces[p];
      // The runtime only reads its inputs; it takes them as mutable data.
      absl::StatusOr<MelSpectrogram> mel = acoustic_.PredictPiece(
          const_cast<int64_t*>(ids.data()) + piece.begin,
          piece.end - piece.begin, bins, segment.duration_scale);
      if (!mel.ok()) return OfAcoustic(mel.status());
      // Every piece must have the first piece's bins.
      bins = mel->bins;
      if (p == 0) {
        LOG_INFO("finish am predictor, current time {}", Now());
        LOG_INFO("do voc predictor, current time {}", Now());
        // The plan's records; the stream extends the plan as rows arrive.
        static_cast<void>(vocoder_.batchInput(mel->tensor));
        LOG_INFO("finish voc predictor, current time {}", Now());
      }
      if (p + 1 == pieces.size()) {
        pause_frames = FinalPauseFrames(ids, piece, *mel);
      }
      const std::vector<PieceCut> cuts = CutsOf(
          segment.held_pauses, next_held, piece, *mel, voice_.hop_samples);
      int64_t from = 0;
      std::size_t phone_from = piece.begin;
      for (std::size_t c = 0; c <= cuts.size(); ++c) {
        const bool last = c == cuts.size();
        const int64_t to = last ? mel->frames : cuts[c].frame;
        const std::size_t phone_to = last ? piece.end : cuts[c].phone_end;
        const int64_t start =
            stream_start + stream->frames() * voice_.hop_samples;
        // The utterance's speech ends where its final pause begins.
        if (last && ends && pause_frames) {
          stage.EndSpeechAt(
              start + (to - from - *pause_frames) * voice_.hop_samples);
        }
        if (request.on_piece) {
          const std::size_t end = std::min(phone_to, reported);
          std::vector<int64_t> durations;
          if (mel->durations.size() == piece.end - piece.begin &&
              end > phone_from) {
            durations.assign(
                mel->durations.begin() + (phone_from - piece.begin),
                mel->durations.begin() + (end - piece.begin));
          }
          request.on_piece({index, &segment, phone_from,
                            std::max(end, phone_from), to - from, start,
                            &durations});
        }
        absl::Status vocoded = stream->Append(
            mel->rows() + from * mel->bins, to - from, mel->bins, counted);
        if (!refused.ok()) return refused;
        if (!vocoded.ok()) return OfVocoder(vocoded);
        frames += to - from;
        if (last) break;
        // The held pause: the stream so far, then its silence.
        if (stream->frames() > 0) {
          vocoded = stream->Finish(counted);
          if (!refused.ok()) return refused;
          if (!vocoded.ok()) return OfVocoder(vocoded);
        }
        if (cuts[c].silence > 0) {
          if (absl::Status taken = stage.Silence(cuts[c].silence);
              !taken.ok()) {
            return taken;
          }
          held_silence += cuts[c].silence;
        }
        stream.emplace(vocoder_, voice_.hop_samples, request.chunks);
        stream_start = first_sample + given + held_silence;
        from = to;
        phone_from = phone_to;
      }
    }
  } catch (const Ort::Exception& e) {
    return OfAcoustic(RuntimeError(e));
  }
  if (absl::Status some = CheckHasFrames(ids.size(), frames); !some.ok()) {
    return OfAcoustic(some);
  }
  if (stream->frames() > 0) {
    absl::Status vocoded = stream->Finish(counted);
    if (!refused.ok()) return refused;
    if (!vocoded.ok()) return OfVocoder(vocoded);
  }
  first_sample += given + held_silence;
  int64_t silence = segment.silence_after;
  if (segment.silence_holds_pause && pause_frames) {
    silence =
        std::max<int64_t>(0, silence - *pause_frames * voice_.hop_samples);
  }
  if (silence > 0) {
    if (absl::Status taken = stage.Silence(silence); !taken.ok()) {
      return taken;
    }
    first_sample += silence;
  }
  return absl::OkStatus();
}

}  // namespace tolvaren
