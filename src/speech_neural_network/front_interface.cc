#include "speech_neural_network/front_interface.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <utility>

#include "cppjieba/Jieba.hpp"
#include "speech_neural_network/mixed_text.h"

namespace speechnn {
namespace {

// The front end's messages are plain lines on standard error, flushed.
void Report(const std::string& line) { std::cerr << line << std::endl; }

// Splits one configuration line of the form "--key=value". Lines that do not
// start with "--", and "--" lines without "=", store nothing.
bool SplitConfLine(const std::string& line, std::string& key,
                   std::string& value) {
  if (line.size() < 2 || line.compare(0, 2, "--") != 0) return false;
  const std::size_t equals = line.find('=', 2);
  if (equals == std::string::npos) return false;
  key = line.substr(2, equals - 2);
  value = line.substr(equals + 1);
  return true;
}

// cppjieba ends the process when one of its files cannot be opened, so every
// file is checked first. The user dictionary may list several files
// separated by '|' or ';', as the library accepts.
bool CanOpen(const std::string& path) {
  std::ifstream file(path);
  return file.is_open();
}

bool CheckSegmenterFile(const std::string& path, bool may_be_list) {
  if (path.empty()) {
    Report("Jieba file path is empty");
    return false;
  }
  std::vector<std::string> files;
  if (may_be_list) {
    std::size_t start = 0;
    while (true) {
      const std::size_t end = path.find_first_of("|;", start);
      files.push_back(path.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  } else {
    files.push_back(path);
  }
  for (const std::string& file : files) {
    if (!CanOpen(file)) {
      Report("Cannot open jieba file: " + file);
      return false;
    }
  }
  return true;
}

// An empty user dictionary path would make the library fall back to a path
// fixed when it was compiled; an always-empty file keeps the "no user
// dictionary" meaning without depending on that.
constexpr char kNoUserDictionary[] = "/dev/null";

}  // namespace

FrontEngineInterface::FrontEngineInterface(std::string conf_path)
    : conf_path(std::move(conf_path)) {
  FillNumberMaps();
  Init();
}

FrontEngineInterface::~FrontEngineInterface() { jieba.reset(); }

int FrontEngineInterface::ReadFrontConf() {
  std::ifstream file(conf_path);
  if (!file.is_open()) {
    Report("Cannot open config file: " + conf_path);
    return -1;
  }
  std::string line;
  while (std::getline(file, line)) {
    std::string key;
    std::string value;
    if (!SplitConfLine(line, key, value)) continue;
    conf_map[key] = value;
    Report("Key: " + key + "; Value: " + value);
  }
  jieba_dict_path = conf_map["jieba_dict_path"];
  jieba_hmm_path = conf_map["jieba_hmm_path"];
  jieba_user_dict_path = conf_map["jieba_user_dict_path"];
  jieba_idf_path = conf_map["jieba_idf_path"];
  jieba_stop_word_path = conf_map["jieba_stop_word_path"];
  seperate_tone = conf_map["seperate_tone"];
  word2phone_path = conf_map["word2phone_path"];
  phone2id_path = conf_map["phone2id_path"];
  tone2id_path = conf_map["tone2id_path"];
  return 0;
}

int FrontEngineInterface::LoadDictFile(const std::string& path,
                                       StringMap& map) {
  std::ifstream file(path);
  if (!file.is_open()) {
    Report("Cannot open dict file: " + path);
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

int FrontEngineInterface::Init() {
  if (initialized) return 0;
  if (ReadFrontConf() != 0) {
    Report("Read front conf file failed");
    return -1;
  }

  const bool files_ok = CheckSegmenterFile(jieba_dict_path, false) &&
                        CheckSegmenterFile(jieba_hmm_path, false) &&
                        (jieba_user_dict_path.empty() ||
                         CheckSegmenterFile(jieba_user_dict_path, true)) &&
                        CheckSegmenterFile(jieba_idf_path, false) &&
                        CheckSegmenterFile(jieba_stop_word_path, false);
  if (!files_ok) {
    Report("Create jieba segmenter failed");
    return -1;
  }
  // A segmenter left from an earlier failed Init is replaced.
  jieba = std::make_unique<cppjieba::Jieba>(
      jieba_dict_path, jieba_hmm_path,
      jieba_user_dict_path.empty() ? std::string(kNoUserDictionary)
                                   : jieba_user_dict_path,
      jieba_idf_path, jieba_stop_word_path);

  FillPausePunctuation();
  FillQuoteMarks();
  FillErhuaKeepWords();
  FillErhuaSkipWords();
  FillZiSuffixWords();
  FillNeutralToneWords();

  if (LoadDictFile(word2phone_path, word2phone_dict) != 0) {
    Report("Genarate word2phone dict failed");
    return -1;
  }
  if (LoadDictFile(phone2id_path, phone2id_dict) != 0) {
    Report("Genarate phone2id dict failed");
    return -1;
  }
  if (separate_tone() && LoadDictFile(tone2id_path, tone2id_dict) != 0) {
    Report("Genarate tone2id dict failed");
    return -1;
  }
  initialized = true;
  return 0;
}

bool ListContains(const std::vector<std::string>& list,
                  const std::string& word) {
  return std::find(list.begin(), list.end(), word) != list.end();
}

}  // namespace speechnn
