// Erhua: a final 儿 merged into the syllable before it as r colouring.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_ERHUA_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_ERHUA_H_

#include <string>
#include <vector>

#include "speech_neural_network/prosody/tone_sandhi.h"

namespace speechnn {

// Merges the 儿 (tone 2 or 5) that ends a word of two or more characters
// into the final before it (hua1 er5 -> huar1), unless the word or its tag
// keeps 儿 a syllable of its own. Lists that do not hold one initial and one
// final per character are left alone.
void MergeErhua(const SandhiWord& word, const std::string& tag,
                std::vector<std::string>& word_initials,
                std::vector<std::string>& word_finals);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_ERHUA_H_
