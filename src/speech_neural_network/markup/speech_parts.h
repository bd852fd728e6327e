// A request as its readers (the markup reader, the inline pinyin reader)
// hand it to synthesis: an ordered list of parts, each spoken text, spoken
// syllables or silence.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_SPEECH_PARTS_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_SPEECH_PARTS_H_

#include <string>
#include <vector>

namespace speechnn {

struct SpeechPart {
  enum class Kind {
    kText,    // `text` goes through the front end as any plain text
    kPinyin,  // `syllables` are spoken as given: those tones, no sandhi
    kBreak,   // `break_ms` of silence
  };
  Kind kind = Kind::kText;
  // kText: UTF-8, already rewritten by the markup (an alias, a say-as
  // reading). kPinyin: the text the syllables stand for (the characters a
  // <phoneme> element wraps), for timings and logs; may be empty.
  std::string text;
  // kPinyin: numbered-tone syllables, checked by the reader ("ni3", "lv4",
  // "er2", tone 1-5).
  std::vector<std::string> syllables;
  // kBreak: milliseconds of silence, already capped by the reader.
  int break_ms = 0;
  // kText and kPinyin: the speaking-rate factor the markup asked for
  // (<prosody rate>, the product of the nested ones, not yet kept within
  // the rates synthesis takes), multiplying the caller's speed; 1: as asked.
  double rate = 1.0;
  // Where the markup gave the part ("line 3, column 5"), for warnings;
  // empty for plain text.
  std::string where;
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_MARKUP_SPEECH_PARTS_H_
