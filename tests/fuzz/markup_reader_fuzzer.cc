// libFuzzer target: arbitrary bytes as a markup document, read by
// ReadMarkup. Any crash, sanitizer report, hang or runaway memory is a
// fault, and so is an accepted document whose parts break what the reader
// promises synthesis.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "absl/strings/match.h"
#include "speech_neural_network/markup/markup_reader.h"
#include "speech_neural_network/markup/markup_values.h"
#include "speech_neural_network/markup/pinyin_syllables.h"
#include "speech_neural_network/utf8_conversion.h"

namespace {

using speechnn::SpeechPart;

void Require(bool holds) {
  if (!holds) std::abort();
}

// What the reader says is UTF-8 (it quotes cut attributes and contents).
void RequireUtf8(std::string_view text) {
  Require(speechnn::FindInvalidUtf8(text) == std::string::npos);
}

void CheckPart(const SpeechPart& part) {
  switch (part.kind) {
    case SpeechPart::Kind::kText:
      Require(!part.text.empty());
      RequireUtf8(part.text);
      break;
    case SpeechPart::Kind::kPinyin:
      Require(!part.syllables.empty());
      for (const std::string& syllable : part.syllables) {
        Require(speechnn::CheckPinyinSyllable(syllable).ok());
      }
      break;
    case SpeechPart::Kind::kBreak:
      Require(part.break_ms >= 0 && part.break_ms <= speechnn::kMaxBreakMs);
      break;
  }
  // The product of the nested rates: kept within what synthesis takes
  // later, with the caller's speed.
  Require(part.rate > 0 && std::isfinite(part.rate));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  std::vector<SpeechPart> parts;
  std::vector<std::string> warnings;
  const absl::Status read = speechnn::ReadMarkup(document, &parts, &warnings);
  if (!read.ok()) {
    // Every failure names where it happened, and leaves nothing behind.
    Require(absl::StartsWith(read.message(), "line "));
    RequireUtf8(std::string_view(read.message().data(), read.message().size()));
    Require(parts.empty() && warnings.empty());
    return 0;
  }
  Require(parts.size() <= speechnn::kMaxMarkupParts);
  Require(warnings.size() <= speechnn::kMaxMarkupWarnings + 1);
  for (const std::string& warning : warnings) RequireUtf8(warning);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    CheckPart(parts[i]);
    // Neighbouring text of one rate is one part.
    if (i > 0 && parts[i].kind == SpeechPart::Kind::kText &&
        parts[i - 1].kind == SpeechPart::Kind::kText) {
      Require(parts[i].rate != parts[i - 1].rate);
    }
  }
  return 0;
}
