// The text front end's chain for one text, shared by the synthesis driver
// (Tool::frontProcess) and the inspection tool, so both run the same code.

#ifndef TOLVAREN_TTS_TOOL_FRONT_PIPELINE_H_
#define TOLVAREN_TTS_TOOL_FRONT_PIPELINE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "speech_neural_network/front_interface.h"

namespace tolvaren {

// Characters that make a whole text refused (they could form a path).
inline constexpr char kRefusedCharacters[] = "/\\<>.";

// Appends the sentences of `text` to `sentences`: each sentence ends with
// (and includes) one of ：，；。？！,;?! ; a remainder without a mark is the
// last sentence. No sentence is empty.
void SplitSentences(const std::wstring& text,
                    std::vector<std::wstring>& sentences);

enum class TextCheck { kAccepted, kRefused, kInvalidUtf8 };

// Whether a text may enter the front end. For invalid UTF-8, `invalid_offset`
// receives the offset of the first bad byte.
TextCheck CheckText(const std::string& text, std::size_t& invalid_offset);

// What the chain produced for one sentence, for inspection.
struct SentenceTrace {
  std::string normalized;        // after the rewrite rules, UTF-8
  speechnn::WordTagList tagged;  // segmenter output, made speakable
  speechnn::WordTagList merged;  // after the merges before sandhi
  std::vector<int> phone_ids;    // this sentence's ids
  std::vector<int> tone_ids;     // separate-tone mode only
};

// Prepares one sentence in place and returns it as UTF-8: compatibility forms
// folded (full-width ２０２３ reads like 2023), traditional characters made
// simplified, digits between Latin letters read one by one, the
// normalisation rules, then silent symbols (emoji ...) removed. The refusal
// check has seen the original text before.
std::string NormalizeToUtf8(speechnn::FrontEngineInterface& front,
                            std::wstring& sentence);

// Runs the chain over the sentences of an accepted text, appending ids to
// `phone_ids`, stopping at the first failing sentence (the front end has
// written its reasons to standard error). With `traces`, one entry per
// sentence reached is appended. `failed_sentence` receives the UTF-8 text of
// the failing sentence.
bool RunFrontEnd(speechnn::FrontEngineInterface& front,
                 const std::wstring& text, std::vector<int>& phone_ids,
                 std::vector<SentenceTrace>* traces,
                 std::string* failed_sentence);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_FRONT_PIPELINE_H_
