#include "tool/synth/timings.h"

#include <algorithm>
#include <string>
#include <utility>

#include "absl/status/status.h"
#include "absl/strings/str_join.h"

namespace tolvaren {
namespace {

using tolvaren_tts::SyllableTiming;
using tolvaren_tts::WordTiming;

// Samples [begin, end) of one phone in the output.
struct PhoneSpan {
  int64_t begin = 0;
  int64_t end = 0;
};

std::vector<int64_t> AllIds(const std::vector<SpokenWord>& words) {
  std::vector<int64_t> ids;
  for (const SpokenWord& word : words) {
    const std::vector<int64_t> own = word.PhoneIds();
    ids.insert(ids.end(), own.begin(), own.end());
  }
  return ids;
}

absl::Status OutOfStep(const std::string& what) {
  return absl::FailedPreconditionError("timings: " + what);
}

// `frames` of a run's `total` frames as samples of its `samples`: exact
// multiples of the hop when the audio is frames * hop long.
int64_t SamplesAt(int64_t frames, int64_t samples, int64_t total) {
  return total == 0 ? 0 : frames * samples / total;
}

// Appends the spans of one run's phones, checking its ids against the ids
// the words expect from position spans.size() on; returns where the run's
// audio ends.
absl::StatusOr<int64_t> AppendRun(const TimedRun& run, std::size_t index,
                                  int32_t hop_samples,
                                  const std::vector<int64_t>& ids,
                                  std::vector<PhoneSpan>& spans) {
  const std::string name = "run " + std::to_string(index);
  if (run.frames.size() != run.phone_ids.size()) {
    return OutOfStep(name + " has " + std::to_string(run.frames.size()) +
                     " frame counts for " +
                     std::to_string(run.phone_ids.size()) + " phones");
  }
  int64_t total = 0;
  for (const int64_t frames : run.frames) {
    if (frames < 0) return OutOfStep(name + " has a negative frame count");
    total += frames;
  }
  const int64_t samples = run.samples.value_or(total * hop_samples);
  if (samples < 0) return OutOfStep(name + " has a negative length");
  int64_t before = 0;
  for (std::size_t k = 0; k < run.phone_ids.size(); ++k) {
    const std::size_t at = spans.size();
    if (at >= ids.size() || ids[at] != run.phone_ids[k]) {
      return OutOfStep(name + " phone " + std::to_string(k) + " (id " +
                       std::to_string(run.phone_ids[k]) +
                       ") is not the words' phone " + std::to_string(at));
    }
    PhoneSpan span;
    span.begin = run.first_sample + SamplesAt(before, samples, total);
    before += run.frames[k];
    span.end = run.first_sample + SamplesAt(before, samples, total);
    spans.push_back(span);
  }
  return run.first_sample + samples;
}

absl::StatusOr<std::vector<PhoneSpan>> PhoneSpans(const TimingInput& input) {
  const std::vector<int64_t> ids = AllIds(input.words);
  std::vector<PhoneSpan> spans;
  spans.reserve(ids.size());
  int64_t audio_end = 0;
  for (std::size_t r = 0; r < input.runs.size(); ++r) {
    const TimedRun& run = input.runs[r];
    if (run.first_sample < audio_end) {
      return OutOfStep("run " + std::to_string(r) +
                       " begins before the run before it ends");
    }
    absl::StatusOr<int64_t> end =
        AppendRun(run, r, input.hop_samples, ids, spans);
    if (!end.ok()) return end.status();
    audio_end = *end;
  }
  if (spans.size() != ids.size()) {
    return OutOfStep("the runs read " + std::to_string(spans.size()) +
                     " of the words' " + std::to_string(ids.size()) +
                     " phones");
  }
  if (audio_end > input.total_samples) {
    return OutOfStep("the runs end at sample " + std::to_string(audio_end) +
                     ", after the audio's " +
                     std::to_string(input.total_samples));
  }
  return spans;
}

// [first phone's begin, last phone's end) of `count` phones from `next`
// on; an entry without phones is empty, where the one before it ended.
std::pair<int64_t, int64_t> Span(const std::vector<PhoneSpan>& spans,
                                 std::size_t& next, std::size_t count) {
  if (count == 0) {
    const int64_t at = next == 0 ? 0 : spans[next - 1].end;
    return {at, at};
  }
  const std::pair<int64_t, int64_t> span{spans[next].begin,
                                         spans[next + count - 1].end};
  next += count;
  return span;
}

WordTiming Timed(const SpokenWord& word, const std::vector<PhoneSpan>& spans,
                 std::size_t& next) {
  WordTiming timed;
  timed.text = word.text;
  timed.pause = word.pause;
  if (word.pause) {
    const auto [begin, end] = Span(spans, next, word.pause_ids.size());
    timed.start_sample = static_cast<std::size_t>(begin);
    timed.end_sample = static_cast<std::size_t>(end);
    return timed;
  }
  std::vector<std::string> pinyin;
  for (const SpokenSyllable& syllable : word.syllables) {
    const auto [begin, end] = Span(spans, next, syllable.phone_ids.size());
    // A gap inside the word (a cut between two runs) goes to the syllable
    // before it.
    if (!timed.syllables.empty()) {
      timed.syllables.back().end_sample = static_cast<std::size_t>(begin);
    }
    timed.syllables.push_back({syllable.text, syllable.pinyin,
                               static_cast<std::size_t>(begin),
                               static_cast<std::size_t>(end)});
    pinyin.push_back(syllable.pinyin);
  }
  timed.pinyin = absl::StrJoin(pinyin, " ");
  if (!timed.syllables.empty()) {
    timed.start_sample = timed.syllables.front().start_sample;
    timed.end_sample = timed.syllables.back().end_sample;
  }
  return timed;
}

// Appends `entry`, first covering the silence since the last entry ended:
// a pause beside it grows over it, else the silence is a pause of its
// own. Adjacent pauses become one.
void Place(WordTiming entry, std::vector<WordTiming>& out) {
  const std::size_t cursor = out.empty() ? 0 : out.back().end_sample;
  const bool after_pause = !out.empty() && out.back().pause;
  if (entry.pause && after_pause) {
    out.back().end_sample = entry.end_sample;
    out.back().text += entry.text;
    return;
  }
  if (entry.start_sample > cursor) {
    if (entry.pause) {
      entry.start_sample = cursor;
    } else if (after_pause) {
      out.back().end_sample = entry.start_sample;
    } else {
      WordTiming silence;
      silence.pause = true;
      silence.start_sample = cursor;
      silence.end_sample = entry.start_sample;
      out.push_back(std::move(silence));
    }
  }
  out.push_back(std::move(entry));
}

}  // namespace

std::vector<int64_t> SpokenWord::PhoneIds() const {
  if (pause) return pause_ids;
  std::vector<int64_t> ids;
  for (const SpokenSyllable& syllable : syllables) {
    ids.insert(ids.end(), syllable.phone_ids.begin(), syllable.phone_ids.end());
  }
  return ids;
}

void CollapsePauseWords(std::vector<SpokenWord>& words) {
  std::vector<SpokenWord> collapsed;
  collapsed.reserve(words.size());
  for (SpokenWord& word : words) {
    if (word.pause && !word.pause_ids.empty()) word.pause_ids.resize(1);
    if (word.pause && !collapsed.empty() && collapsed.back().pause) {
      collapsed.back().text += word.text;
      continue;
    }
    collapsed.push_back(std::move(word));
  }
  words = std::move(collapsed);
}

absl::StatusOr<std::vector<WordTiming>> BuildTimings(const TimingInput& input) {
  if (input.hop_samples < 1) {
    return absl::InvalidArgumentError("timings: a hop of " +
                                      std::to_string(input.hop_samples) +
                                      " samples per frame");
  }
  absl::StatusOr<std::vector<PhoneSpan>> spans = PhoneSpans(input);
  if (!spans.ok()) return spans.status();
  std::vector<WordTiming> out;
  std::size_t next = 0;
  for (const SpokenWord& word : input.words) {
    if (word.PhoneIds().empty()) continue;  // nothing of it is heard
    Place(Timed(word, *spans, next), out);
  }
  const auto total = static_cast<std::size_t>(input.total_samples);
  WordTiming tail;
  tail.pause = true;
  tail.start_sample = tail.end_sample = total;
  if ((out.empty() ? 0 : out.back().end_sample) < total) Place(tail, out);
  return out;
}

std::vector<WordTiming> RescaleTimings(std::vector<WordTiming> entries,
                                       int from_rate, int to_rate,
                                       std::size_t output_samples) {
  if (from_rate <= 0 || to_rate <= 0) return entries;
  const auto from = static_cast<std::size_t>(from_rate);
  const auto to = static_cast<std::size_t>(to_rate);
  const auto at = [&](std::size_t& position) {
    // floor(position * to / from) without the product's overflow.
    const std::size_t scaled =
        position / from * to + position % from * to / from;
    position = std::min(scaled, output_samples);
  };
  for (WordTiming& entry : entries) {
    at(entry.start_sample);
    at(entry.end_sample);
    for (tolvaren_tts::SyllableTiming& syllable : entry.syllables) {
      at(syllable.start_sample);
      at(syllable.end_sample);
    }
  }
  if (!entries.empty()) {
    WordTiming& last = entries.back();
    last.end_sample = output_samples;
    if (!last.syllables.empty())
      last.syllables.back().end_sample = output_samples;
  }
  return entries;
}

}  // namespace tolvaren
