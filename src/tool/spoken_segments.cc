// Requests to segments: see spoken_segments.h.

#include "tool/spoken_segments.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "speech_neural_network/markup/markup_reader.h"
#include "speech_neural_network/markup/pinyin_reader.h"
#include "speech_neural_network/sentences.h"
#include "speech_neural_network/utf8_conversion.h"
#include "tool/id_names.h"
#include "tool/synth/spoken_words.h"

namespace tolvaren {
namespace {

using speechnn::SpeechPart;

// The speaking rates a duration scale may stand for.
constexpr double kMinRate = 0.25;
constexpr double kMaxRate = 4.0;

// The first few rates that could not be honoured are named with their
// place; the rest are counted: a document may hold thousands of parts.
constexpr std::size_t kNamedRateWarnings = 3;

// The rates asked for and not honoured, as the warnings they make.
class RateWarnings {
 public:
  void OneSpeedOnly() {
    if (!one_speed_) {
      warnings_.push_back(
          "this voice speaks at one speed only: the markup's rate is "
          "ignored");
    }
    one_speed_ = true;
  }
  void Kept(const SpeechPart& part, double rate, double kept) {
    if (++kept_ > kNamedRateWarnings) return;
    warnings_.push_back(
        (part.where.empty() ? std::string() : part.where + ": ") +
        "a rate of " + std::to_string(rate) + " times is spoken at " +
        std::to_string(kept));
  }
  void Flush(std::vector<std::string>& warnings) {
    if (kept_ > kNamedRateWarnings) {
      warnings_.push_back("and " + std::to_string(kept_ - kNamedRateWarnings) +
                          " more parts at a rate kept within 0.25 to 4");
    }
    warnings.insert(warnings.end(), warnings_.begin(), warnings_.end());
  }

