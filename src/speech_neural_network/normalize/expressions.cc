#include "speech_neural_network/normalize/expressions.h"

#include <algorithm>
#include <cstddef>

#include "speech_neural_network/normalize/everyday_readers.h"
#include "speech_neural_network/normalize/mixed_text.h"
#include "speech_neural_network/normalize/number_reading.h"

namespace speechnn {
namespace {

constexpr SignReading kSigns[] = {
    {L'+', L"加", false},      {L'-', L"减", false},
    {L'*', L"乘", false},      {L'/', L"除以", false},
    {L'<', L"小于", false},    {L'>', L"大于", false},
    {L'×', L"乘", true},       {L'÷', L"除以", true},
    {L'=', L"等于", true},     {L'≥', L"大于等于", true},
    {L'≤', L"小于等于", true}, {L'≠', L"不等于", true},
    {L'≈', L"约等于", true},   {L'±', L"正负", true},
    {L'π', L"派", true},       {L'²', L"的平方", true},
    {L'³', L"的立方", true},   {L'√', L"根号", true},
    {L'∛', L"三次根号", true}, {L'∜', L"四次根号", true},
};

const SignReading* FindSign(wchar_t c) {
  if (c > L'≥') return nullptr;  // the last sign; Chinese text is beyond
  for (const SignReading& row : kSigns) {
    if (row.sign == c) return &row;
  }
  return nullptr;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// One number of an expression starting at `i`, with its point; advances `i`.
std::wstring TakeNumber(std::wstring_view text, std::size_t& i) {
  const std::size_t start = i;
  while (i < text.size() && (IsDigit(text[i]) || text[i] == L'.')) ++i;
  return std::wstring(text.substr(start, i - start));
}

// An operand: a sign, a number, then % (said first), ² or ³.
std::wstring TakeOperand(std::wstring_view text, std::size_t& i) {
  std::wstring reading;
  if (i < text.size() && text[i] == L'-') {
    reading = L"负";
    ++i;
  }
  std::wstring number = ReadNumber(TakeNumber(text, i));
  if (i < text.size() && text[i] == L'%') {
    number = L"百分之" + number;
    ++i;
  }
  reading += number;
  if (i < text.size() && (text[i] == L'²' || text[i] == L'³')) {
    reading += FindSign(text[i])->reading;
    ++i;
  }
  return reading;
}

void SkipBlanks(std::wstring_view text, std::size_t& i) {
  while (i < text.size() && text[i] == L' ') ++i;
}

}  // namespace

absl::Span<const SignReading> SignReadings() { return kSigns; }

std::wstring ReadExpression(const WideMatch& match) {
  const std::wstring text = match.str(0);
  // Without an equation a/b is a fraction (1/2+1/3), with one a division.
  const bool equation = text.find_first_of(L"=<>≤≥≠≈") != std::wstring::npos;
  std::wstring reading;
  std::size_t i = 0;
  while (i < text.size()) {
    std::wstring operand = TakeOperand(text, i);
    SkipBlanks(text, i);
    if (!equation && i < text.size() && text[i] == L'/') {
      ++i;
      SkipBlanks(text, i);
      operand = TakeOperand(text, i) + L"分之" + operand;
      SkipBlanks(text, i);
    }
    reading += operand;
    if (i >= text.size()) break;
    const SignReading* sign = FindSign(text[i]);
    reading += sign != nullptr ? sign->reading : std::wstring_view();
    ++i;
    SkipBlanks(text, i);
  }
  return reading;
}

std::wstring ReadComparison(const WideMatch& match) {
  const bool name_first = match.matched(1);
  const std::wstring number = match.str(name_first ? 3 : 4);
  std::size_t i = 0;
  const std::wstring said = TakeOperand(number, i);
  const SignReading* sign = FindSign(match.str(name_first ? 2 : 5)[0]);
  const std::wstring sign_said(sign->reading);
  return name_first ? match.str(1) + sign_said + said
                    : said + sign_said + match.str(6);
}

std::wstring ReadScore(const WideMatch& match) {
  return match.str(1) + ReadInteger(match.str(2), false, true) + L"比" +
         ReadInteger(match.str(3), false, true);
}

void ReadMathSigns(std::wstring& sentence) {
  // Most sentences have no sign: leave them as they are.
  if (std::none_of(sentence.begin(), sentence.end(),
                   [](wchar_t c) { return FindSign(c) != nullptr; })) {
    return;
  }
  std::wstring read;
  read.reserve(sentence.size());
  for (std::size_t i = 0; i < sentence.size(); ++i) {
    const wchar_t c = sentence[i];
    const SignReading* sign = FindSign(c);
    const bool after_letter = i > 0 && IsLatinLetter(sentence[i - 1]);
    const bool plus_in_name =
        c == L'+' && (after_letter || (i > 0 && sentence[i - 1] == L'+'));
    if (sign != nullptr && (sign->anywhere || plus_in_name)) {
      read += sign->reading;
    } else {
      read += c;
    }
  }
  sentence.swap(read);
}

}  // namespace speechnn
