// Word and syllable timings of synthesised audio, from the frames the
// acoustic model gave each phone.
//
// Two inputs meet here. The words of the request, in the order of the
// phone ids the acoustic model reads (SpokenWord: from the front end's
// sentence traces, see spoken_words.h, or from syllables given as pinyin),
// and the acoustic runs as the engine made them (TimedRun: one per piece,
// its phone ids, the model's `durations` output and where its audio begins
// in the output). BuildTimings walks both, phone by phone, and checks that
// their ids agree, so words that were fed out of step fail instead of
// giving wrong times.
//
// Samples: the vocoder turns a run of F frames into F * hop samples (each
// chunk keeps exactly its own frames' samples, see chunk_plan.h), so phone
// k of a run starts at first_sample + hop * (frames of the phones before
// it). A run whose audio has another length (a vocoder that gives fewer
// samples per frame than its voice declares) says so in `samples`; its
// phone boundaries are then spread over those samples in proportion, so
// the entries still add up to the audio to the sample.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_TIMINGS_H_
#define TOLVAREN_TTS_TOOL_SYNTH_TIMINGS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "absl/status/statusor.h"
#include "tolvaren_tts/timings.h"

namespace tolvaren {

// One syllable as spoken: the characters it reads, its numbered-tone
// pinyin, and its phone ids (its initial when it has one, then its final).
struct SpokenSyllable {
  std::string text;
  std::string pinyin;
  std::vector<int64_t> phone_ids;
};

// One word in phone order. A spoken word's ids are its syllables' ids in
// order; a pause has `pause_ids` (one id; more only where the caller has
// not collapsed them) and no syllables.
struct SpokenWord {
  std::string text;
  std::vector<SpokenSyllable> syllables;
  bool pause = false;
  std::vector<int64_t> pause_ids;

  // All of the word's ids, in order.
  std::vector<int64_t> PhoneIds() const;
};

// Joins every run of adjacent pauses into one pause with one id, as the
// tool does to the ids (CollapsePauseRuns in tool.h) before the acoustic
// model reads them: apply it to the words of the whole request, all its
// sentences together, exactly where the ids are collapsed.
void CollapsePauseWords(std::vector<SpokenWord>& words);

// One acoustic-model run (a piece of the request) as the engine made it.
struct TimedRun {
  // The ids the model read, consecutive in the request.
  std::vector<int64_t> phone_ids;
  // The model's `durations` output: the frames each of those phones got
  // in the mel, after the duration scale.
  std::vector<int64_t> frames;
  // Where the run's first sample lies in the output audio. Anything
  // between the end of one run's audio and the next run's first sample
  // (a break, the silence between sentences) becomes a pause.
  int64_t first_sample = 0;
  // The run's audio length when it is not frames * hop.
  std::optional<int64_t> samples;
};

struct TimingInput {
  std::vector<SpokenWord> words;  // collapsed as the ids were
  std::vector<TimedRun> runs;     // in output order
  int32_t hop_samples = 0;        // samples per mel frame
  // The whole audio's length; silence after the last run is a pause.
  int64_t total_samples = 0;
};

// The timings of `input`: see tolvaren_tts/timings.h for what they hold.
// A word cut between two runs spans the gap between them; inside a word, a
// gap goes to the syllable before it. FailedPrecondition when the runs'
// ids are not the words' ids, a run has not one frame count per id or a
// negative one, runs overlap, or the audio is shorter than the runs;
// InvalidArgument for a hop below one.
[[nodiscard]] absl::StatusOr<std::vector<tolvaren_tts::WordTiming>>
BuildTimings(const TimingInput& input);

// The same timings for the audio resampled from `from_rate` to `to_rate`
// Hz, which came out `output_samples` long: each position p becomes
// p * to_rate / from_rate (rounded down, at most `output_samples`) and the
// last entry ends at `output_samples`, so the entries still cover the
// resampled audio exactly. A rate below one leaves them as they are.
std::vector<tolvaren_tts::WordTiming> RescaleTimings(
    std::vector<tolvaren_tts::WordTiming> entries, int from_rate, int to_rate,
    std::size_t output_samples);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_TIMINGS_H_
