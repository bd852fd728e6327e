#include "speech_neural_network/front_interface.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "speech_neural_network/normalize/mixed_text.h"
#include "speech_neural_network/report.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {

FrontEngineInterface::FrontEngineInterface(std::string conf_path)
    : conf_path_(std::move(conf_path)) {
  // The result is asked for again by whoever needs it; a failure here has
  // already been reported.
  static_cast<void>(Init());
}

FrontEngineInterface::~FrontEngineInterface() = default;

int FrontEngineInterface::ReadFrontConf() {
  const auto lines = ReadFrontConfLines(conf_path_);
  if (!lines.ok()) {
    ReportLine("Cannot open config file: " + conf_path_);
    return -1;
  }
  for (const tolvaren::KeyValueLine& line : *lines) {
    conf_entries_[line.key] = line.value;
    ReportLine("Key: " + line.key + "; Value: " + line.value);
  }
  conf_ = FrontConf::FromEntries(conf_entries_);
  return 0;
}

int FrontEngineInterface::LoadDictFile(const std::string& path,
                                       StringMap& map) {
  std::ifstream file(path);
  if (!file.is_open()) {
    ReportLine("Cannot open dict file: " + path);
    return -1;
  }
  std::string line;
  while (std::getline(file, line)) {
    // Lines without a space (blank lines included) hold no entry.
    const std::size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    map[line.substr(0, space)] = line.substr(space + 1);
  }
  return 0;
}

int FrontEngineInterface::LoadDictFile(const std::string& path,
                                       WordPhoneTable& table) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) {
    ReportLine("Cannot open dict file: " + path);
    return -1;
  }
  std::string text;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  file.seekg(0, std::ios::beg);
  if (size > 0) {
    text.resize(static_cast<std::size_t>(size));
    file.read(text.data(), size);
    text.resize(static_cast<std::size_t>(file.gcount()));
  }
  table.Assign(std::move(text));
  return 0;
}

namespace {

// The generated list of lexical neutral-tone words lies beside word2phone.
// Resources without it fall back to the built-in candidates.
std::unique_ptr<WordList> LoadNeutralWords(const std::string& word2phone) {
  const std::size_t slash = word2phone.find_last_of('/');
  const std::string path =
      (slash == std::string::npos ? std::string()
                                  : word2phone.substr(0, slash + 1)) +
      "neutral_tone_words.dict";
  std::ifstream file(path);
  if (!file) return nullptr;
  std::vector<std::string> words;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) words.push_back(line);
  }
  return std::make_unique<WordList>(std::move(words));
}

}  // namespace

int FrontEngineInterface::Init() {
  if (initialized_) return 0;
  if (ReadFrontConf() != 0) {
    ReportLine("Read front conf file failed");
    return -1;
  }
  absl::StatusOr<std::unique_ptr<Segmenter>> segmenter =
      Segmenter::Create(conf_.segmenter);
  if (!segmenter.ok()) {
    ReportLine(segmenter.status().message());
    ReportLine("Create jieba segmenter failed");
    return -1;
  }
  // A segmenter left from an earlier failed Init is replaced.
  segmenter_ = *std::move(segmenter);
  lexicon_.set_segmenter(segmenter_.get());

  if (LoadDictFile(conf_.word2phone_path, lexicon_.mutable_words()) != 0) {
    ReportLine("Genarate word2phone dict failed");
    return -1;
  }
  if (LoadDictFile(conf_.phone2id_path, phone_id_text_) != 0) {
    ReportLine("Genarate phone2id dict failed");
    return -1;
  }
  phone_ids_ = IdTable(phone_id_text_);
  neutral_words_ = LoadNeutralWords(conf_.word2phone_path);
  if (separate_tone()) {
    StringMap tone_text;
    if (LoadDictFile(conf_.tone2id_path, tone_text) != 0) {
      ReportLine("Genarate tone2id dict failed");
      return -1;
    }
    tone_ids_ = IdTable(tone_text);
  }
  initialized_ = true;
  return 0;
}

std::wstring FrontEngineInterface::ToSimplified(const std::wstring& sentence) {
  // Text made only of ASCII has nothing to convert.
  if (std::all_of(sentence.begin(), sentence.end(),
                  [](wchar_t ch) { return ch < 0x80; })) {
    return sentence;
  }
  if (t2s_converter_ == nullptr) {
    const std::string& path = conf_.t2s_config_or_default();
    t2s_converter_ = std::make_unique<TraditionalConverter>(path);
    if (!t2s_converter_->ok()) {
      ReportLine("Cannot load traditional to simplified conversion " + path +
                 ": " + t2s_converter_->error() +
                 "; traditional characters are read unconverted");
    }
  }
  if (!t2s_converter_->ok()) return sentence;
  return utf8string2wstring(
      t2s_converter_->Convert(wstring2utf8string(sentence)));
}

}  // namespace speechnn
