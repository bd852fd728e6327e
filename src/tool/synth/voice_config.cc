#include "tool/synth/voice_config.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "absl/strings/numbers.h"
#include "absl/strings/str_cat.h"
#include "absl/strings/str_join.h"
#include "absl/strings/str_split.h"
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

// Every name in the comma-separated metadata value of `key` must be one
// that `has` finds in the model (`what`: "an input", "an output").
absl::Status CheckNames(const OrtSession& session,
                        const std::string& model_path, const char* key,
                        const char* what,
                        const std::function<bool(const std::string&)>& has) {
  absl::StatusOr<std::optional<std::string>> names =
      session.CustomMetadata(key);
  if (!names.ok()) return names.status();
  if (!names->has_value()) return absl::OkStatus();
  for (const absl::string_view name :
       absl::StrSplit(**names, ',', absl::SkipEmpty())) {
    if (!has(std::string(name))) {
      return absl::InvalidArgumentError(absl::StrCat(
          "model ", model_path, ": metadata key ", key, " names \"", name,
          "\", which is not ", what, " of the model"));
    }
  }
  return absl::OkStatus();
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

absl::Status CheckModelDeclarations(const OrtSession& session,
                                    const std::string& model_path) {
  absl::StatusOr<std::optional<std::string>> version =
      session.CustomMetadata("phone_set_version");
  if (!version.ok()) return version.status();
  if (version->has_value()) {
    int32_t value = 0;
    if (!ParsePositive(**version, value) || value != kPhoneSetVersion) {
      return absl::InvalidArgumentError(absl::StrCat(
          "model ", model_path, ": metadata key phone_set_version is \"",
          **version, "\", but this tool's phone ids are version ",
          kPhoneSetVersion, " (the model was trained on other ids)"));
    }
  }
  if (absl::Status inputs =
          CheckNames(session, model_path, "optional_inputs", "an input",
                     [&session](const std::string& name) {
                       return session.HasInput(name);
                     });
      !inputs.ok()) {
    return inputs;
  }
  return CheckNames(session, model_path, "optional_outputs", "an output",
                    [&session](const std::string& name) {
                      return session.OutputIndex(name).has_value();
                    });
}

std::string DescribeModelVoice(const OrtSession& session) {
  std::vector<std::string> parts;
  for (const char* key : {"voice", "teacher", "license"}) {
    absl::StatusOr<std::optional<std::string>> value =
        session.CustomMetadata(key);
    if (value.ok() && value->has_value()) {
      parts.push_back(absl::StrCat(key, ": ", **value));
    }
  }
  return absl::StrJoin(parts, "; ");
}

}  // namespace tolvaren
