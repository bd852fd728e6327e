// The last step of the front end: a word's phones mapped to the ids the
// acoustic model reads.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_PHONE_IDS_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_PHONE_IDS_H_

#include <string>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/lexicon/id_table.h"

namespace speechnn {

// "n i3 h ao3": each syllable is its initial and final, or the final alone.
std::string BuildPhoneString(const std::vector<std::string>& initials,
                             const std::vector<std::string>& finals);

// Appends the id of every phone of `phones` (blank-separated) to
// `phone_ids`; a phone the table lacks reads 0. With `tones`, each phone's
// last byte is its tone, looked up there and appended to `tone_ids`; an
// empty phone then fails the word before any of its ids is appended.
[[nodiscard]] absl::Status AppendPhoneIds(const std::string& phones,
                                          const IdTable& phone_table,
                                          const IdTable* tones,
                                          std::vector<int>& phone_ids,
                                          std::vector<int>& tone_ids);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_PHONE_IDS_H_
