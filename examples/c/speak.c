/* speak: libtolvaren_tts from C. Speaks TEXT into a 16-bit WAV file and
 * prints its pinyin and length.
 *
 *   speak TEXT OUT.wav
 *
 *   cc -std=c99 speak.c -o speak $(pkg-config --cflags --libs tolvaren_tts)
 */

#include <stdio.h>

#include "tolvaren_tts/tolvaren_tts.h"

static int fail(const char* what) {
  fprintf(stderr, "speak: %s: %s\n", what, tolvaren_tts_last_error());
  return 1;
}

int main(int argc, char** argv) {
  tolvaren_tts_config config;
  tolvaren_tts_synthesizer* tts = NULL;
  float* samples = NULL;
  size_t count = 0;
  char* pinyin = NULL;
  int rate = 0;
  int status = 0;

  if (argc != 3) {
    fprintf(stderr, "usage: speak TEXT OUT.wav\n");
    return 2;
  }
  tolvaren_tts_config_init(&config); /* the installed tool.conf */
  if (tolvaren_tts_create(&config, &tts) != TOLVAREN_TTS_OK) {
    return fail("cannot start");
  }
  rate = tolvaren_tts_sample_rate(tts);
  if (tolvaren_tts_pinyin(tts, argv[1], &pinyin) != TOLVAREN_TTS_OK ||
      tolvaren_tts_synthesize(tts, argv[1], NULL, &samples, &count) !=
          TOLVAREN_TTS_OK ||
      tolvaren_tts_write_wav(argv[2], samples, count, rate,
                             TOLVAREN_TTS_WAV_PCM16) != TOLVAREN_TTS_OK) {
    status = fail(argv[1]);
  } else {
    printf("%s\n%zu samples at %d Hz (%.2f s) in %s\n", pinyin, count, rate,
           (double)count / rate, argv[2]);
  }
  tolvaren_tts_free_string(pinyin);
  tolvaren_tts_free_samples(samples);
  tolvaren_tts_destroy(tts);
  return status;
}
