#include "tool/synth/spoken_words.h"

#include <cstddef>
#include <utility>

#include "absl/status/status.h"
#include "speech_neural_network/utf8_conversion.h"

namespace tolvaren {
namespace {

bool IsFinal(const std::string& symbol) {
  return !symbol.empty() && symbol.back() >= '0' && symbol.back() <= '9';
}

// Characters [k n / s, (k + 1) n / s) of the word's n for syllable k of s.
std::string CharactersOf(const std::wstring& chars, std::size_t k,
                         std::size_t syllables) {
  const std::size_t n = chars.size();
  const std::size_t begin = k * n / syllables;
  const std::size_t end = (k + 1) * n / syllables;
  return speechnn::wstring2utf8string(chars.substr(begin, end - begin));
}

// A spoken word from its ids [begin, end) of the trace.
SpokenWord Word(const std::string& text, const speechnn::SentenceTrace& trace,
                const std::vector<std::string>& symbols, std::size_t begin,
                std::size_t end, const PhoneTable& table) {
  SpokenWord word;
  word.text = text;
  if (end - begin == 1 && symbols[begin] == "sp") {
    word.pause = true;
    word.pause_ids = {trace.phone_ids[begin]};
    return word;
  }
  std::vector<std::string> spelled;
  for (std::size_t i = begin; i < end; ++i) {
    if (word.syllables.empty() || IsFinal(spelled.back())) {
      word.syllables.emplace_back();
      spelled.clear();
    }
    word.syllables.back().phone_ids.push_back(trace.phone_ids[i]);
    spelled.push_back(symbols[i]);
    if (IsFinal(symbols[i]) || i + 1 == end) {
      const std::vector<std::string> pinyin = table.ToPinyin(spelled);
      word.syllables.back().pinyin = pinyin.empty() ? "" : pinyin.front();
    }
  }
  const std::wstring chars = speechnn::utf8string2wstring(text);
  for (std::size_t k = 0; k < word.syllables.size(); ++k) {
    word.syllables[k].text = CharactersOf(chars, k, word.syllables.size());
  }
  return word;
}

}  // namespace

absl::StatusOr<std::vector<SpokenWord>> SpokenWordsOf(
    const speechnn::SentenceTrace& trace,
    const std::vector<std::string>& symbols, const PhoneTable& table) {
  if (trace.word_phones.size() != trace.merged.size() ||
      symbols.size() != trace.phone_ids.size()) {
    return absl::FailedPreconditionError(
        "timings: the sentence trace has no phone count per word or no "
        "symbol per id");
  }
  std::vector<SpokenWord> words;
  std::size_t next = 0;
  for (std::size_t i = 0; i < trace.merged.size(); ++i) {
    const std::size_t count = trace.word_phones[i];
    if (count == 0) continue;
    if (next + count > trace.phone_ids.size()) break;
    words.push_back(
        Word(trace.merged[i].first, trace, symbols, next, next + count, table));
    next += count;
  }
  if (next != trace.phone_ids.size()) {
    return absl::FailedPreconditionError(
        "timings: the words of \"" + trace.normalized + "\" cover " +
        std::to_string(next) + " of its " +
        std::to_string(trace.phone_ids.size()) + " phone ids");
  }
  return words;
}

}  // namespace tolvaren
