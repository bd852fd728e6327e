#include "speech_neural_network/lexicon/polyphone_model.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <string_view>
#include <utility>

#include "absl/strings/str_split.h"
#include "common/bounded_file.h"
#include "speech_neural_network/lexicon/polyphone_features.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

constexpr std::string_view kMagic = "tolvaren-polyphone-model";

// Walks the text line by line; a line may end in CR LF.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) {
    if (at_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(at_, end - at_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at_ = end + 1;
    ++number_;
    return true;
  }
  int number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  int number_ = 0;
};

template <typename T>
bool ParseNumber(std::string_view text, T& value, int base = 10) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value, base);
  return result.ec == std::errc() && result.ptr == end;
}

bool ParseFloat(std::string_view text, float& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

// "INITIAL FINAL", the final ending in its tone digit.
bool ParseReading(std::string_view text, PhoneReading& reading) {
  const std::size_t space = text.find(' ');
  if (space == std::string_view::npos) return false;
  const std::string_view initial = text.substr(0, space);
  const std::string_view final = text.substr(space + 1);
  if (initial.empty() || final.size() < 2 || final.back() < '1' ||
      final.back() > '5' || final.find(' ') != std::string_view::npos) {
    return false;
  }
  reading.initial = initial == "-" ? std::string() : std::string(initial);
  reading.final = std::string(final);
  return true;
}

constexpr std::wstring_view kParticles = L"的地得着";

bool IsParticle(wchar_t c) {
  return kParticles.find(c) != std::wstring_view::npos;
}

// Whether two finals differ only in one of them being neutral.
bool NeutralToggle(const std::string& a, const std::string& b) {
  return a != b && a.size() == b.size() &&
         a.compare(0, a.size() - 1, b, 0, b.size() - 1) == 0 &&
         (a.back() == '5' || b.back() == '5');
}

}  // namespace

absl::StatusOr<PolyphoneModel> PolyphoneModel::Load(const std::string& path) {
  // The model is optional: only its absence leaves the rules to read alone;
  // a model that is there but unreadable, special or too large stops.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 && errno == ENOENT) {
    return absl::NotFoundError("polyphone model " + path + " not found");
  }
  absl::StatusOr<std::string> text =
      tolvaren::ReadBoundedFile(path, kMaxFileBytes);
  if (!text.ok()) {
    return absl::FailedPreconditionError("polyphone model: " +
                                         std::string(text.status().message()));
  }
  return Parse(*text, path);
}

absl::StatusOr<PolyphoneModel> PolyphoneModel::Parse(const std::string& text,
                                                     const std::string& name) {
  Lines lines(text);
  std::string_view line;
  const auto bad = [&](const std::string& why) {
    return absl::InvalidArgumentError("polyphone model " + name + " line " +
                                      std::to_string(lines.number()) + ": " +
                                      why);
  };
  if (!lines.Next(line)) return bad("empty file");
  const std::string version_prefix = std::string(kMagic) + " ";
  if (line.substr(0, version_prefix.size()) != version_prefix) {
    return bad("not a polyphone model (expected \"" + std::string(kMagic) +
               " VERSION\")");
  }
  int version = 0;
  if (!ParseNumber(line.substr(version_prefix.size()), version) ||
      version != kFormatVersion) {
    return bad("format version " +
               std::string(line.substr(version_prefix.size())) +
               ", this build reads version " + std::to_string(kFormatVersion));
  }
  std::size_t count = 0;
  if (!lines.Next(line) || line.substr(0, 11) != "characters " ||
      !ParseNumber(line.substr(11), count) || count == 0 || count > 100000) {
    return bad("expected \"characters N\" with N from 1 to 100000");
  }
  PolyphoneModel model;
  std::vector<std::pair<wchar_t, std::size_t>> order;  // character, features
  std::size_t total_features = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!lines.Next(line)) return bad("the inventory ends early");
    const std::vector<absl::string_view> fields =
        absl::StrSplit(absl::string_view(line.data(), line.size()), '\t');
    const std::wstring character =
        utf8string2wstring(std::string(fields[0].data(), fields[0].size()));
    std::size_t features = 0;
    if (fields.size() < 4 || character.size() != 1 ||
        !ParseNumber(std::string_view(fields[1].data(), fields[1].size()),
                     features)) {
      return bad("expected CHARACTER, FEATURES and two readings or more");
    }
    Character& entry = model.characters_[character[0]];
    if (!entry.readings.empty()) return bad("character listed twice");
    entry.number = static_cast<std::uint32_t>(order.size() + 1);
    for (std::size_t f = 2; f < fields.size(); ++f) {
      PhoneReading reading;
      if (!ParseReading(std::string_view(fields[f].data(), fields[f].size()),
                        reading)) {
        return bad("reading \"" + std::string(fields[f]) +
                   "\" is not \"INITIAL FINAL\" with a tone digit");
      }
      entry.readings.push_back(std::move(reading));
    }
    if (entry.readings.size() > kMaxReadings) {
      return bad("more than " + std::to_string(kMaxReadings) + " readings");
    }
    order.emplace_back(character[0], features);
    total_features += features;
  }
  // Every feature takes a line of at least 18 bytes: a count the file
  // cannot hold is refused before anything is sized by it.
  if (total_features > text.size() / 18) {
    return bad("more features listed than the file has lines");
  }
  std::size_t slots = 16;
  while (3 * slots < 4 * total_features) slots *= 2;
  model.rows_.resize(slots);
  std::size_t words = 0;
  if (!lines.Next(line) || line.substr(0, 6) != "words " ||
      !ParseNumber(line.substr(6), words) || words > 1000000) {
    return bad("expected \"words M\" with M up to 1000000");
  }
  for (std::size_t i = 0; i < words; ++i) {
    if (!lines.Next(line)) return bad("the word list ends early");
    if (line.empty() || !model.words_.emplace(line).second) {
      return bad("an empty or repeated word");
    }
  }
  for (const auto& [character, features] : order) {
    Character& entry = model.characters_[character];
    const std::size_t width = entry.readings.size();
    for (std::size_t i = 0; i < features; ++i) {
      if (!lines.Next(line)) return bad("the weights end early");
      const std::size_t tab = line.find('\t');
      std::uint64_t hash = 0;
      if (tab != 16 || !ParseNumber(line.substr(0, tab), hash, 16)) {
        return bad("expected a 16-digit hex feature hash and a tab");
      }
      const std::vector<absl::string_view> weights = absl::StrSplit(
          absl::string_view(line.data() + tab + 1, line.size() - tab - 1), ' ');
      if (weights.size() != width) {
        return bad("expected " + std::to_string(width) + " weights");
      }
      if (!model.AddRow(hash, entry.number,
                        static_cast<std::uint32_t>(model.weights_.size()))) {
        return bad("feature listed twice");
      }
      for (const absl::string_view w : weights) {
        float value = 0;
        if (!ParseFloat(std::string_view(w.data(), w.size()), value)) {
          return bad("weight \"" + std::string(w) + "\" is not a number");
        }
        model.weights_.push_back(value);
      }
    }
  }
  while (lines.Next(line)) {
    if (!line.empty()) return bad("unexpected text after the weights");
  }
  return model;
}

