#include "speech_neural_network/front_conf.h"

#include "speech_neural_network/normalize/mixed_text.h"

namespace speechnn {
namespace {

// Every key of the front configuration and the field it sets: the reading
// and the check for mistyped keys go through this one table.
struct FrontKey {
  const char* key;
  std::string& (*field)(FrontConf&);
};
constexpr FrontKey kFrontKeys[] = {
    {"jieba_dict_path",
     [](FrontConf& c) -> std::string& { return c.segmenter.dict; }},
    {"jieba_hmm_path",
     [](FrontConf& c) -> std::string& { return c.segmenter.hmm; }},
    {"jieba_user_dict_path",
     [](FrontConf& c) -> std::string& { return c.segmenter.user_dict; }},
    {"jieba_idf_path",
     [](FrontConf& c) -> std::string& { return c.segmenter.idf; }},
    {"jieba_stop_word_path",
     [](FrontConf& c) -> std::string& { return c.segmenter.stop_word; }},
    {"seperate_tone",
     [](FrontConf& c) -> std::string& { return c.seperate_tone; }},
    {"word2phone_path",
     [](FrontConf& c) -> std::string& { return c.word2phone_path; }},
    {"phone2id_path",
     [](FrontConf& c) -> std::string& { return c.phone2id_path; }},
    {"tone2id_path",
     [](FrontConf& c) -> std::string& { return c.tone2id_path; }},
    {"opencc_t2s_config",
     [](FrontConf& c) -> std::string& { return c.opencc_t2s_config; }},
    {"polyphone_model_path",
     [](FrontConf& c) -> std::string& { return c.polyphone_model_path; }},
};

}  // namespace

FrontConf FrontConf::FromEntries(const StringMap& entries) {
  FrontConf conf;
  for (const FrontKey& key : kFrontKeys) {
    const auto entry = entries.find(key.key);
    if (entry != entries.end()) key.field(conf) = entry->second;
  }
  return conf;
}

const std::string& FrontConf::t2s_config_or_default() const {
  static const std::string kDefault = kDefaultT2sConfig;
  return opencc_t2s_config.empty() ? kDefault : opencc_t2s_config;
}

absl::StatusOr<FrontConfLines> ReadFrontConfLines(const std::string& path) {
  FrontConfLines lines;
  std::vector<tolvaren::KeyValueLine> skipped;
  const absl::Status status =
      tolvaren::ReadKeyValueFile(path, lines.entries, &skipped);
  // A folder reads as an empty file; anything the reader refuses fails.
  if (!status.ok() && !absl::IsDataLoss(status)) return status;
  std::vector<std::string_view> known;
  for (const FrontKey& key : kFrontKeys) known.push_back(key.key);
  lines.problems =
      tolvaren::DescribeKeyProblems(path, lines.entries, skipped, known);
  return lines;
}

}  // namespace speechnn
