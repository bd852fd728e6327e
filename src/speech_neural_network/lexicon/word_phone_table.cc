#include "speech_neural_network/lexicon/word_phone_table.h"

#include <algorithm>
#include <stdexcept>

namespace speechnn {
namespace {

bool WordLess(const WordPhoneTable::Entry& a, const WordPhoneTable::Entry& b) {
  return a.first < b.first;
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
}

const std::string_view* WordPhoneTable::Find(std::string_view word) const {
  const auto entry =
      std::lower_bound(entries_.begin(), entries_.end(),
                       Entry(word, std::string_view()), WordLess);
  if (entry == entries_.end() || entry->first != word) return nullptr;
  return &entry->second;
}

std::string_view WordPhoneTable::at(std::string_view word) const {
  const std::string_view* phones = Find(word);
  if (phones == nullptr) {
    throw std::out_of_range("no word2phone entry: " + std::string(word));
  }
  return *phones;
}

}  // namespace speechnn
