#include "common/key_value_file.h"

#include <fstream>

namespace tolvaren {

bool SplitKeyValueLine(std::string_view line, std::string& key,
                       std::string& value) {
  if (line.size() < 2 || line.substr(0, 2) != "--") return false;
  const std::size_t equals = line.find('=', 2);
  if (equals == std::string_view::npos) return false;
  key.assign(line.substr(2, equals - 2));
  value.assign(line.substr(equals + 1));
  return true;
}

absl::Status ReadKeyValueFile(const std::string& path,
                              std::vector<KeyValueLine>& entries) {
  std::ifstream file(path);
  if (!file.is_open()) return absl::NotFoundError("cannot open " + path);
  std::string line;
  int line_number = 0;
  while (std::getline(file, line)) {
    ++line_number;
    KeyValueLine entry;
    if (!SplitKeyValueLine(line, entry.key, entry.value)) continue;
    entry.line_number = line_number;
    entries.push_back(std::move(entry));
  }
  if (file.bad()) return absl::DataLossError("cannot read " + path);
  return absl::OkStatus();
}

}  // namespace tolvaren
