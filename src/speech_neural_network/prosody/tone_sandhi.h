// Tone sandhi: the tones of 不 and 一, neutral tones and third-tone sandhi,
// each rewriting the tone digits (last byte) of a word's finals in place.
//
// Every rule indexes the finals by character position, so each step first
// checks that the word has exactly one final per character and fails
// otherwise; no index below can then leave the list.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_TONE_SANDHI_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_TONE_SANDHI_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/lexicon/word_lists.h"
#include "speech_neural_network/prosody/tone_cycle.h"

namespace speechnn {

// A word as UTF-8 and as the code points the rules index, decoded once by
// the caller, with the words on either side of it in its phrase (empty at a
// pause or an end of the sentence): the 一 rule reads the digits around it.
struct SandhiWord {
  const std::string& text;
  const std::wstring& chars;
  std::wstring_view previous = {};
  std::wstring_view next = {};
};

// Finals with each syllable's tone before any rule of the word changed it,
// neutral syllables of the reading included (个 in 一个 is tone 4): the tone
// the syllable after 不 or 一 is read by. Null: the finals themselves.
using CitationFinals = const std::vector<std::string>*;

// A word made only of digits read one by one (二零二三, 幺幺零): 一 keeps
// its tone there; third-tone sandhi applies as to any syllables (九五
// jiu2 wu3).
bool IsDigitString(std::wstring_view chars);

// A word cut in two parts that spell it (the segmenter's search cut);
// nothing when it cannot be cut.
using WordSplitter =
    std::function<std::optional<std::pair<std::string, std::string>>(
        const std::string& word)>;

[[nodiscard]] absl::Status BuSandhi(const SandhiWord& word,
                                    std::vector<std::string>& finals,
                                    CitationFinals citation = nullptr);
[[nodiscard]] absl::Status YiSandhi(const SandhiWord& word,
                                    std::vector<std::string>& finals,
                                    CitationFinals citation = nullptr);
// `neutral_words`: the lexical neutral-tone words.
[[nodiscard]] absl::Status NeuralSandhi(
    const SandhiWord& word, const std::string& tag,
    std::vector<std::string>& finals, const WordSplitter& split_word,
    const WordList& neutral_words = NeutralToneWords());
// Third-tone sandhi inside the word (the cycle of tone_cycle.h); `hidden`
// marks the neutral syllables that are third tones underneath.
[[nodiscard]] absl::Status ThreeSandhi(const SandhiWord& word,
                                       std::vector<std::string>& finals,
                                       const WordSplitter& split_word,
                                       const HiddenThirds& hidden = {});

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_TONE_SANDHI_H_
