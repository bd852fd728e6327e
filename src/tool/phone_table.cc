#include "tool/phone_table.h"

#include <sstream>

#include "absl/strings/str_split.h"
#include "common/bounded_file.h"

namespace tolvaren {
namespace {

bool IsToneDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool PhoneTable::Load(const std::string& path, std::string& error) {
  absl::StatusOr<std::string> text = ReadBoundedFile(path, kMaxTableBytes);
  if (!text.ok()) {
    error = absl::IsNotFound(text.status())
                ? "cannot open phone table " + path
                : "phone table: " + std::string(text.status().message());
    return false;
  }
  std::istringstream file(*std::move(text));
  std::string line;
  bool header_seen = false;
  int line_number = 0;
  while (std::getline(file, line)) {
    ++line_number;
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> fields = absl::StrSplit(line, '\t');
    if (fields.size() != 4) {
      error = path + ":" + std::to_string(line_number) + ": expected 4 fields";
      return false;
    }
    if (!header_seen) {
      header_seen = true;
      continue;
    }
    const std::string& kind = fields[0];
    const std::string& symbol = fields[1];
    const std::string initial = fields[2] == "-" ? "" : fields[2];
    if (kind == "erhua") {
      erhua_base_[symbol] = fields[3];
    } else if (kind == "syllable") {
      spelling_[{initial, fields[3]}] = symbol;
    }
  }
  if (spelling_.empty()) {
    error = path + " holds no syllables";
    return false;
  }
  return true;
}

std::vector<std::string> PhoneTable::ToPinyin(
    const std::vector<std::string>& phones) const {
  std::vector<std::string> syllables;
  std::string pending_initial;
  for (const std::string& phone : phones) {
    if (phone == "sp") continue;
    if (phone.empty() || !IsToneDigit(phone.back())) {
      if (!pending_initial.empty()) syllables.push_back("?" + pending_initial);
      pending_initial = phone;
      continue;
    }
    const char tone = phone.back();
    const std::string final = phone.substr(0, phone.size() - 1);
    std::string spelled;
    auto found = spelling_.find({pending_initial, final});
    if (found != spelling_.end()) {
      spelled = found->second;
    } else if (auto erhua = erhua_base_.find(final);
               erhua != erhua_base_.end()) {
      found = spelling_.find({pending_initial, erhua->second});
      if (found != spelling_.end()) spelled = found->second + "r";
    }
    if (spelled.empty()) {
      spelled = "?" + pending_initial + final;
    }
    syllables.push_back(spelled + tone);
    pending_initial.clear();
  }
  if (!pending_initial.empty()) syllables.push_back("?" + pending_initial);
  return syllables;
}

}  // namespace tolvaren
