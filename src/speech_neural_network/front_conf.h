// The front configuration: lines "--key=value", read with the shared
// key/value reader.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_CONF_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_CONF_H_

#include <string>
#include <vector>

#include "absl/status/statusor.h"
#include "common/key_value_file.h"
#include "speech_neural_network/lexicon/segmenter.h"
#include "speech_neural_network/word_tag.h"

namespace speechnn {

// The keys the front end reads; a missing key reads as empty.
struct FrontConf {
  SegmenterFiles segmenter;
  std::string seperate_tone;  // "true" for separate-tone resources
  std::string word2phone_path;
  std::string phone2id_path;
  std::string tone2id_path;
  std::string opencc_t2s_config;  // empty: the Debian default
  // The learned polyphone readings; empty or a missing file: the rules.
  std::string polyphone_model_path;

  // Takes the keys out of the entries read (the last of a repeated key).
  static FrontConf FromEntries(const StringMap& entries);

  bool separate_tone() const { return seperate_tone == "true"; }
  // The OpenCC configuration to load.
  const std::string& t2s_config_or_default() const;
};

struct FrontConfLines {
  // In file order, repeated keys included.
  std::vector<tolvaren::KeyValueLine> entries;
  // The lines most likely mistyped (tolvaren::DescribeKeyProblems against
  // the keys above), for the reader to show.
  std::vector<std::string> problems;
};

// The entries of the file at `path`. NotFound when the file cannot be
// opened. A file that opens but cannot be read (a directory) gives the
// entries read before the failure, as an empty file would.
[[nodiscard]] absl::StatusOr<FrontConfLines> ReadFrontConfLines(
    const std::string& path);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_CONF_H_
