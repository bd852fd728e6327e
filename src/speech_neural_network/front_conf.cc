#include "speech_neural_network/front_conf.h"

#include "speech_neural_network/normalize/mixed_text.h"

namespace speechnn {
namespace {

std::string Value(const StringMap& entries, const std::string& key) {
  const auto entry = entries.find(key);
  return entry == entries.end() ? std::string() : entry->second;
}

}  // namespace

FrontConf FrontConf::FromEntries(const StringMap& entries) {
  FrontConf conf;
  conf.segmenter.dict = Value(entries, "jieba_dict_path");
  conf.segmenter.hmm = Value(entries, "jieba_hmm_path");
  conf.segmenter.user_dict = Value(entries, "jieba_user_dict_path");
  conf.segmenter.idf = Value(entries, "jieba_idf_path");
  conf.segmenter.stop_word = Value(entries, "jieba_stop_word_path");
  conf.seperate_tone = Value(entries, "seperate_tone");
  conf.word2phone_path = Value(entries, "word2phone_path");
  conf.phone2id_path = Value(entries, "phone2id_path");
  conf.tone2id_path = Value(entries, "tone2id_path");
  conf.opencc_t2s_config = Value(entries, "opencc_t2s_config");
  return conf;
}

const std::string& FrontConf::t2s_config_or_default() const {
  static const std::string kDefault = kDefaultT2sConfig;
  return opencc_t2s_config.empty() ? kDefault : opencc_t2s_config;
}

absl::StatusOr<std::vector<tolvaren::KeyValueLine>> ReadFrontConfLines(
    const std::string& path) {
  std::vector<tolvaren::KeyValueLine> lines;
  const absl::Status status = tolvaren::ReadKeyValueFile(path, lines);
  if (absl::IsNotFound(status)) return status;
  return lines;
}

}  // namespace speechnn
