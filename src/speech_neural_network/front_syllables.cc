// FrontEngineInterface::PhonesOfSyllables: pinyin given by the request,
// mapped to ids as the last step of the chain maps the syllables it read.

#include <utility>

#include "absl/strings/str_cat.h"
#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/markup/pinyin_syllables.h"
#include "speech_neural_network/prosody/phone_ids.h"

namespace speechnn {

absl::Status FrontEngineInterface::PhonesOfSyllables(
    const std::vector<std::string>& syllables, std::vector<int>* phone_ids,
    std::vector<int>* tone_ids) const {
  const bool separate = separate_tone();
  if (separate && tone_ids == nullptr) {
    return absl::InvalidArgumentError("separate-tone ids need a tone list");
  }
  std::vector<int> phones;
  std::vector<int> tones;
  for (const std::string& syllable : syllables) {
    absl::StatusOr<SyllablePhones> read = ReadPinyinSyllable(syllable);
    if (!read.ok()) return read.status();
    const std::size_t first = phones.size();
    // Separate-tone pronunciations give an initial the tone byte 0.
    const std::string initial = read->initial.empty() || !separate
                                    ? read->initial
                                    : read->initial + "0";
    const std::string phone_string = BuildPhoneString({initial}, {read->final});
    if (absl::Status appended =
            AppendPhoneIds(phone_string, phone_ids_,
                           separate ? &tone_ids_ : nullptr, phones, tones);
        !appended.ok()) {
      return appended;
    }
    for (std::size_t i = first; i < phones.size(); ++i) {
      if (phones[i] == 0) {
        return absl::NotFoundError(
            absl::StrCat("the phone table has no id for \"", phone_string,
                         "\" (", syllable, ")"));
      }
    }
  }
  phone_ids->insert(phone_ids->end(), phones.begin(), phones.end());
  if (separate) tone_ids->insert(tone_ids->end(), tones.begin(), tones.end());
  return absl::OkStatus();
}

}  // namespace speechnn
