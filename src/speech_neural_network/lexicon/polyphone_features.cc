#include "speech_neural_network/lexicon/polyphone_features.h"

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

// The code point of one character's UTF-8 bytes (a lead byte and its
// continuation bytes), U+FFFD for bytes that are no character: one wide
// character per piece, whatever the bytes.
wchar_t CodePoint(std::string_view piece) {
  const unsigned char lead = static_cast<unsigned char>(piece[0]);
  const std::size_t size = lead < 0x80    ? 1
                           : lead >= 0xF0 ? 4
                           : lead >= 0xE0 ? 3
                           : lead >= 0xC0 ? 2
                                          : 0;
  if (size != piece.size()) return L'\uFFFD';
  std::uint32_t value = size == 1 ? lead : lead & (0x7F >> size);
  for (std::size_t i = 1; i < size; ++i) {
    value = (value << 6) | (static_cast<unsigned char>(piece[i]) & 0x3F);
  }
  return static_cast<wchar_t>(value);
}

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
      wide_.push_back(CodePoint(chars_.back()));
      at = end;
    }
  }
  starts_.push_back(chars_.size());
}

std::vector<std::uint64_t> PolyphoneSentence::Features(
    std::size_t word, std::size_t at, std::string_view initial,
    std::string_view final) const {
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
