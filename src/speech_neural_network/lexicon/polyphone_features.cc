#include "speech_neural_network/lexicon/polyphone_features.h"

#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {

std::uint64_t HashFeature(std::string_view name) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

PolyphoneSentence::PolyphoneSentence(const WordTagList& words) : words_(words) {
  starts_.reserve(words.size());
  for (const WordTag& word : words) {
    starts_.push_back(chars_.size());
    chars_ += utf8string2wstring(word.first);
  }
}

std::vector<std::string> PolyphoneSentence::FeatureNames(
    std::size_t word, std::size_t at, const std::string& initial,
    const std::string& final) const {
  const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(starts_[word] + at);
  const auto c = [&](std::ptrdiff_t offset) -> std::string {
    const std::ptrdiff_t k = i + offset;
    if (k < 0) return "^";
    if (k >= static_cast<std::ptrdiff_t>(chars_.size())) return "$";
    return wstring2utf8string(
        std::wstring(1, chars_[static_cast<std::size_t>(k)]));
  };
  const auto w = [&](std::ptrdiff_t offset, bool tag) -> std::string {
    const std::ptrdiff_t k = static_cast<std::ptrdiff_t>(word) + offset;
    if (k < 0) return "^";
    if (k >= static_cast<std::ptrdiff_t>(words_.size())) return "$";
    const WordTag& entry = words_[static_cast<std::size_t>(k)];
    return tag ? entry.second : entry.first;
  };
  const std::size_t length = utf8string2wstring(words_[word].first).size();
  std::vector<std::string> names = {"b"};
  for (int offset = -3; offset <= 3; ++offset) {
    if (offset == 0) continue;
    names.push_back("c" + std::string(offset > 0 ? "+" : "") +
                    std::to_string(offset) + "=" + c(offset));
  }
  names.push_back("l2=" + c(-2) + c(-1));
  names.push_back("r2=" + c(1) + c(2));
  names.push_back("lr=" + c(-1) + c(1));
  names.push_back("w=" + w(0, false));
  names.push_back("w-1=" + w(-1, false));
  names.push_back("w+1=" + w(1, false));
  names.push_back("t=" + w(0, true));
  names.push_back("t-1=" + w(-1, true));
  names.push_back("t+1=" + w(1, true));
  names.push_back("t-2=" + w(-2, true));
  names.push_back("t+2=" + w(2, true));
  names.push_back("w+2=" + w(2, false));
  names.push_back("p=" + std::to_string(at) + "/" + std::to_string(length));
  names.push_back("d=" + (initial.empty() ? std::string("-") : initial) + " " +
                  final);
  return names;
}

std::vector<std::uint64_t> PolyphoneSentence::Features(
    std::size_t word, std::size_t at, const std::string& initial,
    const std::string& final) const {
  std::vector<std::uint64_t> hashes;
  for (const std::string& name : FeatureNames(word, at, initial, final)) {
    hashes.push_back(HashFeature(name));
  }
  return hashes;
}

}  // namespace speechnn
