// Third-tone sandhi as a cycle: inside each unit first, then across the
// boundaries between units from right to left, so that 我 + 可以 reads
// wo3 ke2 yi3 while 有 + 我 + 小 reads you2 wo2 xiao3.
//
// Finals are rewritten in place: a third tone (digit 3) that stands before a
// third tone becomes a rising tone (digit 2). A syllable made neutral (5)
// stays neutral, but where it is a third tone underneath it still counts as
// one for the syllable before it (手里 shou2 li5, 小姐 xiao2 jie5).

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_TONE_CYCLE_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_TONE_CYCLE_H_

#include <cstddef>
#include <string>
#include <vector>

namespace speechnn {

// Per syllable: neutral now, but a third tone underneath. Empty or shorter
// than the finals means "no such syllable" for the positions it lacks.
using HiddenThirds = std::vector<bool>;

// The neutral syllables of a word that a tone rule made neutral although
// the word's reading (`underlying`) gives them a third tone: 手里, 想想. A
// suffix 子 and the repeated syllable of a reduplicated noun do not count
// (椅子 and 姐姐 keep their half-third tone), nor do syllables that the
// dictionary itself reads neutral (耳朵).
HiddenThirds FindHiddenThirds(const std::wstring& chars, const std::string& tag,
                              const std::vector<std::string>& underlying,
                              const std::vector<std::string>& surface);

// The cycle inside one word whose first `split` syllables form one part and
// the rest the other (展览|馆, 纸|老虎). Two syllables form one unit; four are
// two halves; three follow `split` (1 or 2; any other value makes each
// syllable a unit of its own, as for words the merges joined from single
// syllables); other lengths are left alone.
void ThirdToneCycleInWord(std::vector<std::string>& finals,
                          const HiddenThirds& hidden, std::size_t split);

// One word of a phrase, after its own tones are settled.
struct CycleWord {
  std::vector<std::string>* finals;  // rewritten in place
  // The tone digit of a one-syllable word before any rule changed it: such a
  // word counts by its own tone, not by what the cycle made of it.
  char underlying_tone = '\0';
};

// The cycle across the boundaries of one pause-delimited phrase, right to
// left: a word ending in tone 3 rises when the next word starts with one (by
// its surface tone; by its underlying tone when it has one syllable).
void ThirdToneCycleAcrossWords(const std::vector<CycleWord>& phrase);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_PROSODY_TONE_CYCLE_H_
