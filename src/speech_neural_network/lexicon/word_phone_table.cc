#include "speech_neural_network/lexicon/word_phone_table.h"

#include <algorithm>
#include <stdexcept>

namespace speechnn {
namespace {

bool WordLess(const WordPhoneTable::Entry& a, const WordPhoneTable::Entry& b) {
  return a.first < b.first;
}

// FNV-1a over the word's bytes: words are a few bytes long.
std::size_t HashWord(std::string_view word) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : word) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return static_cast<std::size_t>(hash ^ (hash >> 32));
}

}  // namespace

void WordPhoneTable::Assign(std::string text) {
  // Parsed only once the text sits in its final buffer: the views point into
  // it.
  text_ = std::move(text);
  entries_.clear();
  const std::string_view all(text_);
  entries_.reserve(
      static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n') + 1));
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\n', start);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view line = all.substr(start, end - start);
    const std::size_t space = line.find(' ');
    if (space != std::string_view::npos) {
      entries_.emplace_back(line.substr(0, space), line.substr(space + 1));
    }
    start = end + 1;
  }
  // The shipped dictionary is already in byte order; the stable sort keeps
  // the lines of a repeated word in file order, and the last of them stays.
  if (!std::is_sorted(entries_.begin(), entries_.end(), WordLess)) {
    std::stable_sort(entries_.begin(), entries_.end(), WordLess);
  }
  auto kept = entries_.begin();
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (kept != entries_.begin() && (kept - 1)->first == it->first) {
      *(kept - 1) = *it;
    } else {
      *kept++ = *it;
    }
  }
  entries_.erase(kept, entries_.end());
  longest_word_ = 0;
  for (const Entry& entry : entries_) {
    longest_word_ = std::max(longest_word_, entry.first.size());
  }
  BuildIndex();
}

void WordPhoneTable::BuildIndex() {
  std::size_t size = 16;
  while (3 * size < 4 * entries_.size()) size *= 2;
  slots_.assign(size, 0);
  const std::size_t mask = size - 1;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    std::size_t slot = HashWord(entries_[i].first) & mask;
    while (slots_[slot] != 0) slot = (slot + 1) & mask;
    slots_[slot] = static_cast<std::uint32_t>(i + 1);
  }
}

const std::string_view* WordPhoneTable::Find(std::string_view word) const {
  if (slots_.empty()) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = HashWord(word) & mask; slots_[slot] != 0;
       slot = (slot + 1) & mask) {
    const Entry& entry = entries_[slots_[slot] - 1];
    if (entry.first == word) return &entry.second;
  }
  return nullptr;
}

std::string_view WordPhoneTable::at(std::string_view word) const {
  const std::string_view* phones = Find(word);
  if (phones == nullptr) {
    throw std::out_of_range("no word2phone entry: " + std::string(word));
  }
  return *phones;
}

}  // namespace speechnn
