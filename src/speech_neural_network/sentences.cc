#include "speech_neural_network/sentences.h"

#include <algorithm>

#include "speech_neural_network/normalize/number_shapes.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

constexpr wchar_t kSentenceEndMarks[] = L"：，；。？！,;?!";

bool IsAsciiDigitAt(const std::wstring& text, std::size_t i) {
  return i < text.size() && text[i] >= L'0' && text[i] <= L'9';
}

bool IsColonInNumber(const std::wstring& text, std::size_t mark) {
  return text[mark] == L'：' && mark > 0 && IsAsciiDigitAt(text, mark - 1) &&
         IsAsciiDigitAt(text, mark + 1);
}

}  // namespace

void SplitSentences(const std::wstring& text,
                    std::vector<std::wstring>& sentences) {
  const std::vector<std::size_t> separators = ThousandsSeparators(text);
  std::size_t start = 0;
  std::size_t from = 0;
  while (start < text.size()) {
    const std::size_t mark = text.find_first_of(kSentenceEndMarks, from);
    // The comma in 5,999 is part of the number, the colon in 22：15 part of
    // the time.
    if (mark != std::wstring::npos &&
        (std::binary_search(separators.begin(), separators.end(), mark) ||
         IsColonInNumber(text, mark))) {
      from = mark + 1;
      continue;
    }
    if (mark == std::wstring::npos) {
      sentences.push_back(text.substr(start));
      return;
    }
    sentences.push_back(text.substr(start, mark + 1 - start));
    start = mark + 1;
    from = start;
  }
}

TextCheck CheckText(const std::string& text, std::size_t& invalid_offset) {
  if (text.find_first_of(kRefusedCharacters) != std::string::npos) {
    return TextCheck::kRefused;
  }
  invalid_offset = FindInvalidUtf8(text);
  if (invalid_offset != std::string::npos) return TextCheck::kInvalidUtf8;
  return TextCheck::kAccepted;
}

}  // namespace speechnn
