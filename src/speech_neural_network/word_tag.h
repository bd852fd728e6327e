// The unit that flows between the front end's steps after segmentation.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_WORD_TAG_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_WORD_TAG_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace speechnn {

// (word, part-of-speech tag), both UTF-8, in text order.
using WordTag = std::pair<std::string, std::string>;
using WordTagList = std::vector<WordTag>;
using StringMap = std::map<std::string, std::string>;

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_WORD_TAG_H_
