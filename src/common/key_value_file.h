// The configuration file format shared by the tool's and the front end's
// configurations: lines "--key=value", everything else ignored.

#ifndef TOLVAREN_TTS_COMMON_KEY_VALUE_FILE_H_
#define TOLVAREN_TTS_COMMON_KEY_VALUE_FILE_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "absl/status/status.h"

namespace tolvaren {

struct KeyValueLine {
  int line_number = 0;  // 1-based, counting every line of the file
  std::string key;
  std::string value;
};

// Splits one line of the form "--key=value" at its first '=' after the
// dashes. Lines that do not start with "--", and "--" lines without "=",
// hold no entry. Keys and values are taken exactly as written: no trimming,
// a carriage return stays in the value.
[[nodiscard]] bool SplitKeyValueLine(std::string_view line, std::string& key,
                                     std::string& value);

// Appends the entries of `path` to `entries` in file order (repeated keys
// included: the caller decides that the last one wins). The file is read
// through ReadBoundedFile (at most kMaxConfigurationBytes) and fails with
// its codes: NotFound when it cannot be opened, DataLoss for a folder,
// FailedPrecondition for a FIFO or device, OutOfRange when too large.
// `skipped`, when given, receives the "--" lines without "=" (the text
// after the dashes as the key, the value empty): lines that hold no entry
// but were most likely meant to.
[[nodiscard]] absl::Status ReadKeyValueFile(
    const std::string& path, std::vector<KeyValueLine>& entries,
    std::vector<KeyValueLine>* skipped = nullptr);

// The lines of `path` that a reader knowing `known_keys` ignores or takes
// differently from what was most likely meant: a key with blanks around it
// ("--wav_path = /x"), a key it does not know, a "--" line without "=", a
// key set again (the later value counts), a value that starts with a blank
// (kept, as written). One message each, in
// file order: "configuration PATH line N: ...".
std::vector<std::string> DescribeKeyProblems(
    const std::string& path, const std::vector<KeyValueLine>& entries,
    const std::vector<KeyValueLine>& skipped,
    const std::vector<std::string_view>& known_keys);

// Writes `message` to standard error behind the program's name: a
// configuration mistake is shown even where the log is not. A program that
// keeps standard error for itself (the library) routes the messages to a
// sink of its own instead (empty: back to standard error).
void ReportToStandardError(const std::string& message);
void RouteConfigurationProblems(std::function<void(const std::string&)> sink);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_COMMON_KEY_VALUE_FILE_H_
