#include "tool/synth/voice_config.h"

#include <optional>

#include "absl/strings/numbers.h"
#include "absl/strings/str_cat.h"
#include "tool/synth/ort_session.h"

namespace tolvaren {
namespace {

struct VoiceKey {
  const char* name;
  int32_t VoiceConfig::*value;
  bool VoiceConfig::*declared;
};

constexpr VoiceKey kVoiceKeys[] = {
    {"sample_rate", &VoiceConfig::sample_rate,
     &VoiceConfig::sample_rate_declared},
    {"hop_samples", &VoiceConfig::hop_samples,
     &VoiceConfig::hop_samples_declared},
    {"mel_bins", &VoiceConfig::mel_bins, &VoiceConfig::mel_bins_declared},
};

// Decimal digits only: no sign, no blanks, no hexadecimal.
bool ParsePositive(const std::string& text, int32_t& value) {
  if (text.empty() ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  return absl::SimpleAtoi(text, &value) && value > 0;
}

}  // namespace

absl::Status ApplyVoiceMetadata(const OrtSession& session,
                                const std::string& model_path,
                                VoiceConfig& voice) {
  for (const VoiceKey& key : kVoiceKeys) {
    absl::StatusOr<std::optional<std::string>> text =
        session.CustomMetadata(key.name);
    if (!text.ok()) return text.status();
    if (!text->has_value()) continue;
    int32_t value = 0;
    if (!ParsePositive(**text, value)) {
      return absl::InvalidArgumentError(
          absl::StrCat("model ", model_path, ": metadata key ", key.name,
                       " has the invalid value \"", **text,
                       "\" (a positive decimal integer is needed)"));
    }
    if (voice.*key.declared && voice.*key.value != value) {
      return absl::InvalidArgumentError(absl::StrCat(
          "model ", model_path, ": metadata key ", key.name, " is ", value,
          ", but the other model declares ", voice.*key.value));
    }
    voice.*key.value = value;
    voice.*key.declared = true;
  }
  return absl::OkStatus();
}

}  // namespace tolvaren
