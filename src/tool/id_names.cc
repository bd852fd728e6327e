#include "tool/id_names.h"

#include <cstddef>

namespace tolvaren {
namespace {

void Invert(const speechnn::IdTable& table, std::map<int, std::string>& names) {
  for (const auto& [symbol, id] : table.ids()) names[id] = symbol;
}

std::string Name(const std::map<int, std::string>& names, int id) {
  const auto found = names.find(id);
  return found == names.end() ? "<" + std::to_string(id) + ">" : found->second;
}

}  // namespace

IdNames::IdNames(const speechnn::FrontEngineInterface& front)
    : separate_(front.separate_tone()) {
  Invert(front.phone_ids(), phones_);
  Invert(front.tone_ids(), tones_);
}

std::vector<std::string> IdNames::Symbols(
    const speechnn::SentenceTrace& trace) const {
  std::vector<std::string> symbols;
  for (std::size_t i = 0; i < trace.phone_ids.size(); ++i) {
    std::string phone = Name(phones_, trace.phone_ids[i]);
    if (separate_ && i < trace.tone_ids.size()) {
      const std::string tone = Name(tones_, trace.tone_ids[i]);
      if (tone != "0") phone += tone;  // initials and pauses carry tone 0
    }
    symbols.push_back(phone);
  }
  return symbols;
}

}  // namespace tolvaren
