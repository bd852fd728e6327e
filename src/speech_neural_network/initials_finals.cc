// Grapheme to phoneme: the initials and finals of one word, read from the
// word2phone dictionary, with the segmenter's full-mode cut as the fallback
// for words the dictionary lacks.

#include <iostream>
#include <string>
#include <vector>

#include "absl/strings/str_split.h"
#include "cppjieba/FullSegment.hpp"
#include "cppjieba/Jieba.hpp"
#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

void Report(const std::string& line) { std::cerr << line << std::endl; }

// Pause tokens that a pronunciation text may hold; they carry no syllable.
bool IsPauseToken(const std::string& token) {
  return token == "sp" || token == "sp0";
}

// A final ends in its tone digit 1-9. An initial has no tone (combined
// resources) or the tone byte 0 (separate-tone resources, e.g. "zh0").
bool IsFinal(const std::string& token) {
  return !token.empty() && token.back() >= '1' && token.back() <= '9';
}

// Reads the syllables of a pronunciation text. False when the text is
// malformed: an empty token (two spaces in a row, or a fallback piece without
// a pronunciation), or an initial that is not followed by a final (at the end
// of the text, or before another initial or a pause): the token taken as its
// final would carry no tone digit for the sandhi steps to rewrite.
bool ParseSyllables(const std::string& phones,
                    std::vector<std::string>& initials,
                    std::vector<std::string>& finals) {
  const std::vector<std::string> tokens =
      absl::StrSplit(phones, absl::ByString(" "));
  std::size_t i = 0;
  while (i < tokens.size()) {
    const std::string& token = tokens[i];
    if (token.empty()) return false;
    if (IsPauseToken(token)) {
      ++i;
    } else if (IsFinal(token)) {
      initials.emplace_back();
      finals.push_back(token);
      ++i;
    } else {
      if (i + 1 >= tokens.size() || !IsFinal(tokens[i + 1])) return false;
      initials.push_back(token);
      finals.push_back(tokens[i + 1]);
      i += 2;
    }
  }
  return true;
}

}  // namespace

namespace {

// Parses `phones` and accepts it only with one syllable per character.
bool ParseWord(const std::string& word, const std::string& phones,
               std::vector<std::string>& initials,
               std::vector<std::string>& finals) {
  initials.clear();
  finals.clear();
  return ParseSyllables(phones, initials, finals) &&
         finals.size() == Utf8Length(word) && finals.size() == initials.size();
}

}  // namespace

std::string FrontEngineInterface::FullCutPronunciation(
    const std::string& word) {
  cppjieba::FullSegment full(jieba->GetDictTrie());
  std::vector<std::string> pieces;
  full.Cut(word, pieces);
  std::string phones;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    if (k > 0) phones += ' ';
    phones += word2phone_dict[pieces[k]];
  }
  return phones;
}

std::string FrontEngineInterface::PiecewisePronunciation(
    const std::string& word) {
  // The mixed cut never overlaps, so its pieces tile the word. A piece
  // without a usable entry is read character by character.
  std::vector<std::string> pieces;
  jieba->Cut(word, pieces, true);
  std::string phones;
  const auto append = [&phones](const std::string& reading) {
    if (!phones.empty()) phones += ' ';
    phones += reading;
  };
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  for (const std::string& piece : pieces) {
    const auto entry = word2phone_dict.find(piece);
    if (entry != word2phone_dict.end() &&
        ParseWord(piece, entry->second, initials, finals)) {
      append(entry->second);
      continue;
    }
    for (const wchar_t ch : utf8string2wstring(piece)) {
      const std::string character = wstring2utf8string(std::wstring(1, ch));
      const auto reading = word2phone_dict.find(character);
      if (reading == word2phone_dict.end()) return "";
      append(reading->second);
    }
  }
  return phones;
}

int FrontEngineInterface::GetInitialsFinals(
    const std::string& word, std::vector<std::string>& word_initials,
    std::vector<std::string>& word_finals) {
  // Parsed apart so that a rejected word leaves the caller's lists as they
  // were: every later step indexes the finals by character position.
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  std::string phones;
  const auto entry = word2phone_dict.find(word);
  if (entry != word2phone_dict.end()) {
    phones = entry->second;
  } else if (jieba != nullptr) {
    phones = FullCutPronunciation(word);
  } else {
    Report("No segmenter to cut the word: " + word);
    return -1;
  }
  bool ok = ParseWord(word, phones, initials, finals);
  if (!ok && jieba != nullptr) {
    // The full cut's pieces overlap for words that the merges build (不知道
    // gives 不知 and 知道) and for segmenter words without an entry; a bad
    // entry has the wrong syllable count. Read such words piece by piece
    // from a cut that tiles them, or character by character.
    const std::string piecewise = PiecewisePronunciation(word);
    if (ParseWord(word, piecewise, initials, finals)) {
      ok = true;
    } else if (!piecewise.empty()) {
      phones = piecewise;
    }
  }
  if (!ok) {
    Report("Pronunciation \"" + phones + "\" does not give one syllable per "
           "character of word: " + word);
    return -1;
  }
  word_initials.insert(word_initials.end(), initials.begin(), initials.end());
  word_finals.insert(word_finals.end(), finals.begin(), finals.end());
  return 0;
}

bool FrontEngineInterface::HasReading(const std::string& word) {
  // The same readings, in the same order, as GetInitialsFinals.
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  const auto entry = word2phone_dict.find(word);
  if (entry != word2phone_dict.end() &&
      ParseWord(word, entry->second, initials, finals)) {
    return true;
  }
  if (jieba == nullptr) return false;
  if (entry == word2phone_dict.end() &&
      ParseWord(word, FullCutPronunciation(word), initials, finals)) {
    return true;
  }
  return ParseWord(word, PiecewisePronunciation(word), initials, finals);
}

int FrontEngineInterface::GetFinals(const std::string& word,
                                    std::vector<std::string>& word_finals) {
  std::vector<std::string> scratch_initials;
  if (GetInitialsFinals(word, scratch_initials, word_finals) != 0) {
    Report("Failed to get word finals");
    return -1;
  }
  return 0;
}

}  // namespace speechnn
