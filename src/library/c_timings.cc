// The C interface's timings: a result object the library owns, read entry
// by entry into the caller's structs, whose strings point into it.

#include "library/c_timings.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "library/c_status.h"

namespace tolvaren_tts::c_api {
namespace {

// Copies `filled` into the caller's `out`, as far as the caller's
// struct_size reaches (a program built against an older header has a
// shorter struct), keeping the caller's struct_size.
template <typename Struct>
void CopyFields(const Struct& filled, Struct* out) {
  const std::size_t size = std::min(out->struct_size, sizeof(Struct));
  const std::size_t skip = sizeof(out->struct_size);
  std::memcpy(reinterpret_cast<char*>(out) + skip,
              reinterpret_cast<const char*>(&filled) + skip, size - skip);
}

// The checks both readers start with; `fits` is whether the caller's
// struct reaches the last field the first release had.
tolvaren_tts_status CheckRead(const tolvaren_tts_timings* timings,
                              const void* out, const char* out_name,
                              bool fits) {
  if (timings == nullptr) return NullArgument("timings");
  if (out == nullptr) return NullArgument(out_name);
  if (!fits) {
    LastError() = std::string(out_name) +
                  "->struct_size is too small: call its _init first";
    return TOLVAREN_TTS_INVALID_ARGUMENT;
  }
  return TOLVAREN_TTS_OK;
}

tolvaren_tts_status OutOfRange(const char* what, std::size_t index,
                               std::size_t count) {
  LastError() = std::string(what) + " " + std::to_string(index) +
                " is out of range: there are " + std::to_string(count);
  return TOLVAREN_TTS_INVALID_ARGUMENT;
}

}  // namespace

TimingsRequest::TimingsRequest(const tolvaren_tts_options* options) {
  if (options == nullptr ||
      !TOLVAREN_TTS_HOLDS(tolvaren_tts_options, *options, timings)) {
    return;
  }
  out_ = options->timings;
  if (out_ != nullptr) *out_ = nullptr;
}

tolvaren_tts_status TimingsRequest::HandOver() {
  if (out_ == nullptr) return TOLVAREN_TTS_OK;
  auto* made = new (std::nothrow) tolvaren_tts_timings;
  if (made == nullptr) return Fail(TOLVAREN_TTS_OUT_OF_MEMORY, "out of memory");
  made->words = std::move(words_);
  *out_ = made;
  return TOLVAREN_TTS_OK;
}

}  // namespace tolvaren_tts::c_api

using tolvaren_tts::c_api::CheckRead;
using tolvaren_tts::c_api::CopyFields;
using tolvaren_tts::c_api::Guarded;
using tolvaren_tts::c_api::LastError;
using tolvaren_tts::c_api::NullArgument;
using tolvaren_tts::c_api::OutOfRange;
using tolvaren_tts::c_api::ZeroWithSize;

extern "C" {

void tolvaren_tts_word_timing_init(tolvaren_tts_word_timing* word) {
  ZeroWithSize(word);
}

void tolvaren_tts_syllable_timing_init(tolvaren_tts_syllable_timing* syllable) {
  ZeroWithSize(syllable);
}

size_t tolvaren_tts_timings_count(const tolvaren_tts_timings* timings) {
  if (timings == nullptr) {
    NullArgument("timings");
    return 0;
  }
  LastError().clear();
  return timings->words.size();
}

tolvaren_tts_status tolvaren_tts_timings_word(
    const tolvaren_tts_timings* timings, size_t index,
    tolvaren_tts_word_timing* word) {
  const bool fits =
      word != nullptr &&
      TOLVAREN_TTS_HOLDS(tolvaren_tts_word_timing, *word, syllable_count);
  if (tolvaren_tts_status s =
          Guarded([&] { return CheckRead(timings, word, "word", fits); });
      s != 0) {
    return s;
  }
  if (index >= timings->words.size()) {
    return Guarded(
        [&] { return OutOfRange("entry", index, timings->words.size()); });
  }
  const tolvaren_tts::WordTiming& in = timings->words[index];
  tolvaren_tts_word_timing filled;
  tolvaren_tts_word_timing_init(&filled);
  filled.text = in.text.c_str();
  filled.pinyin = in.pinyin.c_str();
  filled.start_sample = in.start_sample;
  filled.end_sample = in.end_sample;
  filled.pause = in.pause ? 1 : 0;
  filled.syllable_count = in.syllables.size();
  CopyFields(filled, word);
  LastError().clear();
  return TOLVAREN_TTS_OK;
}

tolvaren_tts_status tolvaren_tts_timings_syllable(
    const tolvaren_tts_timings* timings, size_t word_index,
    size_t syllable_index, tolvaren_tts_syllable_timing* syllable) {
  const bool fits =
      syllable != nullptr &&
      TOLVAREN_TTS_HOLDS(tolvaren_tts_syllable_timing, *syllable, end_sample);
  if (tolvaren_tts_status s = Guarded(
          [&] { return CheckRead(timings, syllable, "syllable", fits); });
      s != 0) {
    return s;
  }
  if (word_index >= timings->words.size()) {
    return Guarded(
        [&] { return OutOfRange("entry", word_index, timings->words.size()); });
  }
  const auto& syllables = timings->words[word_index].syllables;
  if (syllable_index >= syllables.size()) {
    return Guarded([&] {
      return OutOfRange("syllable", syllable_index, syllables.size());
    });
  }
  const tolvaren_tts::SyllableTiming& in = syllables[syllable_index];
  tolvaren_tts_syllable_timing filled;
  tolvaren_tts_syllable_timing_init(&filled);
  filled.text = in.text.c_str();
  filled.pinyin = in.pinyin.c_str();
  filled.start_sample = in.start_sample;
  filled.end_sample = in.end_sample;
  CopyFields(filled, syllable);
  LastError().clear();
  return TOLVAREN_TTS_OK;
}

void tolvaren_tts_free_timings(tolvaren_tts_timings* timings) {
  delete timings;
}

}  // extern "C"
