/* libtolvaren_tts's C interface: Mandarin Chinese text to speech for C and
 * for any language that calls C (Python's ctypes, Rust, Go, C#).
 *
 *   tolvaren_tts_config config;
 *   tolvaren_tts_synthesizer* tts = NULL;
 *   float* samples = NULL;
 *   size_t count = 0;
 *   tolvaren_tts_config_init(&config);
 *   if (tolvaren_tts_create(&config, &tts) != TOLVAREN_TTS_OK ||
 *       tolvaren_tts_synthesize(tts, "你好，世界！", NULL, &samples,
 *                               &count) != TOLVAREN_TTS_OK)
 *     fprintf(stderr, "%s\n", tolvaren_tts_last_error());
 *   tolvaren_tts_free_samples(samples);
 *   tolvaren_tts_destroy(tts);
 *
 * The C++ Synthesizer (synthesizer.h) behind an opaque handle. Every call
 * that can fail returns a status (TOLVAREN_TTS_OK or an error code), and
 * then tolvaren_tts_last_error() says why, for the calling thread; a NULL
 * argument where one is needed is an error (TOLVAREN_TTS_INVALID_ARGUMENT),
 * never a crash. Nothing throws, nothing ends the process. Any number of
 * threads may call one handle: its calls run one at a time, while separate
 * handles speak in parallel. tolvaren_tts_destroy waits for the calls
 * running on other threads; from inside the handle's own callback it is
 * refused (TOLVAREN_TTS_IN_CALLBACK), as is any call on the handle there.
 * Texts are UTF-8 and end at their NUL. Memory the library hands
 * out is freed with the matching tolvaren_tts_free_* call.
 *
 * Structs start with struct_size, set by their _init function: a later
 * release adds fields only at the end, and a program built against this
 * header keeps working with it. Zero in a field means its default. */

#ifndef TOLVAREN_TTS_TOLVAREN_TTS_H_
#define TOLVAREN_TTS_TOLVAREN_TTS_H_

#include <stddef.h>

#include "tolvaren_tts/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses: fixed numbers, never reused. */
typedef int tolvaren_tts_status;
enum {
  TOLVAREN_TTS_OK = 0,
  TOLVAREN_TTS_INVALID_ARGUMENT = 1, /* a bad or NULL argument, a bad text */
  TOLVAREN_TTS_NOT_FOUND = 2,        /* a configuration, voice or model file */
  TOLVAREN_TTS_FAILED_PRECONDITION = 3, /* models and front end disagree */
  TOLVAREN_TTS_UNIMPLEMENTED = 4,       /* asked of a voice that cannot */
  TOLVAREN_TTS_RUNTIME_ERROR = 5,       /* ONNX Runtime failed */
  TOLVAREN_TTS_CANCELLED = 6,           /* the callback asked to stop */
  TOLVAREN_TTS_INTERNAL = 7,            /* anything else; the text says */
  TOLVAREN_TTS_OUT_OF_MEMORY = 8,
  /* a call on a handle, or its destruction, from inside that handle's own
   * chunk or log callback, while the handle is busy with the call that made
   * it; make it after that call has returned */
  TOLVAREN_TTS_IN_CALLBACK = 9
};

/* The status's name ("TOLVAREN_TTS_NOT_FOUND"); "unknown status" for a
 * number that is none. */
TOLVAREN_TTS_EXPORT const char* tolvaren_tts_status_name(
    tolvaren_tts_status status);

/* Why the calling thread's last failing call failed; "" after a call that
 * returned TOLVAREN_TTS_OK. Valid until the thread's next call into the
 * library. */
TOLVAREN_TTS_EXPORT const char* tolvaren_tts_last_error(void);

/* The library's version, "MAJOR.MINOR.PATCH". */
TOLVAREN_TTS_EXPORT const char* tolvaren_tts_version(void);

typedef struct tolvaren_tts_config {
  size_t struct_size; /* sizeof(tolvaren_tts_config) */
  /* The tool configuration (tool.conf). NULL: $TOLVAREN_TTS_CONF when set,
   * otherwise the installed package's tool.conf. */
  const char* conf_path;
  /* Explicit paths instead of a configuration file: all three or none. */
  const char* front_conf_path;
  const char* acoustic_model_path;
  const char* vocoder_model_path;
  /* The folder <models>/<voice>/ beside the configured acoustic model.
   * NULL or "default": the configured models themselves. */
  const char* voice;
  /* The model sessions' threads, 1 to 1024; 0: as the configuration file
   * says, otherwise one per core this process may run on. */
  int threads;
} tolvaren_tts_config;

/* Every field zero, struct_size set. */
TOLVAREN_TTS_EXPORT void tolvaren_tts_config_init(tolvaren_tts_config* config);

/* When each word of a synthesis is spoken: see tolvaren_tts_options.timings
 * and tolvaren_tts_timings_word. */
typedef struct tolvaren_tts_timings tolvaren_tts_timings;

