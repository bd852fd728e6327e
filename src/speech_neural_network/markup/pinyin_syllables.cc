#include "speech_neural_network/markup/pinyin_syllables.h"

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "absl/strings/str_cat.h"
#include "absl/strings/str_split.h"
#include "speech_neural_network/markup/text_views.h"

namespace speechnn {

// The text of resources/dict/phones.tsv (phones_text.cc, generated).
std::string_view PhoneInventoryText();

namespace {

// The syllable and erhua records of the inventory.
struct SyllableTable {
  // Toneless spelling (syllable and alias records) -> initial, final.
  std::map<std::string, std::pair<std::string, std::string>, std::less<>>
      spelling;
  // Final -> its erhua final (uan -> uanr).
  std::map<std::string, std::string, std::less<>> erhua_of;
};

SyllableTable ParseInventory(std::string_view text) {
  SyllableTable table;
  bool header_seen = false;
  for (absl::string_view line : absl::StrSplit(AbslView(text), '\n')) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<absl::string_view> fields = absl::StrSplit(line, '\t');
    if (fields.size() != 4) continue;
    if (!header_seen) {
      header_seen = true;
      continue;
    }
    const std::string initial = fields[2] == "-" ? "" : std::string(fields[2]);
    if (fields[0] == "syllable" || fields[0] == "alias") {
      table.spelling.emplace(std::string(fields[1]),
                             std::make_pair(initial, std::string(fields[3])));
    } else if (fields[0] == "erhua" && fields[1] != fields[3]) {
      table.erhua_of.emplace(std::string(fields[3]), std::string(fields[1]));
    }
  }
  return table;
}

const SyllableTable& Table() {
  static const SyllableTable table = ParseInventory(PhoneInventoryText());
  return table;
}

// The syllable as a message quotes it: a long one is cut.
std::string Quoted(std::string_view syllable) {
  return absl::StrCat("\"", ShownPrefix(syllable, 24), "\"");
}

// "lü" -> "lv": the inventory spells ü as v.
std::string WithV(std::string_view toneless) {
  std::string spelled;
  for (std::size_t i = 0; i < toneless.size(); ++i) {
    if (toneless.substr(i, 2) == "\xC3\xBC") {
      spelled += 'v';
      ++i;
    } else {
      spelled += toneless[i];
    }
  }
  return spelled;
}

// The toneless syllable's initial and final, with an erhua "r" folded into
// the final; nullopt for a spelling the inventory lacks.
std::optional<std::pair<std::string, std::string>> PhonesOf(
    const std::string& toneless) {
  const SyllableTable& table = Table();
  if (auto found = table.spelling.find(toneless);
      found != table.spelling.end()) {
    return found->second;
  }
  if (toneless.size() < 2 || toneless.back() != 'r') return std::nullopt;
  auto base = table.spelling.find(
      std::string_view(toneless).substr(0, toneless.size() - 1));
  if (base == table.spelling.end()) return std::nullopt;
  auto erhua = table.erhua_of.find(base->second.second);
  if (erhua == table.erhua_of.end()) return std::nullopt;
  return std::make_pair(base->second.first, erhua->second);
}

// The vowels with a tone mark: UTF-8, the plain vowel, the tone.
struct MarkedVowel {
  std::string_view marked;
  char vowel;  // 'v' for ü
  char tone;
};

constexpr MarkedVowel kMarkedVowels[] = {
    {"\u0101", 'a', '1'},
    {"\u00E1", 'a', '2'},
    {"\u01CE", 'a', '3'},
    {"\u00E0", 'a', '4'},
    {"\u0113", 'e', '1'},
    {"\u00E9", 'e', '2'},
    {"\u011B", 'e', '3'},
    {"\u00E8", 'e', '4'},
    {"\u012B", 'i', '1'},
    {"\u00ED", 'i', '2'},
    {"\u01D0", 'i', '3'},
    {"\u00EC", 'i', '4'},
    {"\u014D", 'o', '1'},
    {"\u00F3", 'o', '2'},
    {"\u01D2", 'o', '3'},
    {"\u00F2", 'o', '4'},
    {"\u016B", 'u', '1'},
    {"\u00FA", 'u', '2'},
    {"\u01D4", 'u', '3'},
    {"\u00F9", 'u', '4'},
    {"\u01D6", 'v', '1'},
    {"\u01D8", 'v', '2'},
    {"\u01DA", 'v', '3'},
    {"\u01DC", 'v', '4'},
    // Capitals, as a syllable that starts a sentence has them.
    {"\u0100", 'a', '1'},
    {"\u00C1", 'a', '2'},
    {"\u01CD", 'a', '3'},
    {"\u00C0", 'a', '4'},
    {"\u0112", 'e', '1'},
    {"\u00C9", 'e', '2'},
    {"\u011A", 'e', '3'},
    {"\u00C8", 'e', '4'},
    {"\u014C", 'o', '1'},
    {"\u00D3", 'o', '2'},
    {"\u01D1", 'o', '3'},
    {"\u00D2", 'o', '4'},
};

const MarkedVowel* MarkedVowelAt(std::string_view text, std::size_t at) {
  for (const MarkedVowel& vowel : kMarkedVowels) {
    if (text.substr(at, vowel.marked.size()) == vowel.marked) return &vowel;
  }
  return nullptr;
}

}  // namespace

bool HasToneMark(std::string_view syllable) {
  for (std::size_t at = 0; at < syllable.size(); ++at) {
    if (MarkedVowelAt(syllable, at) != nullptr) return true;
  }
  return false;
}

absl::StatusOr<std::string> NumberedSyllable(std::string_view syllable,
                                             bool unmarked_is_neutral) {
  std::string plain;
  char tone = 0;
  for (std::size_t at = 0; at < syllable.size(); ++at) {
    if (const MarkedVowel* vowel = MarkedVowelAt(syllable, at)) {
      if (tone != 0) {
        return absl::InvalidArgumentError(
            absl::StrCat("invalid pinyin syllable ", Quoted(syllable)));
      }
      tone = vowel->tone;
      plain += vowel->vowel;
      at += vowel->marked.size() - 1;
    } else if (syllable[at] >= 'A' && syllable[at] <= 'Z') {
      plain += static_cast<char>(syllable[at] - 'A' + 'a');
    } else {
      plain += syllable[at];
    }
  }
  const bool numbered =
      !plain.empty() && plain.back() >= '0' && plain.back() <= '9';
  if (tone != 0 && !numbered) return plain + tone;
  if (tone == 0 && !numbered && unmarked_is_neutral) return plain + '5';
  return plain;
}

absl::StatusOr<SyllablePhones> ReadPinyinSyllable(std::string_view syllable) {
  const absl::Status invalid = absl::InvalidArgumentError(
      absl::StrCat("invalid pinyin syllable ", Quoted(syllable)));
  if (syllable.size() < 2 || syllable.size() > kMaxSyllableBytes) {
    return invalid;
  }
  const char tone = syllable.back();
  if (tone < '1' || tone > '5') return invalid;
  std::optional<std::pair<std::string, std::string>> phones =
      PhonesOf(WithV(syllable.substr(0, syllable.size() - 1)));
  if (!phones) return invalid;
  return SyllablePhones{std::move(phones->first), phones->second + tone};
}

absl::Status CheckPinyinSyllable(std::string_view syllable) {
  return ReadPinyinSyllable(syllable).status();
}

}  // namespace speechnn
