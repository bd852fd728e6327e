#include "speech_neural_network/lexicon/segmenter_files.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "common/bounded_file.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

// The lines of a file as std::getline gives them: split at '\n', the last
// one counted even without a newline, no empty line after a final newline.
class FileLines {
 public:
  explicit FileLines(const std::string& path) {
    absl::StatusOr<std::string> text =
        tolvaren::ReadBoundedFile(path, tolvaren::kMaxTableBytes);
    if (text.ok()) {
      text_ = *std::move(text);
    } else {
      failure_ = text.status();
    }
  }

  // Why the file was not read: NotFound, DataLoss (a folder), or what the
  // bounded reader refuses.
  const absl::Status& failure() const { return failure_; }

  // The next line in `line` and its 1-based number in `number`; false at
  // the end.
  bool Next(std::string_view& line, int& number) {
    if (position_ >= text_.size()) return false;
    const std::size_t end = text_.find('\n', position_);
    const std::size_t stop = end == std::string::npos ? text_.size() : end;
    line = std::string_view(text_).substr(position_, stop - position_);
    position_ = stop + 1;
    number = ++number_;
    return true;
  }

 private:
  std::string text_;
  std::size_t position_ = 0;
  int number_ = 0;
  absl::Status failure_;
};

absl::Status Bad(const std::string& path, int line, const std::string& why) {
  return absl::InvalidArgumentError("Bad jieba file: " + path + " line " +
                                    std::to_string(line) + ": " + why);
}

absl::Status OpenFailure(const FileLines& lines, const std::string& path) {
  const absl::Status& failure = lines.failure();
  if (failure.ok()) return failure;
  if (absl::IsNotFound(failure)) {
    return absl::NotFoundError("Cannot open jieba file: " + path);
  }
  if (absl::IsDataLoss(failure)) {
    return absl::DataLossError("Cannot read jieba file: " + path);
  }
  return absl::Status(failure.code(),
                      "Bad jieba file: " + std::string(failure.message()));
}

bool IsWord(std::string_view word) {
  return !word.empty() && FindInvalidUtf8(word) == std::string::npos;
}

// The whole field as a finite number.
bool IsNumber(std::string_view field, double* value = nullptr) {
  double number = 0;
  const char* end = field.data() + field.size();
  const auto [stop, error] = std::from_chars(field.data(), end, number);
  if (field.empty() || error != std::errc() || stop != end ||
      !std::isfinite(number)) {
    return false;
  }
  if (value != nullptr) *value = number;
  return true;
}

std::string_view Trim(std::string_view line) {
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line[0]))) {
    line.remove_prefix(1);
  }
  while (!line.empty() &&
         std::isspace(static_cast<unsigned char>(line.back()))) {
    line.remove_suffix(1);
  }
  return line;
}

// The model's next meaningful line, trimmed, as the model loader reads it.
bool NextModelLine(FileLines& lines, std::string_view& line, int& number) {
  while (lines.Next(line, number)) {
    line = Trim(line);
    if (!line.empty() && line[0] != '#') return true;
  }
  return false;
}

absl::Status CheckProbabilityRow(const std::string& path, int number,
                                 std::string_view line, const char* what) {
  std::vector<std::string_view> fields;
  SplitLikeSegmenter(line, ' ', fields);
  if (fields.size() != 4) {
    return Bad(path, number,
               std::string(what) + " needs 4 numbers separated by one blank");
  }
  for (std::string_view field : fields) {
    if (!IsNumber(field)) {
      return Bad(path, number,
                 std::string(what) +
                     " has a field that is "
                     "not a number");
    }
  }
  return absl::OkStatus();
}

absl::Status CheckEmissionLine(const std::string& path, int number,
                               std::string_view line) {
  std::vector<std::string_view> pairs;
  std::vector<std::string_view> parts;
  SplitLikeSegmenter(line, ',', pairs);
  for (std::string_view pair : pairs) {
    SplitLikeSegmenter(pair, ':', parts);
    if (parts.size() != 2 || !IsWord(parts[0]) || Utf8Length(parts[0]) != 1 ||
        !IsNumber(parts[1])) {
      return Bad(path, number,
                 "emission entries must be \"character:probability\"");
    }
  }
  return absl::OkStatus();
}

}  // namespace

