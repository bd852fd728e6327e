#include "speech_neural_network/lexicon/id_table.h"

#include <algorithm>
#include <limits>

namespace speechnn {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

}  // namespace

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

IdTable::IdTable(const StringMap& text) {
  // A symbol without an id reads 0 either way; leaving it out keeps it from
  // naming id 0 when the table is read backwards.
  for (const auto& [symbol, id] : text) {
    if (!id.empty()) ids_.emplace(symbol, ParseId(id));
  }
}

std::int32_t IdTable::Id(const std::string& symbol) const {
  return Find(symbol).value_or(0);
}

std::optional<std::int32_t> IdTable::Find(const std::string& symbol) const {
  const auto entry = ids_.find(symbol);
  if (entry == ids_.end()) return std::nullopt;
  return entry->second;
}

std::vector<std::string> SymbolsWithoutId(
    const IdTable& table, const std::set<std::string>& symbols) {
  std::vector<std::string> missing;
  for (const std::string& symbol : symbols) {
    if (table.Id(symbol) == 0) missing.push_back(symbol);
  }
  return missing;
}

}  // namespace speechnn
