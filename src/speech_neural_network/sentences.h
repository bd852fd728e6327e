// What comes before the per-sentence chain: the check that lets a text in,
// and the split into sentences.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_SENTENCES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_SENTENCES_H_

#include <cstddef>
#include <string>
#include <vector>

namespace speechnn {

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

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_SENTENCES_H_
