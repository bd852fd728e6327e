// The phone inventory table (phones.tsv): converts phone symbols back to
// numbered-tone pinyin, for people who inspect pronunciations.

#ifndef TOLVAREN_TTS_TOOL_PHONE_TABLE_H_
#define TOLVAREN_TTS_TOOL_PHONE_TABLE_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tolvaren {

class PhoneTable {
 public:
  // Reads the table; false with a description in `error` when the file
  // cannot be read or is malformed.
  bool Load(const std::string& path, std::string& error);

  // Converts phone symbols (initials without a digit, finals with their tone
  // digit, "sp" pauses) to pinyin syllables: "j", "in1", "sp", "uanr2" give
  // {"jin1", "wanr2"}. Pauses are left out. A symbol the table cannot place
  // is written as "?" followed by the symbol.
  std::vector<std::string> ToPinyin(
      const std::vector<std::string>& phones) const;

 private:
  // (initial or "", toneless final) -> toneless pinyin spelling.
  std::map<std::pair<std::string, std::string>, std::string> spelling_;
  // erhua final -> the final it is made from.
  std::map<std::string, std::string> erhua_base_;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_PHONE_TABLE_H_
