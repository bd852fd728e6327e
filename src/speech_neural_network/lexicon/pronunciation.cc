// Grapheme to phoneme: the initials and finals of one word, read from the
// word2phone dictionary, with the segmenter's full-mode cut as the fallback
// for words the dictionary lacks.

#include "speech_neural_network/lexicon/pronunciation.h"

#include <string>
#include <string_view>
#include <vector>

#include "absl/strings/str_split.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

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
bool ParseSyllables(std::string_view phones, std::vector<std::string>& initials,
                    std::vector<std::string>& finals) {
  const std::vector<std::string> tokens = absl::StrSplit(
      absl::string_view(phones.data(), phones.size()), absl::ByString(" "));
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

// Parses `phones` and accepts it only with one syllable per character.
bool ParseWord(const std::string& word, std::string_view phones,
               std::vector<std::string>& initials,
               std::vector<std::string>& finals) {
  initials.clear();
  finals.clear();
  return ParseSyllables(phones, initials, finals) &&
         finals.size() == Utf8Length(word) && finals.size() == initials.size();
}

}  // namespace

// A missing piece reads as nothing, which the parse then rejects.
std::string_view Lexicon::Lookup(const std::string& word) const {
  const std::string_view* phones = words_.Find(word);
  return phones == nullptr ? std::string_view() : *phones;
}

std::string Lexicon::FullCutPronunciation(const std::string& word) const {
  const std::vector<std::string> pieces = segmenter_->FullCut(word);
  std::string phones;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    if (k > 0) phones += ' ';
    phones += Lookup(pieces[k]);
  }
  return phones;
}

std::string Lexicon::PiecewisePronunciation(const std::string& word) const {
  // The mixed cut never overlaps, so its pieces tile the word. A piece
  // without a usable entry is read character by character.
  std::string phones;
  const auto append = [&phones](std::string_view reading) {
    if (!phones.empty()) phones += ' ';
    phones += reading;
  };
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  for (const std::string& piece : segmenter_->MixedCut(word)) {
    const std::string_view* entry = words_.Find(piece);
    if (entry != nullptr && ParseWord(piece, *entry, initials, finals)) {
      append(*entry);
      continue;
    }
    for (const wchar_t ch : utf8string2wstring(piece)) {
      const std::string_view* reading =
          words_.Find(wstring2utf8string(std::wstring(1, ch)));
      if (reading == nullptr) return "";
      append(*reading);
    }
  }
  return phones;
}

absl::Status Lexicon::GetInitialsFinals(
    const std::string& word, std::vector<std::string>& word_initials,
    std::vector<std::string>& word_finals) const {
  // Parsed apart so that a rejected word leaves the caller's lists as they
  // were: every later step indexes the finals by character position.
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  std::string phones;
  if (const std::string_view* entry = words_.Find(word); entry != nullptr) {
    phones = *entry;
  } else if (segmenter_ != nullptr) {
    phones = FullCutPronunciation(word);
  } else {
    return absl::FailedPreconditionError("No segmenter to cut the word: " +
                                         word);
  }
  bool ok = ParseWord(word, phones, initials, finals);
  if (!ok && segmenter_ != nullptr) {
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
    return absl::NotFoundError("Pronunciation \"" + phones +
                               "\" does not give one syllable per "
                               "character of word: " +
                               word);
  }
  word_initials.insert(word_initials.end(), initials.begin(), initials.end());
  word_finals.insert(word_finals.end(), finals.begin(), finals.end());
  return absl::OkStatus();
}

bool Lexicon::HasReading(const std::string& word) const {
  // The same readings, in the same order, as GetInitialsFinals.
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  const std::string_view* entry = words_.Find(word);
  if (entry != nullptr && ParseWord(word, *entry, initials, finals)) {
    return true;
  }
  if (segmenter_ == nullptr) return false;
  if (entry == nullptr &&
      ParseWord(word, FullCutPronunciation(word), initials, finals)) {
    return true;
  }
  return ParseWord(word, PiecewisePronunciation(word), initials, finals);
}

std::vector<std::string> Lexicon::CitationFinals(
    const std::string& word, const std::vector<std::string>& finals) const {
  std::vector<std::string> citation = finals;
  const std::wstring chars = utf8string2wstring(word);
  if (chars.size() != finals.size()) return citation;
  std::vector<std::string> initials;
  std::vector<std::string> own;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    std::string& final = citation[i];
    if (final.empty() || final.back() != '5') continue;
    const std::string character = wstring2utf8string(std::wstring(1, chars[i]));
    const std::string_view* entry = words_.Find(character);
    if (entry == nullptr || !ParseWord(character, *entry, initials, own)) {
      continue;
    }
    // Only the same syllable: a character with another reading on its own
    // says nothing about this one's tone.
    if (own[0].compare(0, own[0].size() - 1, final, 0, final.size() - 1) == 0 &&
        own[0].size() == final.size()) {
      final.back() = own[0].back();
    }
  }
  return citation;
}

}  // namespace speechnn