std::size_t PolyphoneModel::SlotOf(std::uint64_t feature,
                                   std::uint32_t character) const {
  std::uint64_t mixed = feature ^ (character * 0x9E3779B97F4A7C15ull);
  mixed ^= mixed >> 29;
  return static_cast<std::size_t>(mixed) & (rows_.size() - 1);
}

bool PolyphoneModel::AddRow(std::uint64_t feature, std::uint32_t character,
                            std::uint32_t offset) {
  std::size_t slot = SlotOf(feature, character);
  for (; rows_[slot].character != 0; slot = (slot + 1) & (rows_.size() - 1)) {
    if (rows_[slot].feature == feature && rows_[slot].character == character) {
      return false;
    }
  }
  rows_[slot] = {feature, character, offset};
  return true;
}

const PhoneReading* PolyphoneModel::Choose(
    wchar_t character, const std::vector<std::uint64_t>& features) const {
  const auto entry = characters_.find(character);
  if (entry == characters_.end()) return nullptr;
  const Character& c = entry->second;
  std::array<float, kMaxReadings> scores{};
  for (const std::uint64_t feature : features) {
    for (std::size_t slot = SlotOf(feature, c.number);
         rows_[slot].character != 0; slot = (slot + 1) & (rows_.size() - 1)) {
      const Row& row = rows_[slot];
      if (row.feature != feature || row.character != c.number) continue;
      for (std::size_t r = 0; r < c.readings.size(); ++r) {
        scores[r] += weights_[row.offset + r];
      }
      break;
    }
  }
  std::size_t best = 0;
  for (std::size_t r = 1; r < c.readings.size(); ++r) {
    if (scores[r] > scores[best]) best = r;
  }
  return &c.readings[best];
}

void ReadWithModel(const PolyphoneModel& model,
                   const PolyphoneSentence& sentence, std::size_t word,
                   bool separate_tone, std::vector<std::string>& initials,
                   std::vector<std::string>& finals, std::string& decided_by) {
  const std::wstring_view chars = sentence.WordChars(word);
  if (chars.size() != finals.size() || initials.size() != finals.size()) return;
  // Most words hold no character the model knows: the word list is looked
  // up only for those that do.
  if (std::none_of(chars.begin(), chars.end(),
                   [&](wchar_t c) { return model.Knows(c); })) {
    return;
  }
  const bool listed = chars.size() == 1 || model.Lists(sentence.WordText(word));
  for (std::size_t i = 0; i < chars.size(); ++i) {
    if (decided_by[i] == 'r' || !model.Knows(chars[i])) continue;
    if (!listed && decided_by[i] != 'p') continue;
    std::string_view initial = initials[i];
    if (separate_tone && !initial.empty()) initial.remove_suffix(1);
    const PhoneReading* reading =
        model.Choose(chars[i], sentence.Features(word, i, initial, finals[i]));
    // A longer word's own neutral tone (饺子 zi5) is the dictionary's and the
    // tone rules' business; only a particle's is the model's (考得 de5).
    if (chars.size() > 1 && !IsParticle(chars[i]) &&
        reading->initial == initial &&
        NeutralToggle(reading->final, finals[i])) {
      continue;
    }
    decided_by[i] = 'm';
    if (reading->initial == initial && reading->final == finals[i]) continue;
    initials[i] = reading->initial;
    if (separate_tone && !initials[i].empty()) initials[i] += '0';
    finals[i] = reading->final;
  }
}

std::optional<std::string> ParticleTagFor(wchar_t character,
                                          const std::string& final,
                                          const std::string& tag) {
  struct Particle {
    wchar_t character;
    const char* particle_tag;  // the tag under which its tone is neutral
    const char* other_tag;     // a tag for its full readings
  };
  static constexpr Particle kParticles[] = {{L'的', "uj", "n"},
                                            {L'地', "uv", "n"},
                                            {L'得', "ud", "v"},
                                            {L'着', "uz", "v"}};
  for (const Particle& p : kParticles) {
    if (p.character != character) continue;
    const bool neutral = !final.empty() && final.back() == '5';
    if (neutral && tag != p.particle_tag) return p.particle_tag;
    if (!neutral && tag == p.particle_tag) return p.other_tag;
  }
  return std::nullopt;
}

}  // namespace speechnn
