// Marks the library's public symbols; everything else in libtolvaren_tts
// stays hidden, so the library exports its API and nothing of its insides.

#ifndef TOLVAREN_TTS_EXPORT_H_
#define TOLVAREN_TTS_EXPORT_H_

#define TOLVAREN_TTS_EXPORT __attribute__((visibility("default")))

#endif  // TOLVAREN_TTS_EXPORT_H_
