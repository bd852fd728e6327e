#include "speech_neural_network/front_interface.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/bounded_file.h"
#include "speech_neural_network/lexicon/checked_tables.h"
#include "speech_neural_network/lexicon/polyphone_model.h"
#include "speech_neural_network/normalize/mixed_text.h"
#include "speech_neural_network/report.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

// The distinct phones of every pronunciation in `words`. Phones are short:
// each one of up to eight bytes is packed into an integer, so the pass over
// the whole dictionary at start-up costs little more than reading it.
std::set<std::string> PhoneInventory(const WordPhoneTable& words) {
  std::unordered_set<std::uint64_t> packed;
  std::set<std::string> inventory;
  for (const auto& [word, phones] : words) {
    std::size_t at = 0;
    while (at <= phones.size()) {
      std::size_t end = phones.find(' ', at);
      if (end == std::string_view::npos) end = phones.size();
      const std::string_view phone = phones.substr(at, end - at);
      at = end + 1;
      // Repeated spaces hold no phone.
      if (phone.empty()) continue;
      if (phone.size() > sizeof(std::uint64_t)) {
        inventory.emplace(phone);
        continue;
      }
      std::uint64_t key = 0;
      std::memcpy(&key, phone.data(), phone.size());
      if (packed.insert(key).second) inventory.emplace(phone);
    }
  }
  return inventory;
}

// "a, b, c" for the first few of `symbols`, then how many more.
std::string ListOf(const std::vector<std::string>& symbols) {
  constexpr std::size_t kShown = 10;
  std::string list;
  for (std::size_t i = 0; i < symbols.size() && i < kShown; ++i) {
    if (i > 0) list += ", ";
    list += "\"" + symbols[i] + "\"";
  }
  if (symbols.size() > kShown) {
    list += " and " + std::to_string(symbols.size() - kShown) + " more";
  }
  return list;
}

}  // namespace

FrontEngineInterface::FrontEngineInterface(std::string conf_path,
                                           ReportSink report)
    : conf_path_(std::move(conf_path)), report_(std::move(report)) {
  // The result is asked for again by whoever needs it; a failure here has
  // already been reported.
  static_cast<void>(Init());
}

FrontEngineInterface::~FrontEngineInterface() = default;

int FrontEngineInterface::ReadFrontConf() {
  const auto lines = ReadFrontConfLines(conf_path_);
  if (!lines.ok()) {
    ReportInitFailure(absl::IsNotFound(lines.status())
                          ? "Cannot open config file: " + conf_path_
                          : "Cannot open config file: " +
                                std::string(lines.status().message()));
    return -1;
  }
  for (const tolvaren::KeyValueLine& line : lines->entries) {
    conf_entries_[line.key] = line.value;
    ReportLine(report_, "Key: " + line.key + "; Value: " + line.value,
               ReportLevel::kInfo);
  }
  for (const std::string& problem : lines->problems) {
    tolvaren::ReportToStandardError(tolvaren::EscapeForLog(problem));
  }
  conf_ = FrontConf::FromEntries(conf_entries_);
  return 0;
}

int FrontEngineInterface::LoadDictFile(const std::string& path,
                                       StringMap& map) {
  std::string text;
  if (ReadDictText(path, text) != 0) return -1;
  std::istringstream file(std::move(text));
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
  std::string text;
  if (ReadDictText(path, text) != 0) return -1;
  table.Assign(std::move(text));
  return 0;
}

int FrontEngineInterface::ReadDictText(const std::string& path,
                                       std::string& text) {
  absl::StatusOr<std::string> read =
      tolvaren::ReadBoundedFile(path, tolvaren::kMaxTableBytes);
  if (!read.ok()) {
    // A folder reads as an empty table, which the checks then name.
    if (absl::IsDataLoss(read.status())) return 0;
    ReportInitFailure(absl::IsNotFound(read.status())
                          ? "Cannot open dict file: " + path
                          : "Cannot open dict file: " +
                                std::string(read.status().message()));
    return -1;
  }
  text = *std::move(read);
  return 0;
}

int FrontEngineInterface::LoadPolyphoneModel() {
  polyphone_model_.reset();
  if (conf_.polyphone_model_path.empty()) return 0;
  absl::StatusOr<PolyphoneModel> model =
      PolyphoneModel::Load(conf_.polyphone_model_path);
  if (absl::IsNotFound(model.status())) {
    // The model is optional: without it the rules read the polyphones.
    ReportLine(report_,
               std::string(model.status().message()) +
                   "; polyphones are read by the rules alone",
               ReportLevel::kWarning);
    return 0;
  }
  if (!model.ok()) {
    ReportInitFailure(std::string(model.status().message()));
    return -1;
  }
  polyphone_model_ = std::make_unique<PolyphoneModel>(*std::move(model));
  return 0;
}

