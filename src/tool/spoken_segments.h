// A request (plain text with inline pinyin, or a markup document) made into
// the engine's segments: each text part through the front end, each pinyin
// part as its syllables' ids, each break as the pause after the segment
// before it (the voice's own pause there counted in it), each part's rate
// folded into its duration scale.

#ifndef TOLVAREN_TTS_TOOL_SPOKEN_SEGMENTS_H_
#define TOLVAREN_TTS_TOOL_SPOKEN_SEGMENTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/markup/speech_parts.h"
#include "tool/phone_table.h"
#include "tool/synth/engine.h"
#include "tool/synth/timings.h"

namespace tolvaren {

class Tool;

struct SpokenPlan {
  std::vector<Segment> segments;
  // Silence before the first segment: a request that opens with a break.
  int64_t leading_silence = 0;
  // What was read but not honoured, one line each, for the log.
  std::vector<std::string> warnings;
  // When words were asked for: the words of every segment in order, pauses
  // collapsed as the ids were (for the timings).
  std::vector<SpokenWord> words;
};

// The parts of `text`: a markup document when `markup`, otherwise plain text
// in which each [[…]] is pinyin. InvalidArgument, with the reader's
// reason, when it cannot be read.
[[nodiscard]] absl::Status ReadSpokenParts(
    std::string_view text, bool markup,
    std::vector<speechnn::SpeechPart>* parts,
    std::vector<std::string>* warnings);

// The segments of `parts` spoken at `speed` (the caller's, 0.25 to 4) by
// `tool`'s voice at `sample_rate`. A part's rate multiplies the speed and
// the product is kept within 0.25 to 4 (the first few parts kept so are
// named in a warning with their place, the rest counted); a voice that
// takes no duration scale ignores any rate but 1, with one warning. Parts whose
// text gives no phone ids (marks alone) add no segment. InvalidArgument
// when the front end refuses a text or a syllable. With `words_table`, the
// plan's words are filled too (their pinyin spelled by the table).
[[nodiscard]] absl::Status PlanSpokenSegments(
    Tool& tool, const std::vector<speechnn::SpeechPart>& parts, double speed,
    int sample_rate, SpokenPlan* plan, const PhoneTable* words_table = nullptr);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SPOKEN_SEGMENTS_H_
