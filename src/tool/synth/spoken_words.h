// The words of a front-end sentence trace as the timings builder reads
// them (SpokenWord, timings.h): each word's phone ids cut into syllables,
// with their pinyin and the characters each reads.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_SPOKEN_WORDS_H_
#define TOLVAREN_TTS_TOOL_SYNTH_SPOKEN_WORDS_H_

#include <string>
#include <vector>

#include "absl/status/statusor.h"
#include "speech_neural_network/front_interface.h"
#include "tool/phone_table.h"
#include "tool/synth/timings.h"

namespace tolvaren {

// The words of `trace` in the order of its phone ids: `symbols` are the
// ids' phone symbols (IdNames::Symbols of the trace), `table` spells each
// syllable. A syllable ends at a final (a symbol ending in its tone
// digit); a word's characters are shared out over its syllables in order,
// as evenly as they go (哪儿, one syllable, reads both). Pauses ("sp") are
// pause words; quotation marks, which give no ids, are left out.
// FailedPrecondition when the trace's per-word phone counts do not cover
// its ids or the symbols are not one per id.
[[nodiscard]] absl::StatusOr<std::vector<SpokenWord>> SpokenWordsOf(
    const speechnn::SentenceTrace& trace,
    const std::vector<std::string>& symbols, const PhoneTable& table);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_SPOKEN_WORDS_H_