void FrontEngineInterface::ReportInitFailure(const std::string& reason) {
  ReportLine(report_, reason);
  if (init_error_.empty()) init_error_ = reason;
}

int FrontEngineInterface::CheckTables(bool vouched) {
  init_error_.clear();
  const bool separate = separate_tone();
  if (lexicon_.mutable_words().empty()) {
    ReportInitFailure("word2phone file " + conf_.word2phone_path +
                      " holds no pronunciations");
    return -1;
  }
  if (phone_ids_.empty()) {
    ReportInitFailure("phone2id file " + conf_.phone2id_path +
                      " holds no phone ids");
    return -1;
  }
  if (separate && tone_ids_.empty()) {
    ReportInitFailure("tone2id file " + conf_.tone2id_path +
                      " holds no tone ids");
    return -1;
  }
  // Tables checked when the resources were built, byte for byte these.
  if (vouched &&
      RecordVouchesFor(CheckedTablesPath(conf_.word2phone_path),
                       TablesChecksum(lexicon_.words().text(), phone_ids_,
                                      tone_ids_, separate))) {
    return 0;
  }
  // Every phone the front end can emit: those of the pronunciations and the
  // pause that closing marks become. In separate-tone mode the last byte of
  // each is its tone.
  std::set<std::string> phones = PhoneInventory(lexicon_.mutable_words());
  phones.insert(separate ? "sp0" : "sp");
  std::set<std::string> tones;
  if (separate) {
    std::set<std::string> bases;
    for (const std::string& phone : phones) {
      bases.insert(phone.substr(0, phone.size() - 1));
      tones.insert(phone.substr(phone.size() - 1));
    }
    phones = std::move(bases);
  }
  if (const std::vector<std::string> missing =
          SymbolsWithoutId(phone_ids_, phones);
      !missing.empty()) {
    ReportInitFailure(
        "phone2id file " + conf_.phone2id_path + " gives no non-zero id to " +
        std::to_string(missing.size()) + " phones: " + ListOf(missing));
    return -1;
  }
  if (const std::vector<std::string> missing =
          SymbolsWithoutId(tone_ids_, tones);
      !missing.empty()) {
    ReportInitFailure(
        "tone2id file " + conf_.tone2id_path + " gives no non-zero id to " +
        std::to_string(missing.size()) + " tones: " + ListOf(missing));
    return -1;
  }
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
  absl::StatusOr<std::string> text =
      tolvaren::ReadBoundedFile(path, tolvaren::kMaxTableBytes);
  if (!text.ok()) return nullptr;
  std::istringstream file(*std::move(text));
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
  init_error_.clear();
  if (ReadFrontConf() != 0) {
    ReportLine(report_, "Read front conf file failed");
    return -1;
  }
  absl::StatusOr<std::unique_ptr<Segmenter>> segmenter =
      Segmenter::Create(conf_.segmenter);
  if (!segmenter.ok()) {
    ReportInitFailure(std::string(segmenter.status().message()));
    ReportLine(report_, "Create jieba segmenter failed");
    return -1;
  }
  // A segmenter left from an earlier failed Init is replaced.
  segmenter_ = *std::move(segmenter);

  if (LoadDictFile(conf_.word2phone_path, lexicon_.mutable_words()) != 0) {
    ReportLine(report_, "Genarate word2phone dict failed");
    return -1;
  }
  if (LoadDictFile(conf_.phone2id_path, phone_id_text_) != 0) {
    ReportLine(report_, "Genarate phone2id dict failed");
    return -1;
  }
  phone_ids_ = IdTable(phone_id_text_);
  neutral_words_ = LoadNeutralWords(conf_.word2phone_path);
  if (LoadPolyphoneModel() != 0) return -1;
  if (separate_tone()) {
    StringMap tone_text;
    if (LoadDictFile(conf_.tone2id_path, tone_text) != 0) {
      ReportLine(report_, "Genarate tone2id dict failed");
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
      ReportLine(report_,
                 "Cannot load traditional to simplified conversion " + path +
                     ": " + t2s_converter_->error() +
                     "; traditional characters are read unconverted",
                 ReportLevel::kWarning);
    }
  }
  if (!t2s_converter_->ok()) return sentence;
  return utf8string2wstring(
      t2s_converter_->Convert(wstring2utf8string(sentence)));
}

}  // namespace speechnn
