// The last step of the front end: each word of a merged, tagged sentence
// becomes its initials and finals, gets its tones modified and its erhua
// merged, and every phone (and, in separate-tone mode, its tone) is mapped to
// the id the acoustic model reads.

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "absl/strings/str_split.h"
#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

constexpr wchar_t kEr = L'儿';

void Report(const std::string& line) { std::cerr << line << std::endl; }

void ReportWordFailed(const std::string& word) {
  Report("Genarate the word_initials and word_finals of " + word + " failed");
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Reads an id kept as decimal text: leading white space and one sign are
// allowed, reading stops at the first non-digit, and text without digits
// (the empty value of an unknown symbol included) gives 0. A value beyond
// the 32-bit range, which only a broken table holds, saturates at the
// nearest 32-bit limit instead of overflowing.
std::int32_t ParseId(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr std::int64_t kLimit =
      std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min(kLimit, magnitude * 10 + (text[i] - '0'));
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

// "n i3 h ao3": each syllable is its initial and final, or the final alone.
std::string BuildPhoneString(const std::vector<std::string>& initials,
                             const std::vector<std::string>& finals) {
  std::string phones;
  for (std::size_t i = 0; i < finals.size(); ++i) {
    if (i > 0) phones += ' ';
    if (!initials[i].empty()) phones += initials[i] + ' ';
    phones += finals[i];
  }
  return phones;
}

// ua1 -> uar1: the r goes before the tone digit.
std::string WithErhua(const std::string& final) {
  return final.substr(0, final.size() - 1) + 'r' + final.back();
}

}  // namespace

int FrontEngineInterface::ModifyTone(const std::string& word,
                                     const std::string& tag,
                                     std::vector<std::string>& finals) {
  // Each step runs only when the ones before it succeeded.
  if (BuSandhi(word, finals) != 0 || YiSandhi(word, finals) != 0 ||
      NeuralSandhi(word, tag, finals) != 0 || ThreeSandhi(word, finals) != 0) {
    Report("Failed to modify tone of the word: " + word);
    Report("Failed to modify tone.");
    return -1;
  }
  return 0;
}

void FrontEngineInterface::MergeErhua(const std::string& word,
                                      const std::string& tag,
                                      std::vector<std::string>& word_initials,
                                      std::vector<std::string>& word_finals) {
  const bool applies = ListContains(erhua_keep_words, word) ||
                       (!ListContains(erhua_skip_words, word) && tag != "a" &&
                        tag != "j" && tag != "nr");
  if (!applies) return;
  const std::wstring chars = utf8string2wstring(word);
  const std::size_t n = chars.size();
  if (n != word_finals.size() || n != word_initials.size()) return;

  const bool last_two_skipped =
      n > 1 &&
      ListContains(erhua_skip_words, wstring2utf8string(chars.substr(n - 2)));
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  for (std::size_t i = 0; i < n; ++i) {
    const bool merges = i == n - 1 && chars[i] == kEr &&
                        (word_finals[i] == "er2" || word_finals[i] == "er5") &&
                        n > 1 && !last_two_skipped && !finals.empty() &&
                        !finals.back().empty();
    if (merges) {
      // The 儿 syllable becomes the r colouring of the final before it.
      finals.back() = WithErhua(finals.back());
    } else {
      initials.push_back(word_initials[i]);
      finals.push_back(word_finals[i]);
    }
  }
  word_initials = std::move(initials);
  word_finals = std::move(finals);
}

int FrontEngineInterface::GetWordsIds(const WordTagList& words,
                                      std::vector<int>& phone_ids,
                                      std::vector<int>& tone_ids) {
  const bool separate = separate_tone();
  for (const auto& [word, tag] : words) {
    if (ListContains(quote_marks, word)) continue;

    std::string phones;
    if (ListContains(pause_punctuation, word)) {
      phones = separate ? "sp0" : "sp";
    } else {
      std::vector<std::string> initials;
      std::vector<std::string> finals;
      if (GetInitialsFinals(word, initials, finals) != 0) {
        ReportWordFailed(word);
        return -1;
      }
      // A failed tone step is reported there and leaves the earlier changes;
      // the word is still spoken.
      ModifyTone(word, tag, finals);
      MergeErhua(word, tag, initials, finals);
      if (initials.size() != finals.size()) {
        Report("word_initials.size() == word_finals.size() failed: " + word);
        ReportWordFailed(word);
        return -1;
      }
      phones = BuildPhoneString(initials, finals);
    }

    const std::vector<std::string> tokens =
        absl::StrSplit(phones, absl::ByString(" "));
    if (separate) {
      // An empty token has no tone byte to split off: the word is rejected
      // before any of its ids is appended.
      for (const std::string& token : tokens) {
        if (token.empty()) {
          Report("Empty phone in \"" + phones + "\" of word: " + word);
          ReportWordFailed(word);
          return -1;
        }
      }
    }
    for (const std::string& token : tokens) {
      if (separate) {
        const std::string phone = token.substr(0, token.size() - 1);
        const std::string tone = token.substr(token.size() - 1);
        phone_ids.push_back(ParseId(phone2id_dict[phone]));
        tone_ids.push_back(ParseId(tone2id_dict[tone]));
      } else {
        phone_ids.push_back(ParseId(phone2id_dict[token]));
      }
    }
  }
  return 0;
}

}  // namespace speechnn
