// A symbol-to-id table (phone2id, tone2id), parsed once into integers.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_ID_TABLE_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_ID_TABLE_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "speech_neural_network/word_tag.h"

namespace speechnn {

// Reads an id kept as decimal text: leading white space and one sign are
// allowed, reading stops at the first non-digit, and text without digits
// gives 0. A value beyond the 32-bit range, which only a broken table holds,
// saturates at the nearest 32-bit limit instead of overflowing.
std::int32_t ParseId(const std::string& text);

class IdTable {
 public:
  IdTable() = default;
  // The entries of a loaded "symbol id" file; symbols with an empty id are
  // left out.
  explicit IdTable(const StringMap& text);

  // The symbol's id; 0 for a symbol the table lacks.
  std::int32_t Id(const std::string& symbol) const;
  // The symbol's id, when the table has it.
  std::optional<std::int32_t> Find(const std::string& symbol) const;
  const std::map<std::string, std::int32_t>& ids() const { return ids_; }
  bool empty() const { return ids_.empty(); }

 private:
  std::map<std::string, std::int32_t> ids_;
};

// The symbols of `symbols` that `table` gives no usable id: absent, or 0,
// the id every unknown symbol reads as, so the model could not tell such a
// phone from a missing one. In `symbols`' order.
std::vector<std::string> SymbolsWithoutId(const IdTable& table,
                                          const std::set<std::string>& symbols);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_ID_TABLE_H_
