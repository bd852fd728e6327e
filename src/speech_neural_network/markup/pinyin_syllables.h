// Numbered-tone pinyin syllables ("ni3", "lv4", "huar1") and the phones they
// stand for, after the syllable records of the phone inventory
// (resources/dict/phones.tsv, compiled in): the same table that turns the
// front end's phones back into the pinyin `--pinyin` prints.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_PINYIN_SYLLABLES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_PINYIN_SYLLABLES_H_

#include <string>
#include <string_view>

#include "absl/status/statusor.h"

namespace speechnn {

// A syllable's phones as the front end writes them: "n" and "i3" for ni3,
// "" and "uanr2" for wanr2.
struct SyllablePhones {
  std::string initial;  // empty: the syllable has none
  std::string final;    // with its tone digit, 1-5
};

// The longest syllable accepted, in bytes ("zhuangr5" and a ü to spare).
inline constexpr std::size_t kMaxSyllableBytes = 12;

// Reads one syllable: lower-case pinyin in its standard spelling, ü written
// "v" or "ü" (lv4, lü4, nve4), the interjections the inventory reads (ng2,
// m2, hm5), an erhua "r" before the tone (huar1, wanr2: the syllable's final
// must have an erhua form), then one tone digit 1-5 (5: neutral). Anything
// else fails with `invalid pinyin syllable "…"`.
absl::StatusOr<SyllablePhones> ReadPinyinSyllable(std::string_view syllable);

// A syllable written with a tone mark ("nǐ", "lǜ", capitals too: "Hǎo")
// in the numbered form ReadPinyinSyllable reads ("ni3", "lv4", "hao3"). A
// syllable with a digit is returned as it is, lower-cased; one with neither
// a mark nor a digit gets the neutral tone 5 when `unmarked_is_neutral`
// (the other syllables of its group are marked, as in "nǐ hǎo ma"), else
// is returned as it is. Two marks fail with `invalid pinyin syllable "…"`.
absl::StatusOr<std::string> NumberedSyllable(std::string_view syllable,
                                             bool unmarked_is_neutral);

// Whether `syllable` carries a tone mark.
bool HasToneMark(std::string_view syllable);

// Whether ReadPinyinSyllable accepts `syllable`, and its failure if not.
absl::Status CheckPinyinSyllable(std::string_view syllable);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_PINYIN_SYLLABLES_H_