typedef struct tolvaren_tts_options {
  size_t struct_size; /* sizeof(tolvaren_tts_options) */
  /* Speaking rate, 0.25 to 4 (2 is twice as fast); 0: 1. Anything but 1
   * needs a voice that takes a speed (tolvaren_tts_supports_speed). */
  double speed;
  /* Seconds of silence after the text, 0 to 60. */
  double sentence_silence;
  /* Non-zero: the text is a <speak> markup document (see docs/markup.md);
   * plain text reads [[ni3 hao3]] as those syllables either way. */
  int markup;
  /* Loudness, above 0 up to 8, applied before the peak limiter (a loud
   * volume flattens peaks, never clips); 0: 1. */
  double volume;
  /* Non-NULL: once the synthesis has ended, *timings receives when each
   * word and syllable was spoken (tolvaren_tts_timings_word), to be freed
   * with tolvaren_tts_free_timings; NULL on failure. Empty (no words) for
   * a voice whose model gives no durations. */
  tolvaren_tts_timings** timings;
} tolvaren_tts_options;

/* Every field zero (the defaults), struct_size set. */
TOLVAREN_TTS_EXPORT void tolvaren_tts_options_init(
    tolvaren_tts_options* options);

typedef struct tolvaren_tts_synthesizer tolvaren_tts_synthesizer;

/* Loads the front end and the voice's models (about a second). On failure
 * *tts is NULL. */
TOLVAREN_TTS_EXPORT tolvaren_tts_status tolvaren_tts_create(
    const tolvaren_tts_config* config, tolvaren_tts_synthesizer** tts);

/* Frees the handle once the calls running on it on other threads have
 * returned; calls made after it has started are refused until it frees the
 * handle, and are the caller's mistake after that. From inside the handle's
 * own callback it is refused (TOLVAREN_TTS_IN_CALLBACK) and the handle
 * stays. NULL is allowed (TOLVAREN_TTS_OK). */
TOLVAREN_TTS_EXPORT tolvaren_tts_status
tolvaren_tts_destroy(tolvaren_tts_synthesizer* tts);

/* Speaks `text`: *samples (mono floats, always within [-0.99, 0.99]: a
 * look-ahead peak limiter, no clipping; a 20 ms fade where speech stops; at
 * tolvaren_tts_sample_rate) holds *count samples, to be freed with
 * tolvaren_tts_free_samples. `options` NULL: the defaults. An empty text
 * gives no samples (*samples NULL, *count 0); so does a failure. */
TOLVAREN_TTS_EXPORT tolvaren_tts_status tolvaren_tts_synthesize(
    tolvaren_tts_synthesizer* tts, const char* text,
    const tolvaren_tts_options* options, float** samples, size_t* count);

/* NULL is allowed. */
TOLVAREN_TTS_EXPORT void tolvaren_tts_free_samples(float* samples);

/* Receives each finished chunk of samples, in order; the samples are valid
 * during the call only. Non-zero goes on, zero stops the synthesis
 * (TOLVAREN_TTS_CANCELLED). */
typedef int (*tolvaren_tts_chunk_callback)(const float* samples, size_t count,
                                           void* user);

/* The same samples, chunk by chunk as they are made (the silence last), so
 * playback can start before the text is done. `user` goes to `callback`
 * as it is. */
TOLVAREN_TTS_EXPORT tolvaren_tts_status tolvaren_tts_synthesize_stream(
    tolvaren_tts_synthesizer* tts, const char* text,
    const tolvaren_tts_options* options, tolvaren_tts_chunk_callback callback,
    void* user);

/* The numbered-tone pinyin spoken for `text`, syllables separated by
 * blanks, as a NUL-terminated string to be freed with
 * tolvaren_tts_free_string. On failure *pinyin is NULL. */
TOLVAREN_TTS_EXPORT tolvaren_tts_status tolvaren_tts_pinyin(
    tolvaren_tts_synthesizer* tts, const char* text, char** pinyin);

/* NULL is allowed. */
TOLVAREN_TTS_EXPORT void tolvaren_tts_free_string(char* text);

/* The voice's sample rate; 0 (with the last error set) for NULL. */
TOLVAREN_TTS_EXPORT int tolvaren_tts_sample_rate(
    const tolvaren_tts_synthesizer* tts);

/* 1 when the voice takes a speed, 0 when not or for NULL. */
TOLVAREN_TTS_EXPORT int tolvaren_tts_supports_speed(
    const tolvaren_tts_synthesizer* tts);

/* One entry of the timings: a word as the segmenter found it, or a pause.
 * Positions are sample indices into the synthesis's audio, half-open
 * [start_sample, end_sample); the entries are in order and tile the audio,
 * from sample 0 to its length. The strings belong to the timings and stay
 * valid until tolvaren_tts_free_timings. */
typedef struct tolvaren_tts_word_timing {
  size_t struct_size; /* sizeof(tolvaren_tts_word_timing) */
  /* The text as spoken (UTF-8, after number reading: 2023 reads 二零二三);
   * for a pause "" or the marks it stands for. */
  const char* text;
  /* Numbered-tone pinyin as spoken, syllables joined by spaces, tone
   * changes applied ("ni2 hao3"); "" for a pause. */
  const char* pinyin;
  size_t start_sample;
  size_t end_sample;
  int pause;             /* 1 for silence: a mark, a break, the end */
  size_t syllable_count; /* 0 for a pause */
} tolvaren_tts_word_timing;

