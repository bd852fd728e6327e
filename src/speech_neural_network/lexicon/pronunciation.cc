// Grapheme to phoneme: the initials and finals of one word, read from the
// word2phone dictionary, with backward maximum matching over its words as
// the fallback for words it lacks.

#include "speech_neural_network/lexicon/pronunciation.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

// Pause tokens that a pronunciation text may hold; they carry no syllable.
bool IsPauseToken(std::string_view token) {
  return token == "sp" || token == "sp0";
}

// A final ends in its tone digit 1-9. An initial has no tone (combined
// resources) or the tone byte 0 (separate-tone resources, e.g. "zh0").
bool IsFinal(std::string_view token) {
  return !token.empty() && token.back() >= '1' && token.back() <= '9';
}

// Reads the syllables of a pronunciation text. False when the text is
// malformed: an empty token (two spaces in a row, or a fallback piece without
// a pronunciation), or an initial that is not followed by a final (at the end
// of the text, or before another initial or a pause): the token taken as its
// final would carry no tone digit for the sandhi steps to rewrite.
bool ParseSyllables(std::string_view phones, std::vector<std::string>& initials,
                    std::vector<std::string>& finals) {
  // Views into the dictionary's text, cut at each space.
  std::vector<std::string_view> tokens;
  for (std::size_t start = 0;;) {
    const std::size_t end = phones.find(' ', start);
    tokens.push_back(phones.substr(start, end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  std::size_t i = 0;
  while (i < tokens.size()) {
    const std::string_view token = tokens[i];
    if (token.empty()) return false;
    if (IsPauseToken(token)) {
      ++i;
    } else if (IsFinal(token)) {
      initials.emplace_back();
      finals.emplace_back(token);
      ++i;
    } else {
      if (i + 1 >= tokens.size() || !IsFinal(tokens[i + 1])) return false;
      initials.emplace_back(token);
      finals.emplace_back(tokens[i + 1]);
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

bool Lexicon::ReadEntry(const std::string& word,
                        std::vector<std::string>& initials,
                        std::vector<std::string>& finals) const {
  const std::string_view* entry = words_.Find(word);
  return entry != nullptr && ParseWord(word, *entry, initials, finals);
}

bool Lexicon::ReadByBackwardMatching(const std::string& word,
                                     std::vector<std::string>& initials,
                                     std::vector<std::string>& finals) const {
  // From the end of the word, the longest stretch that the dictionary reads
  // whole, down to a single character: 银行行长 is 银行 + 行长 (hang2 zhang3),
  // where the characters' first readings would give xing2 and chang2. No
  // stretch longer than the dictionary's longest word is tried, so a long
  // run of letters costs time in proportion to its length.
  std::vector<std::size_t> starts;  // each character's first byte
  for (std::size_t i = 0; i < word.size(); ++i) {
    if ((static_cast<unsigned char>(word[i]) & 0xC0) != 0x80) {
      starts.push_back(i);
    }
  }
  starts.push_back(word.size());
  const std::size_t longest = words_.longest_word();
  std::vector<std::vector<std::string>> initial_pieces;
  std::vector<std::vector<std::string>> final_pieces;
  std::size_t end = starts.size() - 1;
  std::vector<std::string> piece_initials;
  std::vector<std::string> piece_finals;
  while (end > 0) {
    // A character is at least one byte: no earlier start fits.
    std::size_t start = end > longest ? end - longest : 0;
    while (starts[end] - starts[start] > longest) ++start;
    bool found = false;
    for (; start < end && !found; ++start) {
      if (start == 0 && end + 1 == starts.size()) continue;  // the word itself
      const std::string piece =
          word.substr(starts[start], starts[end] - starts[start]);
      if (ReadEntry(piece, piece_initials, piece_finals)) {
        initial_pieces.push_back(piece_initials);
        final_pieces.push_back(piece_finals);
        end = start;
        found = true;
      }
    }
    if (!found) return false;  // a character without a reading
  }
  initials.clear();
  finals.clear();
  for (std::size_t k = final_pieces.size(); k-- > 0;) {
    initials.insert(initials.end(), initial_pieces[k].begin(),
                    initial_pieces[k].end());
    finals.insert(finals.end(), final_pieces[k].begin(), final_pieces[k].end());
  }
  return true;
}

absl::Status Lexicon::GetInitialsFinals(
    const std::string& word, std::vector<std::string>& word_initials,
    std::vector<std::string>& word_finals) const {
  // Read apart so that a rejected word leaves the caller's lists as they
  // were: every later step indexes the finals by character position.
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  // A word without a usable entry (one the segmenter or the merges made, or
  // an entry with the wrong syllable count) is read from the dictionary's
  // words inside it.
  if (!ReadEntry(word, initials, finals) &&
      !ReadByBackwardMatching(word, initials, finals)) {
    const std::string_view* entry = words_.Find(word);
    return absl::NotFoundError(
        "Pronunciation \"" +
        (entry != nullptr ? std::string(*entry) : std::string()) +
        "\" does not give one syllable per character of word: " + word);
  }
  word_initials.insert(word_initials.end(), initials.begin(), initials.end());
  word_finals.insert(word_finals.end(), finals.begin(), finals.end());
  return absl::OkStatus();
}

bool Lexicon::HasReading(const std::string& word) const {
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  return ReadEntry(word, initials, finals) ||
         ReadByBackwardMatching(word, initials, finals);
}

std::vector<std::string> Lexicon::CitationFinals(
    const std::string& word, const std::vector<std::string>& finals) const {
  std::vector<std::string> citation = finals;
  // Most words have no neutral syllable: nothing to decode or look up.
  if (std::none_of(finals.begin(), finals.end(), [](const std::string& f) {
        return !f.empty() && f.back() == '5';
      })) {
    return citation;
  }
  const std::wstring chars = utf8string2wstring(word);
  if (chars.size() != finals.size()) return citation;
  std::vector<std::string> initials;
  std::vector<std::string> own;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    std::string& final = citation[i];
    if (final.empty() || final.back() != '5') continue;
    const std::string character = wstring2utf8string(std::wstring(1, chars[i]));
    if (!ReadEntry(character, initials, own)) continue;
    // Only the same syllable: a character with another reading on its own
    // says nothing about this one's tone.
    const std::string_view toneless(final.data(), final.size() - 1);
    if (std::string_view(own[0]).substr(0, own[0].size() - 1) == toneless) {
      final.back() = own[0].back();
    }
  }
  return citation;
}

}  // namespace speechnn
