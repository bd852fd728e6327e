// Checks of the segmenter's resource files before the segmenter reads them.
// cppjieba ends the whole process on a file it cannot parse (a dictionary
// line without three fields, an empty dictionary, a short or garbled HMM
// model), so everything its loaders would refuse is refused here first, with
// the file and the line, as an error the front end can report.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_FILES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_FILES_H_

#include <string>
#include <string_view>
#include <vector>

#include "absl/status/status.h"

namespace speechnn {

// Fields of `line` the way the segmenter's loaders split them: at every
// single separator character, so two blanks in a row make an empty field,
// and a separator that ends the line makes none. `fields` is cleared first
// (a reused vector keeps its capacity: the main dictionary has hundreds of
// thousands of lines).
void SplitLikeSegmenter(std::string_view line, char separator,
                        std::vector<std::string_view>& fields);

// The main dictionary: at least one line, every line "word frequency tag"
// with a well-formed UTF-8 word and a frequency above zero (the weights are
// logarithms of frequency shares).
[[nodiscard]] absl::Status CheckSegmenterDictionary(const std::string& path);

// A user dictionary: empty lines skipped, every other line "word",
// "word tag" or "word frequency tag" with a well-formed UTF-8 word.
[[nodiscard]] absl::Status CheckSegmenterUserDictionary(
    const std::string& path);

// The HMM model: after blank and '#' lines are skipped, a line of 4 start
// probabilities, 4 lines of 4 transition probabilities, then 4 emission
// lines of comma-separated "character:probability" pairs.
[[nodiscard]] absl::Status CheckSegmenterHmmModel(const std::string& path);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_SEGMENTER_FILES_H_
