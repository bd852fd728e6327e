#include "tool/speak.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "absl/status/statusor.h"
#include "tool/logger.h"
#include "tool/spoken_segments.h"
#include "tool/synth/chunk_plan.h"
#include "tool/synth/peak_limiter.h"
#include "tool/synth/timings.h"

namespace tolvaren {
namespace {

constexpr double kMaxSilenceSeconds = 60.0;
constexpr double kMinSpeed = 0.25;
constexpr double kMaxSpeed = 4.0;

void Warn(const std::string& message) {
  LogRecord(kLevelWarning, __FILE__, __LINE__,
            static_cast<const char*>(__func__), "{}", message);
}

// The timings of a finished synthesis; none, with a warning, when the voice
// gave no durations or they do not fit the words (never a failed
// synthesis: the audio is already out).
void FillTimings(bool timed, std::vector<SpokenWord> words,
                 std::vector<TimedRun> runs, int32_t hop_samples,
                 int64_t total_samples,
                 std::vector<tolvaren_tts::WordTiming>* timings) {
  if (!timed) {
    Warn("no timings: this voice's acoustic model gives no durations");
    return;
  }
  TimingInput input;
  input.words = std::move(words);
  input.runs = std::move(runs);
  input.hop_samples = hop_samples;
  input.total_samples = total_samples;
  absl::StatusOr<std::vector<tolvaren_tts::WordTiming>> built =
      BuildTimings(input);
  if (!built.ok()) {
    Warn("no timings: " + std::string(built.status().message()));
    return;
  }
  *timings = *std::move(built);
}

}  // namespace

absl::Status SpeakRequest::Validate(bool takes_speed) const {
  if (!std::isfinite(speed) || speed <= 0) {
    return absl::InvalidArgumentError("the speed must be a positive number");
  }
  if (speed != 1.0 && !takes_speed) {
    return absl::InvalidArgumentError(
        "this voice speaks at one speed only: its acoustic model has no "
        "duration-scale input (duration_scale)");
  }
  // A phone keeps at least one frame however fast, and a speed beyond
  // these bounds is a mistake rather than a speaking rate.
  if (speed < kMinSpeed || speed > kMaxSpeed) {
    return absl::InvalidArgumentError("the speed must be from 0.25 to 4");
  }
  if (!std::isfinite(volume) || volume <= 0 || volume > kMaxVolume) {
    return absl::InvalidArgumentError("the volume must be above 0, up to 8");
  }
  if (!std::isfinite(sentence_silence) || sentence_silence < 0 ||
      sentence_silence > kMaxSilenceSeconds) {
    return absl::InvalidArgumentError(
        "the sentence silence must be 0 to 60 seconds");
  }
  return absl::OkStatus();
}

absl::Status Speak(EngineParts& parts, const std::string& text,
                   const SpeakRequest& request, const SampleSink& sink,
                   std::vector<tolvaren_tts::WordTiming>* timings) {
  if (absl::Status valid = request.Validate(parts.takes_duration_scale());
      !valid.ok()) {
    return valid;
  }
  if (timings != nullptr) timings->clear();
  if (text.empty()) return absl::OkStatus();
  if (timings != nullptr) {
    if (absl::Status loaded = LoadPhoneTable(parts); !loaded.ok()) {
      return loaded;
    }
  }
  const int sample_rate = parts.voice.sample_rate;
  std::vector<speechnn::SpeechPart> speech_parts;
  std::vector<std::string> warnings;
  if (absl::Status read =
          ReadSpokenParts(text, request.markup, &speech_parts, &warnings);
      !read.ok()) {
    return read;
  }
  // The segments are made as the engine asks for them: the front end reads
  // a block of sentences while the one before is spoken.
  std::vector<SpokenWord> words;
  SpokenSegmentSource source(parts, speech_parts, request.speed, sample_rate,
                             timings != nullptr ? &*parts.phone_table : nullptr,
                             &words);
  if (absl::Status prepared = source.Prepare(&warnings); !prepared.ok()) {
    return prepared;
  }
  for (const std::string& warning : warnings) Warn(warning);
  source.set_trailing_silence(
      std::llround(request.sentence_silence * sample_rate));
  // A short first piece, so that the first chunk comes after about a
  // clause's work whatever the length.
  EngineRequest engine_request;
  engine_request.first_piece_phones = kFirstPiecePhones;
  engine_request.max_piece_phones = kMaxStreamedPhones;
  engine_request.volume = static_cast<float>(request.volume);
  engine_request.chunks_as_vocoded = false;
  engine_request.chunks = kStreamedChunks;
  // The timings: each piece's ids and the frames the model gave them.
  std::vector<TimedRun> runs;
  bool timed = true;
  if (timings != nullptr) {
    engine_request.on_piece = [&](const PieceReport& piece) {
      const std::size_t count = piece.phone_end - piece.phone_begin;
      if (piece.durations == nullptr || piece.durations->size() != count) {
        timed = false;
        return;
      }
      const auto first = piece.of->phone_ids.begin() + piece.phone_begin;
      runs.push_back({{first, first + count},
                      *piece.durations,
                      piece.first_sample,
                      std::nullopt});
    };
  }
  int64_t produced = 0;
  const absl::Status spoken = parts.synth.Synthesize(
      source,
      [&](std::vector<float> chunk) {
        produced += static_cast<int64_t>(chunk.size());
        return sink(std::move(chunk));
      },
      engine_request);
  if (!spoken.ok()) return spoken;
  if (timings != nullptr && source.given() > 0) {
    FillTimings(timed, std::move(words), std::move(runs),
                parts.voice.hop_samples, produced, timings);
  } else if (timings != nullptr && produced > 0) {
    // Breaks or marks alone: one pause over all of it, so that the entries
    // still tile the audio.
    tolvaren_tts::WordTiming pause;
    pause.pause = true;
    pause.end_sample = static_cast<std::size_t>(produced);
    timings->push_back(std::move(pause));
  }
  return absl::OkStatus();
}

absl::Status SpokenPinyin(EngineParts& parts, const std::string& text,
                          bool markup, std::string* pinyin) {
  pinyin->clear();
  if (parts.front == nullptr) {
    return absl::FailedPreconditionError("no text front end");
  }
  if (absl::Status loaded = LoadPhoneTable(parts); !loaded.ok()) return loaded;
  // The words as they would be spoken, [[…]] as given, taken as each
  // block is read.
  std::vector<speechnn::SpeechPart> speech_parts;
  std::vector<std::string> warnings;
  if (absl::Status read =
          ReadSpokenParts(text, markup, &speech_parts, &warnings);
      !read.ok()) {
    return read;
  }
  std::vector<SpokenWord> words;
  SpokenSegmentSource source(parts, speech_parts, 1.0, parts.voice.sample_rate,
                             &*parts.phone_table, &words);
  if (absl::Status prepared = source.Prepare(&warnings); !prepared.ok()) {
    return prepared;
  }
  while (true) {
    Segment segment;
    const absl::StatusOr<bool> got = source.Next(&segment);
    if (!got.ok()) {
      pinyin->clear();
      return got.status();
    }
    for (const SpokenWord& word : words) {
      for (const SpokenSyllable& syllable : word.syllables) {
        if (!pinyin->empty()) *pinyin += ' ';
        *pinyin += syllable.pinyin;
      }
    }
    words.clear();
    if (!*got) return absl::OkStatus();
  }
}

}  // namespace tolvaren
