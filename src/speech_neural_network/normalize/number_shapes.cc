#include "speech_neural_network/normalize/number_shapes.h"

#include <algorithm>
#include <vector>

#include "speech_neural_network/normalize/mixed_text.h"
#include "speech_neural_network/normalize/number_reading.h"
#include "speech_neural_network/normalize/quantity_reading.h"

namespace speechnn {
namespace {

bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsDigit(wchar_t c) {
  return IsAsciiDigit(c) || (c >= L'０' && c <= L'９');
}

bool IsComma(wchar_t c) { return c == L',' || c == L'，'; }

bool At(std::wstring_view text, std::size_t i, bool (*test)(wchar_t)) {
  return i < text.size() && test(text[i]);
}

// A run of digit groups joined by single commas, [begin, end).
struct DigitToken {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool grouped = false;  // thousands separators
};

// The token that starts at `begin`, a digit that no comma-joined digit
// precedes.
DigitToken TokenAt(std::wstring_view text, std::size_t begin) {
  DigitToken token{begin, begin, false};
  std::vector<std::size_t> groups;
  std::size_t i = begin;
  while (true) {
    const std::size_t start = i;
    while (At(text, i, IsDigit)) ++i;
    groups.push_back(i - start);
    if (!(At(text, i, IsComma) && At(text, i + 1, IsDigit))) break;
    ++i;
  }
  token.end = i;
  bool grouped = groups.size() >= 2 && groups[0] <= 3;
  for (std::size_t g = 1; g < groups.size(); ++g) {
    grouped = grouped && groups[g] == 3;
  }
  token.grouped = grouped;
  return token;
}

std::wstring Digits(std::wstring_view text, const DigitToken& token) {
  std::wstring digits;
  for (std::size_t i = token.begin; i < token.end; ++i) {
    if (IsAsciiDigit(text[i])) digits.push_back(text[i]);
    if (text[i] >= L'０' && text[i] <= L'９') {
      digits.push_back(static_cast<wchar_t>(L'0' + (text[i] - L'０')));
    }
  }
  return digits;
}

// The grouped tokens of `text`, left to right.
std::vector<DigitToken> GroupedTokens(std::wstring_view text) {
  std::vector<DigitToken> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!IsDigit(text[i])) {
      ++i;
      continue;
    }
    const DigitToken token = TokenAt(text, i);
    if (token.grouped) tokens.push_back(token);
    i = token.end;
  }
  return tokens;
}

}  // namespace

std::vector<std::size_t> ThousandsSeparators(std::wstring_view text) {
  std::vector<std::size_t> commas;
  for (const DigitToken& token : GroupedTokens(text)) {
    for (std::size_t i = token.begin; i < token.end; ++i) {
      if (IsComma(text[i])) commas.push_back(i);
    }
  }
  return commas;
}

void ReadGroupedNumbers(std::wstring& sentence) {
  const std::vector<DigitToken> tokens = GroupedTokens(sentence);
  // Right to left: each reading leaves the text on its left as written.
  for (auto token = tokens.rbegin(); token != tokens.rend(); ++token) {
    std::size_t begin = token->begin;
    std::size_t end = token->end;
    std::wstring number = Digits(sentence, *token);
    if (At(sentence, end, [](wchar_t c) { return c == L'.'; }) &&
        At(sentence, end + 1, IsAsciiDigit)) {
      number.push_back(L'.');
      for (++end; At(sentence, end, IsAsciiDigit); ++end) {
        number.push_back(sentence[end]);
      }
    }
    // An amount: 2,000 is 两千.
    std::wstring reading = ReadQuantityNumber(number);
    if (At(sentence, end, [](wchar_t c) { return c == L'%'; })) {
      reading = L"百分之" + reading;
      ++end;
    }
    if (begin > 0 &&
        (sentence[begin - 1] == L'-' || sentence[begin - 1] == L'~')) {
      const bool after_number = begin >= 2 && IsDigit(sentence[begin - 2]);
      const bool after_letter =
          begin >= 2 && IsLatinLetter(sentence[begin - 2]);
      if (after_number) {
        reading = L"到" + reading;
        --begin;
      } else if (!after_letter && sentence[begin - 1] == L'-') {
        reading = L"负" + reading;
        --begin;
      }
    }
    sentence.replace(begin, end - begin, reading);
  }
}

void DropHyphensInNames(std::wstring& sentence) {
  std::wstring kept;
  kept.reserve(sentence.size());
  for (std::size_t i = 0; i < sentence.size(); ++i) {
    const bool in_name = sentence[i] == L'-' && i > 0 &&
                         IsLatinLetter(sentence[i - 1]) &&
                         At(sentence, i + 1, IsAsciiDigit);
    if (!in_name) kept.push_back(sentence[i]);
  }
  sentence.swap(kept);
}

void ReadDigitsOfNames(std::wstring& sentence) {
  SpellDigitRunsWhere(sentence, [](const std::wstring& text, std::size_t begin,
                                   std::size_t end) {
    return begin > 0 && IsLatinLetter(text[begin - 1]) && end - begin >= 3;
  });
  // One or two digits after a letter name a thing (B2层, Q2, G20): read as
  // a number, never with 两. A point, colon or percent sign after them
  // leaves them to the number rules.
  std::wstring read;
  read.reserve(sentence.size());
  std::size_t i = 0;
  while (i < sentence.size()) {
    std::size_t end = i;
    while (At(sentence, end, IsAsciiDigit)) ++end;
    const bool named =
        end > i && end - i <= 2 && i > 0 && IsLatinLetter(sentence[i - 1]) &&
        !At(sentence, end,
            [](wchar_t c) { return c == L'.' || c == L':' || c == L'%'; });
    if (named) {
      read += ReadInteger(std::wstring_view(sentence).substr(i, end - i), false,
                          true);
    } else {
      read.append(sentence, i, std::max(end, i + 1) - i);
    }
    i = std::max(end, i + 1);
  }
  sentence.swap(read);
}

}  // namespace speechnn
