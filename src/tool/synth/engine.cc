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
  VocoderStream stream(vocoder_, voice_.hop_samples, request.chunks);
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
      const int64_t piece_start =
          first_sample + stream.frames() * voice_.hop_samples;
      if (p + 1 == pieces.size()) {
        pause_frames = FinalPauseFrames(ids, piece, *mel);
      }
      // The utterance's speech ends where its final pause begins.
      if (ends && pause_frames) {
        stage.EndSpeechAt(piece_start +
                          (mel->frames - *pause_frames) * voice_.hop_samples);
      }
      if (request.on_piece) {
        const std::size_t end = std::min(piece.end, reported);
        if (mel->durations.size() > end - piece.begin) {
          mel->durations.resize(end - piece.begin);
        }
        request.on_piece({index, &segment, piece.begin, end, mel->frames,
                          piece_start, &mel->durations});
      }
      absl::Status vocoded =
          stream.Append(mel->rows(), mel->frames, mel->bins, counted);
      if (!refused.ok()) return refused;
      if (!vocoded.ok()) return OfVocoder(vocoded);
    }
  } catch (const Ort::Exception& e) {
    return OfAcoustic(RuntimeError(e));
  }
  if (absl::Status some = CheckHasFrames(ids.size(), stream.frames());
      !some.ok()) {
    return OfAcoustic(some);
  }
  absl::Status vocoded = stream.Finish(counted);
  if (!refused.ok()) return refused;
  if (!vocoded.ok()) return OfVocoder(vocoded);
  first_sample += given;
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
