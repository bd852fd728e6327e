// libFuzzer target: arbitrary bytes as plain text with inline [[pinyin]],
// read by SplitInlinePinyin, and as one syllable, read by
// ReadPinyinSyllable. Any crash or sanitizer report is a fault, and so is
// an accepted text whose parts lose or invent text, or hold a syllable the
// check refuses.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "absl/strings/match.h"
#include "speech_neural_network/markup/pinyin_reader.h"
#include "speech_neural_network/markup/pinyin_syllables.h"

namespace {

using speechnn::SpeechPart;

void Require(bool holds) {
  if (!holds) std::abort();
}

void CheckSyllable(std::string_view syllable) {
  absl::StatusOr<speechnn::SyllablePhones> phones =
      speechnn::ReadPinyinSyllable(syllable);
  if (!phones.ok()) {
    Require(absl::StartsWith(phones.status().message(),
                             "invalid pinyin syllable \""));
    return;
  }
  const char tone = phones->final.back();
  Require(tone >= '1' && tone <= '5' && tone == syllable.back());
  Require(phones->final.size() >= 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckSyllable(text.substr(0, 16));
  std::vector<SpeechPart> parts;
  const absl::Status read = speechnn::SplitInlinePinyin(text, &parts);
  if (!read.ok()) {
    Require(parts.empty() && !read.message().empty());
    return 0;
  }
  std::size_t syllables = 0;
  std::size_t text_bytes = 0;
  for (const SpeechPart& part : parts) {
    Require(part.kind != SpeechPart::Kind::kBreak);
    if (part.kind == SpeechPart::Kind::kText) {
      // Each text part is a piece of the input, in order.
      Require(!part.text.empty() &&
              text.find(part.text) != std::string_view::npos);
      text_bytes += part.text.size();
      continue;
    }
    Require(!part.syllables.empty() &&
            part.syllables.size() <= speechnn::kMaxSyllablesPerGroup);
    for (const std::string& syllable : part.syllables) {
      Require(speechnn::CheckPinyinSyllable(syllable).ok());
    }
    syllables += part.syllables.size();
  }
  Require(syllables <= speechnn::kMaxSyllablesPerText);
  Require(text_bytes <= text.size());
  return 0;
}
