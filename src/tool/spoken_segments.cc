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
#include "tool/tool.h"

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
absl::Status WordsOf(const Tool& tool, const PhoneTable& table,
                     const std::vector<speechnn::SentenceTrace>& traces,
                     std::vector<SpokenWord>& words) {
  const IdNames names(*tool.front());
  for (const speechnn::SentenceTrace& trace : traces) {
    absl::StatusOr<std::vector<SpokenWord>> found =
        SpokenWordsOf(trace, names.Symbols(trace), table);
    if (!found.ok()) return found.status();
    words.insert(words.end(), found->begin(), found->end());
  }
  return absl::OkStatus();
}

// The front end reads a text in blocks of whole sentences, each about
// kFrontBlockCharacters long: what it holds while it reads (the sentences'
// traces above all, when words are asked for) then follows a block, not the
// text. A sentence longer than kMaxSentenceCharacters (no mark in a page of
// text) is cut there.
constexpr std::size_t kFrontBlockCharacters = 2000;
constexpr std::size_t kMaxSentenceCharacters = 8000;

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

// The ids of a text part, and with `table` its words, collapsed as the tool
// collapses pauses.
absl::Status TextIds(Tool& tool, const std::string& text,
                     std::vector<int>& phone_ids, const PhoneTable* table,
                     std::vector<SpokenWord>& words) {
  // Checked whole, so that the offset counts from the part's start.
  if (const std::size_t bad = speechnn::FindInvalidUtf8(text);
      bad != std::string::npos) {
    return absl::InvalidArgumentError("invalid UTF-8 at byte offset " +
                                      std::to_string(bad));
  }
  std::vector<SpokenWord> part_words;
  for (const std::string& block : FrontBlocks(text)) {
    std::string failure;
    std::vector<speechnn::SentenceTrace> traces;
    std::vector<int> block_ids;
    FrontRequest request;
    request.refuse_name_characters = false;
    request.failure = &failure;
    if (table != nullptr) request.traces = &traces;
    if (!tool.frontProcess(block, block_ids, request)) {
      return absl::InvalidArgumentError(failure);
    }
    if (table != nullptr && !block_ids.empty()) {
      if (absl::Status found = WordsOf(tool, *table, traces, part_words);
          !found.ok()) {
        return found;
      }
    }
    phone_ids.insert(phone_ids.end(), block_ids.begin(), block_ids.end());
  }
  // A run of pauses may span two blocks.
  CollapsePauseRuns(phone_ids, tool.pause_id());
  CollapsePauseWords(part_words);
  words.insert(words.end(), std::make_move_iterator(part_words.begin()),
               std::make_move_iterator(part_words.end()));
  return absl::OkStatus();
}

absl::Status IdsOf(Tool& tool, const SpeechPart& part,
                   std::vector<int64_t>& ids, const PhoneTable* table,
                   std::vector<SpokenWord>& words) {
  if (tool.front() == nullptr) {
    return absl::FailedPreconditionError("no text front end");
  }
  std::vector<int> phone_ids;
  if (part.kind == SpeechPart::Kind::kPinyin) {
    SpokenWord word;
    if (absl::Status given = SyllableIds(*tool.front(), part, phone_ids,
                                         table != nullptr ? &word : nullptr);
        !given.ok()) {
      return given;
    }
    if (table != nullptr) words.push_back(std::move(word));
  } else if (absl::Status read =
                 TextIds(tool, part.text, phone_ids, table, words);
             !read.ok()) {
    return read;
  }
  ids.assign(phone_ids.begin(), phone_ids.end());
  return absl::OkStatus();
}

}  // namespace

absl::Status ReadSpokenParts(std::string_view text, bool markup,
                             std::vector<SpeechPart>* parts,
                             std::vector<std::string>* warnings) {
  absl::Status read = markup
                          ? speechnn::ReadMarkup(text, parts, warnings)
                          : speechnn::SplitInlinePinyin(text, parts, warnings);
  if (read.ok()) return read;
  return absl::InvalidArgumentError(read.message());
}

absl::Status PlanSpokenSegments(Tool& tool,
                                const std::vector<SpeechPart>& parts,
                                double speed, int sample_rate, SpokenPlan* plan,
                                const PhoneTable* words_table) {
  const bool takes_scale = tool.takes_duration_scale();
  RateWarnings rate_warnings;
  for (const SpeechPart& part : parts) {
    if (part.kind == SpeechPart::Kind::kBreak) {
      const int64_t silence =
          std::llround(static_cast<double>(part.break_ms) * sample_rate / 1000);
      if (plan->segments.empty()) {
        plan->leading_silence += silence;
      } else {
        // The break is the pause at that place, not an addition to it.
        plan->segments.back().silence_after += silence;
        plan->segments.back().silence_holds_pause = true;
      }
      continue;
    }
    Segment segment;
    if (absl::Status ids =
            IdsOf(tool, part, segment.phone_ids, words_table, plan->words);
        !ids.ok()) {
      return ids;
    }
    if (segment.phone_ids.empty()) continue;
    segment.duration_scale = ScaleOf(part, speed, takes_scale, rate_warnings);
    plan->segments.push_back(std::move(segment));
  }
  rate_warnings.Flush(plan->warnings);
  return absl::OkStatus();
}

}  // namespace tolvaren