/* One syllable of a word; its strings as the word's. */
typedef struct tolvaren_tts_syllable_timing {
  size_t struct_size; /* sizeof(tolvaren_tts_syllable_timing) */
  const char* text;   /* the characters it reads */
  const char* pinyin; /* "ni2" */
  size_t start_sample;
  size_t end_sample;
} tolvaren_tts_syllable_timing;

/* Every field zero, struct_size set. */
TOLVAREN_TTS_EXPORT void tolvaren_tts_word_timing_init(
    tolvaren_tts_word_timing* word);
TOLVAREN_TTS_EXPORT void tolvaren_tts_syllable_timing_init(
    tolvaren_tts_syllable_timing* syllable);

/* How many entries; 0 (with the last error set) for NULL. */
TOLVAREN_TTS_EXPORT size_t
tolvaren_tts_timings_count(const tolvaren_tts_timings* timings);

/* Fills `word` (struct_size set by its _init) with entry `index`; an index
 * at or past the count is TOLVAREN_TTS_INVALID_ARGUMENT. */
TOLVAREN_TTS_EXPORT tolvaren_tts_status
tolvaren_tts_timings_word(const tolvaren_tts_timings* timings, size_t index,
                          tolvaren_tts_word_timing* word);

/* Fills `syllable` with syllable `syllable_index` of entry `word_index`. */
TOLVAREN_TTS_EXPORT tolvaren_tts_status tolvaren_tts_timings_syllable(
    const tolvaren_tts_timings* timings, size_t word_index,
    size_t syllable_index, tolvaren_tts_syllable_timing* syllable);

/* NULL is allowed. */
TOLVAREN_TTS_EXPORT void tolvaren_tts_free_timings(
    tolvaren_tts_timings* timings);

/* WAV sample formats. */
enum {
  TOLVAREN_TTS_WAV_PCM16 = 0,  /* samples beyond [-1, 1] are clipped */
  TOLVAREN_TTS_WAV_FLOAT32 = 1 /* extended fmt chunk and a fact chunk */
};

/* Writes `count` samples at `sample_rate` as a mono WAV file at `path`,
 * complete or not at all (a temporary file renamed into place); a link at
 * `path` is replaced, a folder, FIFO or device refused. `samples` may be
 * NULL only when `count` is 0. A `sample_rate` that is not positive, or
 * whose bytes per second overflow the header's 32 bits (above 1073741823
 * for TOLVAREN_TTS_WAV_FLOAT32), is TOLVAREN_TTS_INVALID_ARGUMENT. */
TOLVAREN_TTS_EXPORT tolvaren_tts_status
tolvaren_tts_write_wav(const char* path, const float* samples, size_t count,
                       int sample_rate, int format);

/* Log levels, lowest first. */
enum {
  TOLVAREN_TTS_LOG_DEBUG = 0,
  TOLVAREN_TTS_LOG_INFO = 1,    /* configuration read, models loaded */
  TOLVAREN_TTS_LOG_WARNING = 2, /* a resource done without, a likely typo */
  TOLVAREN_TTS_LOG_ERROR = 3    /* why something failed */
};

/* Receives one log record, NUL-terminated, valid during the call only;
 * from whichever thread made it, possibly from several threads at once. No
 * lock of the library is held: it may call the library (a call on the
 * handle whose call made the record is refused, see
 * TOLVAREN_TTS_IN_CALLBACK). */
typedef void (*tolvaren_tts_log_callback)(int level, const char* message,
                                          void* user);

/* Process-wide: records at or above `min_level` go to `callback` with
 * `user`. NULL: records go nowhere (the default; the library never writes
 * to standard output or standard error). */
TOLVAREN_TTS_EXPORT tolvaren_tts_status tolvaren_tts_set_log_callback(
    tolvaren_tts_log_callback callback, void* user, int min_level);

/* One voice a configuration offers. A later release adds facts through
 * new calls, never to this struct, so arrays of it keep their stride. */
typedef struct tolvaren_tts_voice_info {
  const char* name;    /* what tolvaren_tts_config.voice takes */
  int sample_rate;     /* samples per second */
  const char* licence; /* the models' licence line; "" when none */
  int supports_speed;  /* 1 when speed may be other than 1 */
} tolvaren_tts_voice_info;

/* The voices beside the configured models ("default" first; the config's
 * voice plays no part), as an array of *count entries to be freed with
 * tolvaren_tts_free_voices. No model is loaded. On failure *voices is
 * NULL and *count 0. */
TOLVAREN_TTS_EXPORT tolvaren_tts_status
tolvaren_tts_list_voices(const tolvaren_tts_config* config,
                         tolvaren_tts_voice_info** voices, size_t* count);

/* NULL is allowed. */
TOLVAREN_TTS_EXPORT void tolvaren_tts_free_voices(
    tolvaren_tts_voice_info* voices, size_t count);

#ifdef __cplusplus
}
#endif

#endif /* TOLVAREN_TTS_TOLVAREN_TTS_H_ */
