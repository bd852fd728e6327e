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
  for (absl::string_view syllable : absl::StrSplit(
           AbslView(list), absl::ByAnyChar(" \t\r\n"), absl::SkipEmpty())) {
    if (++count > kMaxSyllablesPerGroup) {
      return absl::InvalidArgumentError(absl::StrCat(
          "more than ", kMaxSyllablesPerGroup, " pinyin syllables in a row"));
    }
    if (absl::Status valid = CheckPinyinSyllable(
            std::string_view(syllable.data(), syllable.size()));
        !valid.ok()) {
      return valid;
    }
    syllables->emplace_back(std::string(syllable));
  }
  if (count == 0) return absl::InvalidArgumentError("no pinyin syllables");
  return absl::OkStatus();
}

absl::Status SplitInlinePinyin(std::string_view text,
                               std::vector<SpeechPart>* parts) {
  std::vector<SpeechPart> read;
  std::size_t syllables = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find("[[", at);
    if (open == std::string_view::npos) break;
    AppendText(text.substr(at, open - at), read);
    const std::size_t close = text.find("]]", open + 2);
    if (close == std::string_view::npos) {
      return absl::InvalidArgumentError(
          absl::StrCat("unclosed [[ at byte ", open));
    }
    SpeechPart part;
    part.kind = SpeechPart::Kind::kPinyin;
    if (absl::Status split = SplitSyllables(
            text.substr(open + 2, close - open - 2), &part.syllables);
        !split.ok()) {
      return absl::InvalidArgumentError(
          absl::StrCat(split.message(), " in the [[ at byte ", open));
    }
    syllables += part.syllables.size();
    if (syllables > kMaxSyllablesPerText) {
      return absl::InvalidArgumentError(absl::StrCat(
          "more than ", kMaxSyllablesPerText, " pinyin syllables in one text"));
    }
    read.push_back(std::move(part));
    at = close + 2;
  }
  if (at < text.size()) AppendText(text.substr(at), read);
  parts->insert(parts->end(), std::make_move_iterator(read.begin()),
                std::make_move_iterator(read.end()));
  return absl::OkStatus();
}

}  // namespace speechnn
