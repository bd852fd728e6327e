#include "speech_neural_network/prosody/phone_ids.h"

#include "absl/strings/str_split.h"

namespace speechnn {

std::string BuildPhoneString(const std::vector<std::string>& initials,
                             const std::vector<std::string>& finals) {
  std::string phones;
  for (std::size_t i = 0; i < finals.size(); ++i) {
    if (i > 0) phones += ' ';
    if (!initials[i].empty()) phones += initials[i] + ' ';
    phones += finals[i];
  }
  return phones;
}

absl::Status AppendPhoneIds(const std::string& phones,
                            const IdTable& phone_table, const IdTable* tones,
                            std::vector<int>& phone_ids,
                            std::vector<int>& tone_ids) {
  const std::vector<std::string> tokens =
      absl::StrSplit(phones, absl::ByString(" "));
  if (tones == nullptr) {
    for (const std::string& token : tokens) {
      phone_ids.push_back(phone_table.Id(token));
    }
    return absl::OkStatus();
  }
  // An empty token has no tone byte to split off.
  for (const std::string& token : tokens) {
    if (token.empty()) {
      return absl::InvalidArgumentError("Empty phone in \"" + phones + "\"");
    }
  }
  for (const std::string& token : tokens) {
    phone_ids.push_back(phone_table.Id(token.substr(0, token.size() - 1)));
    tone_ids.push_back(tones->Id(token.substr(token.size() - 1)));
  }
  return absl::OkStatus();
}

}  // namespace speechnn