void SplitLikeSegmenter(std::string_view line, char separator,
                        std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t start = 0;
  while (start < line.size()) {
    const std::size_t end = line.find(separator, start);
    if (end == std::string_view::npos) {
      fields.push_back(line.substr(start));
      break;
    }
    fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
}

absl::Status CheckSegmenterDictionary(const std::string& path) {
  FileLines lines(path);
  if (absl::Status failure = OpenFailure(lines, path); !failure.ok()) {
    return failure;
  }
  std::string_view line;
  int number = 0;
  bool any = false;
  std::vector<std::string_view> fields;
  while (lines.Next(line, number)) {
    SplitLikeSegmenter(line, ' ', fields);
    double frequency = 0;
    if (fields.size() != 3) {
      return Bad(path, number,
                 "expected \"word frequency tag\" separated by one blank");
    }
    if (!IsWord(fields[0])) {
      return Bad(path, number, "the word is empty or not UTF-8");
    }
    if (!IsNumber(fields[1], &frequency) || frequency <= 0) {
      return Bad(path, number, "the frequency is not a number above 0");
    }
    any = true;
  }
  if (!any) {
    return absl::InvalidArgumentError("Bad jieba file: " + path +
                                      ": the dictionary has no words");
  }
  return absl::OkStatus();
}

absl::Status CheckSegmenterUserDictionary(const std::string& path) {
  FileLines lines(path);
  if (absl::Status failure = OpenFailure(lines, path); !failure.ok()) {
    return failure;
  }
  std::string_view line;
  int number = 0;
  std::vector<std::string_view> fields;
  while (lines.Next(line, number)) {
    if (line.empty()) continue;
    SplitLikeSegmenter(line, ' ', fields);
    if (fields.empty() || fields.size() > 3) {
      return Bad(path, number,
                 "expected \"word\", \"word tag\" or \"word frequency tag\"");
    }
    if (!IsWord(fields[0])) {
      return Bad(path, number, "the word is empty or not UTF-8");
    }
    if (fields.size() == 3 && !IsNumber(fields[1])) {
      return Bad(path, number, "the frequency is not a number");
    }
  }
  return absl::OkStatus();
}

absl::Status CheckSegmenterHmmModel(const std::string& path) {
  FileLines lines(path);
  if (absl::Status failure = OpenFailure(lines, path); !failure.ok()) {
    return failure;
  }
  std::string_view line;
  int number = 0;
  const auto missing = [&](const char* what) {
    return absl::InvalidArgumentError("Bad jieba file: " + path +
                                      ": the model ends before its " + what);
  };
  if (!NextModelLine(lines, line, number)) return missing("start row");
  if (absl::Status row = CheckProbabilityRow(path, number, line, "start row");
      !row.ok()) {
    return row;
  }
  for (int state = 0; state < 4; ++state) {
    if (!NextModelLine(lines, line, number)) return missing("transition rows");
    if (absl::Status row =
            CheckProbabilityRow(path, number, line, "a transition row");
        !row.ok()) {
      return row;
    }
  }
  for (int state = 0; state < 4; ++state) {
    if (!NextModelLine(lines, line, number)) return missing("emission lines");
    if (absl::Status row = CheckEmissionLine(path, number, line); !row.ok()) {
      return row;
    }
  }
  return absl::OkStatus();
}

std::vector<std::string> SegmenterUserDictionaryFiles(
    const std::string& paths) {
  std::vector<std::string> files;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = paths.find_first_of("|;", start);
    files.push_back(paths.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return files;
}

absl::Status CheckSegmenterPathsGiven(const SegmenterFiles& files) {
  for (const std::string* path :
       {&files.dict, &files.hmm, &files.idf, &files.stop_word}) {
    if (path->empty()) return absl::NotFoundError("Jieba file path is empty");
  }
  return absl::OkStatus();
}

absl::Status CheckSegmenterFiles(const SegmenterFiles& files) {
  if (absl::Status status = CheckSegmenterHmmModel(files.hmm); !status.ok()) {
    return status;
  }
  if (!files.user_dict.empty()) {
    for (const std::string& file :
         SegmenterUserDictionaryFiles(files.user_dict)) {
      if (file.empty()) return absl::NotFoundError("Jieba file path is empty");
      if (absl::Status status = CheckSegmenterUserDictionary(file);
          !status.ok()) {
        return status;
      }
    }
  }
  // The segmenter reads these itself: they are checked with the same
  // bound, so that it never reads a FIFO or a device.
  for (const std::string* path : {&files.idf, &files.stop_word}) {
    const absl::Status usable =
        tolvaren::CheckBoundedFile(*path, tolvaren::kMaxTableBytes);
    if (absl::IsNotFound(usable)) {
      return absl::NotFoundError("Cannot open jieba file: " + *path);
    }
    if (!usable.ok() && !absl::IsDataLoss(usable)) {
      return absl::Status(usable.code(),
                          "Bad jieba file: " + std::string(usable.message()));
    }
  }
  return absl::OkStatus();
}

}  // namespace speechnn
