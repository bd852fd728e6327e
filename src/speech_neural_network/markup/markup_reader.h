// The markup subset a request may be written in, read into speech parts:
//   <speak>                 the root, required
//   <break time="300ms"/>   silence; or strength="none|x-weak|weak|medium|
//                           strong|x-strong"; a bare <break/> is medium
//   <prosody rate="…">      the rate of what it holds; nested ones multiply
//   <say-as interpret-as="characters|digits|telephone|cardinal|date">
//   <phoneme alphabet="pinyin" ph="ni3 hao3">你好</phoneme>
//   <sub alias="世界卫生组织">WHO</sub>
// Parsing is expat's, with no document type declaration read (so no entity
// of the document's own, and nothing loaded from outside it).

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_MARKUP_READER_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_MARKUP_READER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/markup/speech_parts.h"

namespace speechnn {

// Bounds on a document, each an error when passed.
inline constexpr std::size_t kMaxMarkupBytes = std::size_t{4} << 20;
inline constexpr int kMaxMarkupDepth = 100;
inline constexpr std::size_t kMaxAttributeBytes = 4096;
inline constexpr std::size_t kMaxMarkupParts = 10000;
// Warnings kept; the rest are counted in one last warning.
inline constexpr std::size_t kMaxMarkupWarnings = 50;

// Appends the parts of `document` to `parts` and what was read but not
// honoured to `warnings`: an unknown element (skipped, its text spoken), an
// unknown say-as interpretation or a content it cannot read (spoken as
// written), a phoneme of another alphabet (its text spoken), an unreadable
// rate (ignored), a rate outside 0.25-4 (clamped), a break over 10 s (cut to
// 10 s). Adjacent text parts of the same rate are one part; text parts of
// white space alone are dropped.
// Fails, naming the line and column, on malformed XML, another root than
// <speak>, a document type declaration, a negative or unreadable break time,
// an invalid pinyin syllable, and the bounds above (and the syllable bounds
// of pinyin_reader.h); `parts` and `warnings` are then left as they were.
[[nodiscard]] absl::Status ReadMarkup(std::string_view document,
                                      std::vector<SpeechPart>* parts,
                                      std::vector<std::string>* warnings);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_MARKUP_READER_H_
