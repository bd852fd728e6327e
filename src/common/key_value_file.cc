#include "common/key_value_file.h"

#include <errno.h>

#include <algorithm>
#include <iostream>
#include <mutex>
#include <sstream>
#include <utility>

#include "common/bounded_file.h"

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
                              std::vector<KeyValueLine>& entries,
                              std::vector<KeyValueLine>* skipped) {
  absl::StatusOr<std::string> text =
      ReadBoundedFile(path, kMaxConfigurationBytes);
  if (!text.ok()) return text.status();
  std::istringstream file(*std::move(text));
  std::string line;
  int line_number = 0;
  while (std::getline(file, line)) {
    ++line_number;
    KeyValueLine entry;
    entry.line_number = line_number;
    if (!SplitKeyValueLine(line, entry.key, entry.value)) {
      if (skipped != nullptr && line.size() > 2 &&
          line.compare(0, 2, "--") == 0) {
        entry.key = line.substr(2);
        skipped->push_back(std::move(entry));
      }
      continue;
    }
    entries.push_back(std::move(entry));
  }
  return absl::OkStatus();
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Shown inside quotes: a stray control character would otherwise reach the
// terminal as it is.
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      static constexpr char kHex[] = "0123456789abcdef";
      quoted += "\\x";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 15];
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace

std::vector<std::string> DescribeKeyProblems(
    const std::string& path, const std::vector<KeyValueLine>& entries,
    const std::vector<KeyValueLine>& skipped,
    const std::vector<std::string_view>& known_keys) {
  struct Problem {
    int line_number;
    std::string what;
  };
  std::vector<Problem> problems;
  const auto known = [&](std::string_view key) {
    return std::find(known_keys.begin(), known_keys.end(), key) !=
           known_keys.end();
  };
  std::vector<std::string_view> seen;
  for (const KeyValueLine& entry : entries) {
    const std::string& key = entry.key;
    const bool repeated =
        std::find(seen.begin(), seen.end(), key) != seen.end();
    seen.push_back(key);
    const bool blank_around =
        !key.empty() && (IsBlank(key.front()) || IsBlank(key.back()));
    if (blank_around) {
      problems.push_back(
          {entry.line_number, "the key " + Quoted(key) +
                                  " has blanks around it; the line is ignored "
                                  "(write --key=value)"});
    } else if (!known(key)) {
      problems.push_back({entry.line_number, "unknown key " + Quoted(key) +
                                                 "; the line is ignored"});
    } else if (repeated) {
      problems.push_back(
          {entry.line_number,
           "the key " + key + " is set again; this later value counts"});
    } else if (!entry.value.empty() && IsBlank(entry.value.front())) {
      problems.push_back(
          {entry.line_number,
           "the value of " + key + " starts with a blank, which is kept"});
    }
  }
  for (const KeyValueLine& line : skipped) {
    problems.push_back(
        {line.line_number,
         "no '=' in " + Quoted("--" + line.key) + "; the line is ignored"});
  }
  std::stable_sort(problems.begin(), problems.end(),
                   [](const Problem& a, const Problem& b) {
                     return a.line_number < b.line_number;
                   });
  std::vector<std::string> messages;
  for (const Problem& problem : problems) {
    messages.push_back("configuration " + path + " line " +
                       std::to_string(problem.line_number) + ": " +
                       problem.what);
  }
  return messages;
}

namespace {

struct ProblemRoute {
  std::mutex mutex;
  std::function<void(const std::string&)> sink;
};

ProblemRoute& Route() {
  static ProblemRoute route;
  return route;
}

}  // namespace

void ReportToStandardError(const std::string& message) {
  ProblemRoute& route = Route();
  const std::lock_guard<std::mutex> lock(route.mutex);
  if (route.sink) {
    route.sink(message);
    return;
  }
  std::cerr << program_invocation_short_name << ": " << message << std::endl;
}

void RouteConfigurationProblems(std::function<void(const std::string&)> sink) {
  ProblemRoute& route = Route();
  const std::lock_guard<std::mutex> lock(route.mutex);
  route.sink = std::move(sink);
}

}  // namespace tolvaren
