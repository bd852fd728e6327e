// Inline pinyin in plain text: "我说[[ni3 hao3]]。" speaks 我说 and 。 as
// text and ni3 hao3 as given (those tones, no sandhi).

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_PINYIN_READER_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_PINYIN_READER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/markup/speech_parts.h"

namespace speechnn {

// At most this many syllables in one [[…]] (or one <phoneme ph>), and in one
// text all together: far more than a sentence, few enough that a request
// stays small.
inline constexpr std::size_t kMaxSyllablesPerGroup = 1000;
inline constexpr std::size_t kMaxSyllablesPerText = 4000;

// Splits a blank-separated syllable list ("ni3 hao3") and checks each
// syllable (pinyin_syllables.h); appends them to `syllables`. Fails on an
// invalid syllable (naming it), on an empty list and on more than
// kMaxSyllablesPerGroup syllables.
[[nodiscard]] absl::Status SplitSyllables(std::string_view list,
                                          std::vector<std::string>* syllables);

// The most warnings one text gives about [[ read as text.
inline constexpr std::size_t kMaxPinyinWarnings = 3;

// Appends the parts of `text` to `parts`: the text outside [[…]] as kText
// parts (those of white space alone are dropped), each [[…]] of valid
// syllables as one kPinyin part with an empty `text`. A "[[" that begins no
// such mark (unclosed, empty, not pinyin: "[[ -f x ]]", "a[[0]]",
// "[[北京]]") is text, and so is a "]]" without its "[["; with `warnings`,
// the first few such "[[" are named there with the reason. Fails, naming
// the byte offset of the "[[", on more than kMaxSyllablesPerGroup
// syllables in one mark, and on more than kMaxSyllablesPerText in all; on
// failure `parts` is left as it was.
[[nodiscard]] absl::Status SplitInlinePinyin(
    std::string_view text, std::vector<SpeechPart>* parts,
    std::vector<std::string>* warnings = nullptr);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_PINYIN_READER_H_
