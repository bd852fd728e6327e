#include "speech_neural_network/prosody/erhua.h"

#include <utility>

#include "speech_neural_network/lexicon/word_lists.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

constexpr wchar_t kEr = L'儿';

// ua1 -> uar1: the r goes before the tone digit.
std::string WithErhua(const std::string& final) {
  return final.substr(0, final.size() - 1) + 'r' + final.back();
}

}  // namespace

void MergeErhua(const SandhiWord& word, const std::string& tag,
                std::vector<std::string>& word_initials,
                std::vector<std::string>& word_finals) {
  // A word the segmenter's dictionary lacks (tag x, found by its model) is
  // read as a name, like nr: 应采儿, 艾薇儿 keep their 儿 as er2.
  const bool applies = ListContains(ErhuaKeepWords(), word.text) ||
                       (!ListContains(ErhuaSkipWords(), word.text) &&
                        tag != "a" && tag != "j" && tag != "nr" && tag != "x");
  if (!applies) return;
  const std::wstring& chars = word.chars;
  const std::size_t n = chars.size();
  if (n != word_finals.size() || n != word_initials.size()) return;

  const bool last_two_skipped =
      n > 1 &&
      ListContains(ErhuaSkipWords(), wstring2utf8string(chars.substr(n - 2)));
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

}  // namespace speechnn
