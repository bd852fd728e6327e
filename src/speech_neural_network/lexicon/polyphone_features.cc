#include "speech_neural_network/lexicon/polyphone_features.h"

#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

// Hashes a feature's name piece by piece, as HashFeature hashes it whole:
// the front end reads a model for every polyphone of every sentence, so the
// names are never built.
class NameHash {
 public:
  NameHash& operator<<(std::string_view piece) {
    for (const char c : piece) {
      hash_ ^= static_cast<unsigned char>(c);
      hash_ *= kFnvPrime;
    }
    return *this;
  }
  std::uint64_t value() const { return hash_; }

 private:
  std::uint64_t hash_ = kFnvOffset;
};

}  // namespace

std::uint64_t HashFeature(std::string_view name) {
  return (NameHash() << name).value();
}

PolyphoneSentence::PolyphoneSentence(const WordTagList& words) : words_(words) {
  starts_.reserve(words.size() + 1);
  for (const WordTag& word : words) {
    starts_.push_back(chars_.size());
    // One UTF-8 piece per character, the word's own bytes cut at each lead
    // byte.
    for (std::size_t at = 0; at < word.first.size();) {
      std::size_t end = at + 1;
      while (end < word.first.size() &&
             (static_cast<unsigned char>(word.first[end]) & 0xC0) == 0x80) {
        ++end;
      }
      chars_.push_back(std::string_view(word.first).substr(at, end - at));
      at = end;
    }
  }
  starts_.push_back(chars_.size());
}

std::wstring PolyphoneSentence::WordChars(std::size_t word) const {
  return utf8string2wstring(words_[word].first);
}

std::vector<std::uint64_t> PolyphoneSentence::Features(
    std::size_t word, std::size_t at, const std::string& initial,
    const std::string& final) const {
  const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(starts_[word] + at);
  const auto c = [&](std::ptrdiff_t offset) -> std::string_view {
    const std::ptrdiff_t k = i + offset;
    if (k < 0) return "^";
    if (k >= static_cast<std::ptrdiff_t>(chars_.size())) return "$";
    return chars_[static_cast<std::size_t>(k)];
  };
  const auto w = [&](std::ptrdiff_t offset, bool tag) -> std::string_view {
    const std::ptrdiff_t k = static_cast<std::ptrdiff_t>(word) + offset;
    if (k < 0) return "^";
    if (k >= static_cast<std::ptrdiff_t>(words_.size())) return "$";
    const WordTag& entry = words_[static_cast<std::size_t>(k)];
    return tag ? entry.second : entry.first;
  };
  const std::size_t length = starts_[word + 1] - starts_[word];
  std::vector<std::uint64_t> hashes;
  hashes.reserve(24);
  hashes.push_back(HashFeature("b"));
  static constexpr const char* kAround[] = {
      "c-3=", "c-2=", "c-1=", "c+1=", "c+2=", "c+3="};
  static constexpr int kOffsets[] = {-3, -2, -1, 1, 2, 3};
  for (int n = 0; n < 6; ++n) {
    hashes.push_back((NameHash() << kAround[n] << c(kOffsets[n])).value());
  }
  hashes.push_back((NameHash() << "l2=" << c(-2) << c(-1)).value());
  hashes.push_back((NameHash() << "r2=" << c(1) << c(2)).value());
  hashes.push_back((NameHash() << "lr=" << c(-1) << c(1)).value());
  hashes.push_back((NameHash() << "w=" << w(0, false)).value());
  hashes.push_back((NameHash() << "w-1=" << w(-1, false)).value());
  hashes.push_back((NameHash() << "w+1=" << w(1, false)).value());
  hashes.push_back((NameHash() << "t=" << w(0, true)).value());
  hashes.push_back((NameHash() << "t-1=" << w(-1, true)).value());
  hashes.push_back((NameHash() << "t+1=" << w(1, true)).value());
  hashes.push_back((NameHash() << "t-2=" << w(-2, true)).value());
  hashes.push_back((NameHash() << "t+2=" << w(2, true)).value());
  hashes.push_back((NameHash() << "w+2=" << w(2, false)).value());
  hashes.push_back((NameHash() << "p=" << std::to_string(at) << "/"
                               << std::to_string(length))
                       .value());
  hashes.push_back(
      (NameHash() << "d=" << (initial.empty() ? "-" : initial) << " " << final)
          .value());
  return hashes;
}

}  // namespace speechnn
