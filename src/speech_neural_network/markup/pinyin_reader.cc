#include "speech_neural_network/markup/pinyin_reader.h"

#include <utility>

#include "absl/strings/ascii.h"
#include "absl/strings/str_cat.h"
#include "absl/strings/str_split.h"
#include "speech_neural_network/markup/pinyin_syllables.h"
#include "speech_neural_network/markup/text_views.h"

namespace speechnn {
namespace {

bool IsBlank(std::string_view text) {
  for (const char c : text) {
    if (!absl::ascii_isspace(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

void AppendText(std::string_view text, std::vector<SpeechPart>& parts) {
  if (IsBlank(text)) return;
  SpeechPart part;
  part.text = std::string(text);
  parts.push_back(std::move(part));
}

}  // namespace

absl::Status SplitSyllables(std::string_view list,
                            std::vector<std::string>* syllables) {
  std::size_t count = 0;
  // In a group written with tone marks an unmarked syllable is neutral.
  const bool marked = HasToneMark(list);
  for (absl::string_view piece : absl::StrSplit(
           AbslView(list), absl::ByAnyChar(" \t\r\n"), absl::SkipEmpty())) {
    if (++count > kMaxSyllablesPerGroup) {
      return absl::InvalidArgumentError(absl::StrCat(
          "more than ", kMaxSyllablesPerGroup, " pinyin syllables in a row"));
    }
    absl::StatusOr<std::string> syllable =
        NumberedSyllable(std::string_view(piece.data(), piece.size()), marked);
    if (!syllable.ok()) return syllable.status();
    if (absl::Status valid = CheckPinyinSyllable(*syllable); !valid.ok()) {
      // The message quotes the syllable as it was written.
      absl::Status as_written =
          CheckPinyinSyllable(std::string_view(piece.data(), piece.size()));
      return as_written.ok() ? valid : as_written;
    }
    syllables->push_back(*std::move(syllable));
  }
  if (count == 0) return absl::InvalidArgumentError("no pinyin syllables");
  return absl::OkStatus();
}

absl::Status SplitInlinePinyin(std::string_view text,
                               std::vector<SpeechPart>* parts,
                               std::vector<std::string>* warnings) {
  std::vector<SpeechPart> read;
  std::vector<std::string> noted;
  std::size_t syllables = 0;
  std::size_t text_from = 0;  // the text not yet added begins here
  std::size_t open = text.find("[[");
  // The first "]]" after `open`, kept while it lies ahead: every "[[" before
  // it shares it, so the text is searched once however many there are.
  std::size_t close = std::string_view::npos;
  while (open != std::string_view::npos) {
    if (close == std::string_view::npos || close < open + 2) {
      close = text.find("]]", open + 2);
      if (close == std::string_view::npos) {  // the rest is text
        if (noted.size() < kMaxPinyinWarnings) {
          noted.push_back(absl::StrCat("the [[ at byte ", open,
                                       " is read as text: no ]] after it"));
        }
        break;
      }
    }
    // A "[[" inside is where a mark may begin; this one is text.
    const std::size_t next = text.find("[[", open + 1);
    if (next < close) {
      open = next;
      continue;
    }
    SpeechPart part;
    part.kind = SpeechPart::Kind::kPinyin;
    if (absl::Status split = SplitSyllables(
            text.substr(open + 2, close - open - 2), &part.syllables);
        !split.ok()) {
      // Only a list of pinyin too long to take is refused; anything else
      // ("[[ -f x ]]", a wiki link) is text, with a word on why.
      if (part.syllables.size() >= kMaxSyllablesPerGroup) {
        return absl::InvalidArgumentError(
            absl::StrCat(split.message(), " in the [[ at byte ", open));
      }
      if (noted.size() < kMaxPinyinWarnings) {
        noted.push_back(absl::StrCat("the [[ at byte ", open,
                                     " is read as text: ", split.message()));
      }
      open = text.find("[[", close + 2);
      continue;
    }
    syllables += part.syllables.size();
    if (syllables > kMaxSyllablesPerText) {
      return absl::InvalidArgumentError(absl::StrCat(
          "more than ", kMaxSyllablesPerText, " pinyin syllables in one text"));
    }
    AppendText(text.substr(text_from, open - text_from), read);
    read.push_back(std::move(part));
    text_from = close + 2;
    open = text.find("[[", text_from);
  }
  AppendText(text.substr(text_from), read);
  parts->insert(parts->end(), std::make_move_iterator(read.begin()),
                std::make_move_iterator(read.end()));
  if (warnings != nullptr) {
    warnings->insert(warnings->end(), noted.begin(), noted.end());
  }
  return absl::OkStatus();
}

}  // namespace speechnn
