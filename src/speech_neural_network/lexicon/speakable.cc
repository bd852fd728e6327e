#include "speech_neural_network/lexicon/speakable.h"

#include <utility>

#include "speech_neural_network/lexicon/word_lists.h"
#include "speech_neural_network/normalize/mixed_text.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {

void DropSilentSymbols(const Lexicon& lexicon, std::wstring& sentence) {
  std::wstring kept;
  kept.reserve(sentence.size());
  for (const wchar_t ch : sentence) {
    if (ch >= 0x80 && IsSilentSymbol(ch)) {
      const std::string character = wstring2utf8string(std::wstring(1, ch));
      if (!IsMark(character) && !lexicon.HasReading(character)) {
        continue;
      }
    }
    kept += ch;
  }
  sentence = std::move(kept);
}

void MakeWordsSpeakable(const Lexicon& lexicon, WordTagList& words,
                        std::set<wchar_t>& met,
                        std::vector<wchar_t>& first_unreadable) {
  WordTagList result;
  for (const WordTag& entry : words) {
    // Plain references: a lambda below uses the tag, and structured
    // bindings cannot be captured before C++20.
    const std::string& word = entry.first;
    const std::string& tag = entry.second;
    if (IsMark(word) || lexicon.HasReading(word)) {
      result.emplace_back(word, tag);
      continue;
    }
    const char* whole = WholeWordReading(word);
    if (whole != nullptr && lexicon.HasReading(whole)) {
      result.emplace_back(whole, tag);
      continue;
    }
    // The characters that can be read stay together as one word; each
    // spelled letter is a word of its own, so that no dictionary word forms
    // across a letter boundary.
    std::wstring readable;
    const auto flush = [&]() {
      if (!readable.empty()) {
        result.emplace_back(wstring2utf8string(readable), tag);
        readable.clear();
      }
    };
    for (const wchar_t ch : utf8string2wstring(word)) {
      const char* letter = LatinLetterReading(ch);
      if (letter != nullptr && lexicon.HasReading(letter)) {
        flush();
        result.emplace_back(letter, tag);
        continue;
      }
      const std::string character = wstring2utf8string(std::wstring(1, ch));
      if (letter == nullptr && lexicon.HasReading(character)) {
        readable += ch;
        continue;
      }
      flush();
      if (!IsSilentCharacter(ch) && met.insert(ch).second) {
        first_unreadable.push_back(ch);
      }
    }
    flush();
  }
  words = std::move(result);
}

}  // namespace speechnn
