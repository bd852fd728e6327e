// The front configuration: lines "--key=value", read with the shared
// key/value reader.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_CONF_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_CONF_H_

#include <string>

#include "absl/status/status.h"
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

  // Takes the keys out of the entries read (the last of a repeated key).
  static FrontConf FromEntries(const StringMap& entries);

  bool separate_tone() const { return seperate_tone == "true"; }
  // The OpenCC configuration to load.
  const std::string& t2s_config_or_default() const;
};

// Adds the entries of the file at `path` to `entries`, in file order, and
// writes "Key: K; Value: V" on standard error for each. NotFound when the
// file cannot be opened. A file that opens but cannot be read (a directory)
// adds the entries read before the failure, as an empty file would.
[[nodiscard]] absl::Status ReadFrontConfEntries(const std::string& path,
                                                StringMap& entries);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_CONF_H_