 private:
  std::vector<std::string> warnings_;
  bool one_speed_ = false;
  std::size_t kept_ = 0;
};

// The duration scale of a part: 1 / (speed × its rate), the product kept
// within the rates the models take.
float ScaleOf(const SpeechPart& part, double speed, bool takes_scale,
              RateWarnings& warnings) {
  if (part.rate == 1.0) return static_cast<float>(1.0 / speed);
  if (!takes_scale) {
    warnings.OneSpeedOnly();
    return static_cast<float>(1.0 / speed);
  }
  const double rate = speed * part.rate;
  const double kept = std::clamp(rate, kMinRate, kMaxRate);
  if (kept != rate) warnings.Kept(part, rate, kept);
  return static_cast<float>(1.0 / kept);
}

// The ids of given syllables; with `word`, each syllable's own ids too.
absl::Status SyllableIds(const speechnn::FrontEngineInterface& front,
                         const SpeechPart& part, std::vector<int>& phone_ids,
                         SpokenWord* word) {
  // Separate-tone front ends give tones apart; the acoustic model takes the
  // phone ids alone, as for text.
  std::vector<int> tone_ids;
  if (absl::Status given =
          front.PhonesOfSyllables(part.syllables, &phone_ids, &tone_ids);
      !given.ok()) {
    return absl::InvalidArgumentError(given.message());
  }
  if (word == nullptr) return absl::OkStatus();
  word->text = part.text;
  for (const std::string& syllable : part.syllables) {
    std::vector<int> own;
    tone_ids.clear();
    if (absl::Status given =
            front.PhonesOfSyllables({syllable}, &own, &tone_ids);
        !given.ok()) {
      return absl::InvalidArgumentError(given.message());
    }
    word->syllables.push_back({"", syllable, {own.begin(), own.end()}});
  }
  // The characters the syllables stand for, one each while they last.
  std::size_t at = 0;
  for (SpokenSyllable& syllable : word->syllables) {
    if (at >= part.text.size()) break;
    std::size_t length = 1;
    while (at + length < part.text.size() &&
           (static_cast<unsigned char>(part.text[at + length]) & 0xC0) ==
               0x80) {
      ++length;
    }
    syllable.text = part.text.substr(at, length);
    at += length;
  }
  return absl::OkStatus();
}

// The words of a block's sentences, appended to `words`.
absl::Status WordsOf(const EngineParts& parts, const PhoneTable& table,
                     const std::vector<speechnn::SentenceTrace>& traces,
                     std::vector<SpokenWord>& words) {
  const IdNames names(*parts.front);
  for (const speechnn::SentenceTrace& trace : traces) {
    absl::StatusOr<std::vector<SpokenWord>> found =
        SpokenWordsOf(trace, names.Symbols(trace), table);
    if (!found.ok()) return found.status();
    words.insert(words.end(), found->begin(), found->end());
  }
  return absl::OkStatus();
}

// A sentence longer than this (no mark in a page of text) is cut there.
constexpr std::size_t kMaxSentenceCharacters = 8000;

}  // namespace

std::vector<std::string> FrontBlocks(const std::string& text) {
  std::vector<std::wstring> sentences;
  speechnn::SplitSentences(speechnn::utf8string2wstring(text), sentences);
  std::vector<std::string> blocks;
  std::wstring block;
  const auto flush = [&] {
    if (!block.empty()) blocks.push_back(speechnn::wstring2utf8string(block));
    block.clear();
  };
  for (std::wstring& sentence : sentences) {
    for (std::size_t at = 0; at < sentence.size();
         at += kMaxSentenceCharacters) {
      block.append(sentence, at, kMaxSentenceCharacters);
      if (block.size() >= kFrontBlockCharacters) flush();
    }
    sentence = std::wstring();  // read: its memory goes
  }
  flush();
  return blocks;
}

absl::Status ReadSpokenParts(std::string_view text, bool markup,
                             std::vector<SpeechPart>* parts,
                             std::vector<std::string>* warnings) {
  absl::Status read = markup
                          ? speechnn::ReadMarkup(text, parts, warnings)
                          : speechnn::SplitInlinePinyin(text, parts, warnings);
  if (read.ok()) return read;
  return absl::InvalidArgumentError(read.message());
}

SpokenSegmentSource::SpokenSegmentSource(EngineParts& engine,
                                         const std::vector<SpeechPart>& parts,
                                         double speed, int sample_rate,
                                         const PhoneTable* words_table,
                                         std::vector<SpokenWord>* words)
    : engine_(engine),
      parts_(parts),
      speed_(speed),
      sample_rate_(sample_rate),
      words_table_(words != nullptr ? words_table : nullptr),
      words_(words) {}

absl::Status SpokenSegmentSource::Prepare(std::vector<std::string>* warnings) {
  const bool takes_scale = engine_.takes_duration_scale();
  RateWarnings rate_warnings;
  scales_.clear();
  for (const SpeechPart& part : parts_) {
    if (part.kind == SpeechPart::Kind::kText) {
      // Checked whole, so that the offset counts from the part's start.
      if (const std::size_t bad = speechnn::FindInvalidUtf8(part.text);
          bad != std::string::npos) {
        return absl::InvalidArgumentError("invalid UTF-8 at byte offset " +
                                          std::to_string(bad));
      }
    }
    scales_.push_back(part.kind == SpeechPart::Kind::kBreak
                          ? 1.0f
                          : ScaleOf(part, speed_, takes_scale, rate_warnings));
  }
  rate_warnings.Flush(*warnings);
  return absl::OkStatus();
}

absl::StatusOr<bool> SpokenSegmentSource::Next(Segment* next) {
  while (true) {
    Segment made;
    const std::size_t words_before = words_ != nullptr ? words_->size() : 0;
    const absl::StatusOr<bool> got = Make(&made);
    if (!got.ok()) return got.status();
    if (!*got) {
      if (pending_) {
        EndAtBreak();
        pending_->silence_after += trailing_silence_;
        *next = *std::move(pending_);
        pending_.reset();
        ++given_;
        return true;
      }
      // Marks or breaks alone: their silence, then the trailing silence.
      if (given_ == 0) leading_silence_ += trailing_silence_;
      trailing_silence_ = 0;
      return false;
    }
    if (made.phone_ids.empty()) continue;
    if (!pending_) {
      pending_ = std::move(made);
      continue;
    }
    if (break_ > 0 && Joins(made)) {
      Join(std::move(made), words_before);
      continue;
    }
    EndAtBreak();
    *next = *std::move(pending_);
    pending_ = std::move(made);
    ++given_;
    return true;
  }
}

bool SpokenSegmentSource::Joins(const Segment& made) const {
  return engine_.synth.acoustic().GivesDurations() && engine_.pause_id >= 0 &&
         pending_->silence_after == 0 &&
         made.duration_scale == pending_->duration_scale &&
         pending_->phone_ids.size() + made.phone_ids.size() < kMaxJoinedPhones;
}

void SpokenSegmentSource::Join(Segment made, std::size_t made_words) {
  Segment& joined = *pending_;
  std::vector<int64_t>& ids = joined.phone_ids;
  const int64_t pause = engine_.pause_id;
  // The pause the break holds: the one the text before ends on, or one
  // put there, with a pause word for the timings.
  std::size_t first_made = made_words;  // made's first word
  if (ids.back() != pause) {
    ids.push_back(pause);
    ++first_made;
    if (words_table_ != nullptr) {
      SpokenWord word;
      word.pause = true;
      word.pause_ids = {pause};
      words_->insert(words_->begin() + static_cast<std::ptrdiff_t>(made_words),
                     std::move(word));
    }
  }
  joined.held_pauses.push_back({ids.size() - 1, break_});
  break_ = 0;
  auto first = made.phone_ids.begin();
  if (*first == pause) {
    ++first;
    // Its pause word joins the held one, as the ids do.
    if (words_table_ != nullptr && first_made > 0 &&
        first_made < words_->size() && (*words_)[first_made].pause &&
        (*words_)[first_made - 1].pause) {
      (*words_)[first_made - 1].text += (*words_)[first_made].text;
      words_->erase(words_->begin() + static_cast<std::ptrdiff_t>(first_made));
    }
  }
  ids.insert(ids.end(), first, made.phone_ids.end());
}

void SpokenSegmentSource::EndAtBreak() {
  if (break_ == 0) return;
  // The break is the pause at that place, not an addition to it.
  pending_->silence_after += break_;
  pending_->silence_holds_pause = true;
  break_ = 0;
}

absl::StatusOr<bool> SpokenSegmentSource::Make(Segment* made) {
  if (engine_.front == nullptr) {
    return absl::FailedPreconditionError("no text front end");
  }
  while (part_ < parts_.size()) {
    const SpeechPart& part = parts_[part_];
    if (part.kind == SpeechPart::Kind::kBreak) {
      const int64_t silence = std::llround(static_cast<double>(part.break_ms) *
                                           sample_rate_ / 1000);
      if (pending_) {
        break_ += silence;
      } else {
        leading_silence_ += silence;
      }
      ++part_;
      continue;
    }
    if (part.kind == SpeechPart::Kind::kPinyin) {
      std::vector<int> ids;
      SpokenWord word;
      if (absl::Status given =
              SyllableIds(*engine_.front, part, ids,
                          words_table_ != nullptr ? &word : nullptr);
          !given.ok()) {
        return given;
      }
      if (words_table_ != nullptr) words_->push_back(std::move(word));
      made->phone_ids.assign(ids.begin(), ids.end());
      made->duration_scale = scales_[part_++];
      return true;
    }
    if (block_ == 0 && blocks_.empty()) blocks_ = FrontBlocks(part.text);
    if (block_ < blocks_.size()) {
      if (absl::Status read = NextBlock(made); !read.ok()) return read;
      return true;
    }
    blocks_.clear();
    block_ = 0;
    ++part_;
  }
  return false;
}

absl::Status SpokenSegmentSource::NextBlock(Segment* segment) {
  const bool first = block_ == 0;
  const std::string block = std::move(blocks_[block_++]);
  std::string failure;
  std::vector<speechnn::SentenceTrace> traces;
  std::vector<int> ids;
  FrontRequest request;
  request.refuse_name_characters = false;
  request.failure = &failure;
  if (words_table_ != nullptr) request.traces = &traces;
  if (!FrontProcess(engine_, block, ids, request)) {
    return absl::InvalidArgumentError(failure);
  }
  if (ids.empty()) return absl::OkStatus();
  std::vector<SpokenWord> block_words;
  if (words_table_ != nullptr) {
    if (absl::Status found =
            WordsOf(engine_, *words_table_, traces, block_words);
        !found.ok()) {
      return found;
    }
    CollapsePauseWords(block_words);
  }
  // A run of pauses may span two blocks of a part: it is one pause.
  const bool is_pause_first = ids.front() == engine_.pause_id;
  if (!first && paused_ && is_pause_first) {
    ids.erase(ids.begin());
    if (!block_words.empty() && block_words.front().pause && !words_->empty() &&
        words_->back().pause) {
      words_->back().text += block_words.front().text;
      block_words.erase(block_words.begin());
    }
  }
  if (!ids.empty()) paused_ = ids.back() == engine_.pause_id;
  if (words_table_ != nullptr) {
    words_->insert(words_->end(), std::make_move_iterator(block_words.begin()),
                   std::make_move_iterator(block_words.end()));
  }
  segment->phone_ids.assign(ids.begin(), ids.end());
  segment->duration_scale = scales_[part_];
  return absl::OkStatus();
}

absl::Status PlanSpokenSegments(EngineParts& engine,
                                const std::vector<SpeechPart>& parts,
                                double speed, int sample_rate, SpokenPlan* plan,
                                const PhoneTable* words_table) {
  SpokenSegmentSource source(engine, parts, speed, sample_rate, words_table,
                             &plan->words);
  if (absl::Status prepared = source.Prepare(&plan->warnings); !prepared.ok()) {
    return prepared;
  }
  while (true) {
    Segment segment;
    const absl::StatusOr<bool> got = source.Next(&segment);
    if (!got.ok()) return got.status();
    if (!*got) break;
    plan->segments.push_back(std::move(segment));
  }
  plan->leading_silence += source.leading_silence();
  return absl::OkStatus();
}

}  // namespace tolvaren
