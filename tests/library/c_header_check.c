/* The C interface's header as a C99 compiler sees it: it compiles, alone,
 * without warnings; the build fails otherwise. */

#include "tolvaren_tts/tolvaren_tts.h"

int tolvaren_tts_header_check(void);

int tolvaren_tts_header_check(void) {
  tolvaren_tts_config config;
  tolvaren_tts_options options;
  tolvaren_tts_chunk_callback callback = 0;
  tolvaren_tts_word_timing word;
  tolvaren_tts_syllable_timing syllable;
  tolvaren_tts_config_init(&config);
  tolvaren_tts_options_init(&options);
  tolvaren_tts_word_timing_init(&word);
  tolvaren_tts_syllable_timing_init(&syllable);
  return callback == 0 && config.struct_size > 0 && options.speed == 0 &&
         options.timings == 0 && word.text == 0 && syllable.pinyin == 0;
}
