// When each word and syllable of synthesised audio is spoken.
//
// Positions are sample indices into the audio the synthesis produced (at
// its sample rate), half-open: a word spans [start_sample, end_sample).
// The entries of one synthesis are in order and tile the audio: each
// begins where the one before it ends, the first at sample 0, the last
// ending at the audio's length. Silence (a pause mark, a requested break,
// the gap between two sentences) is an entry of its own with `pause` set;
// no two pauses are adjacent.

#ifndef TOLVAREN_TTS_TIMINGS_H_
#define TOLVAREN_TTS_TIMINGS_H_

#include <cstddef>
#include <string>
#include <vector>

namespace tolvaren_tts {

// One syllable of a word: the characters it reads (UTF-8, as spoken after
// number reading: 2023 reads 二零二三) and its numbered-tone pinyin as
// spoken, tone changes applied ("ni2").
struct SyllableTiming {
  std::string text;
  std::string pinyin;
  std::size_t start_sample = 0;
  std::size_t end_sample = 0;
};

// One word as the segmenter found it, or a pause. A word's syllables tile
// it; its `pinyin` is theirs joined by spaces ("ni2 hao3"). A pause has
// no syllables, and its text is empty or the marks it stands for.
struct WordTiming {
  std::string text;
  std::string pinyin;
  std::size_t start_sample = 0;
  std::size_t end_sample = 0;
  std::vector<SyllableTiming> syllables;
  bool pause = false;
};

}  // namespace tolvaren_tts

#endif  // TOLVAREN_TTS_TIMINGS_H_
