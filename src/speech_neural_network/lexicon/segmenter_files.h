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

// The segmenter's resource files, as the front configuration names them.
struct SegmenterFiles {
  std::string dict;
  std::string hmm;
  std::string user_dict;  // may be empty; may list files split by '|' or ';'
  std::string idf;
  std::string stop_word;
};

// The files a user dictionary setting names: split at every '|' or ';', as
// the library accepts them (an empty name stays, to be refused).
std::vector<std::string> SegmenterUserDictionaryFiles(const std::string& paths);

// Every path given (none empty).
[[nodiscard]] absl::Status CheckSegmenterPathsGiven(
    const SegmenterFiles& files);

// Every file but the main dictionary (checked as it is opened) for what
// its reader would refuse: the HMM model and each user dictionary parsed,
// the two files only named (IDF, stop words) opened within the table bound.
[[nodiscard]] absl::Status CheckSegmenterFiles(const SegmenterFiles& files);

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
