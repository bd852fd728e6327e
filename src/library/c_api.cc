// The C interface: each call turns its C arguments into the Synthesizer's,
// catches anything thrown, and reports a failure as a status and the
// calling thread's error text.

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "library/c_handle.h"
#include "library/c_status.h"
#include "library/c_timings.h"
#include "library/wav_samples.h"
#include "tolvaren_tts/log.h"
#include "tolvaren_tts/synthesizer.h"
#include "tolvaren_tts/tolvaren_tts.h"
#include "tolvaren_tts/voices.h"
#include "tolvaren_tts/wav.h"

namespace {

using tolvaren_tts::HandleCall;
using tolvaren_tts::InCall;
using tolvaren_tts::Status;
using tolvaren_tts::c_api::CopyOut;
using tolvaren_tts::c_api::Fail;
using tolvaren_tts::c_api::Guarded;
using tolvaren_tts::c_api::LastError;
using tolvaren_tts::c_api::NullArgument;
using tolvaren_tts::c_api::Report;
using tolvaren_tts::c_api::TimingsRequest;
using tolvaren_tts::c_api::ZeroWithSize;

tolvaren_tts_status Closing() {
  LastError() = "the synthesizer is being destroyed";
  return TOLVAREN_TTS_INVALID_ARGUMENT;
}

std::string OrEmpty(const char* text) { return text == nullptr ? "" : text; }

tolvaren_tts_status ToConfig(const tolvaren_tts_config& in,
                             tolvaren_tts::SynthesizerConfig& out) {
  if (!TOLVAREN_TTS_HOLDS(tolvaren_tts_config, in, voice)) {
    return Fail(TOLVAREN_TTS_INVALID_ARGUMENT,
                "config->struct_size is too small: call "
                "tolvaren_tts_config_init first");
  }
  out.conf_path = OrEmpty(in.conf_path);
  out.front_conf_path = OrEmpty(in.front_conf_path);
  out.acoustic_model_path = OrEmpty(in.acoustic_model_path);
  out.vocoder_model_path = OrEmpty(in.vocoder_model_path);
  out.voice = OrEmpty(in.voice);
  if (TOLVAREN_TTS_HOLDS(tolvaren_tts_config, in, threads)) {
    out.threads = in.threads;
  }
  return TOLVAREN_TTS_OK;
}

tolvaren_tts_status ToOptions(const tolvaren_tts_options* in,
                              tolvaren_tts::SynthesisOptions& out) {
  if (in == nullptr) return TOLVAREN_TTS_OK;
  if (!TOLVAREN_TTS_HOLDS(tolvaren_tts_options, *in, sentence_silence)) {
    return Fail(TOLVAREN_TTS_INVALID_ARGUMENT,
                "options->struct_size is too small: call "
                "tolvaren_tts_options_init first");
  }
  if (in->speed != 0) out.speed = in->speed;
  out.sentence_silence = in->sentence_silence;
  if (TOLVAREN_TTS_HOLDS(tolvaren_tts_options, *in, markup)) {
    out.markup = in->markup != 0;
  }
  if (TOLVAREN_TTS_HOLDS(tolvaren_tts_options, *in, volume) &&
      in->volume != 0) {
    out.volume = in->volume;
  }
  return TOLVAREN_TTS_OK;
}

// The checks every call on a handle and a text starts with.
tolvaren_tts_status CheckCall(const tolvaren_tts_synthesizer* tts,
                              const char* text) {
  if (tts == nullptr) return NullArgument("tts");
  if (text == nullptr) return NullArgument("text");
  return TOLVAREN_TTS_OK;
}

}  // namespace

extern "C" {

const char* tolvaren_tts_status_name(tolvaren_tts_status status) {
  static const char* const kNames[] = {"TOLVAREN_TTS_OK",
                                       "TOLVAREN_TTS_INVALID_ARGUMENT",
                                       "TOLVAREN_TTS_NOT_FOUND",
                                       "TOLVAREN_TTS_FAILED_PRECONDITION",
                                       "TOLVAREN_TTS_UNIMPLEMENTED",
                                       "TOLVAREN_TTS_RUNTIME_ERROR",
                                       "TOLVAREN_TTS_CANCELLED",
                                       "TOLVAREN_TTS_INTERNAL",
                                       "TOLVAREN_TTS_OUT_OF_MEMORY",
                                       "TOLVAREN_TTS_IN_CALLBACK"};
  const int count = static_cast<int>(sizeof(kNames) / sizeof(kNames[0]));
  return status >= 0 && status < count ? kNames[status] : "unknown status";
}

const char* tolvaren_tts_last_error(void) { return LastError().c_str(); }

const char* tolvaren_tts_version(void) { return TOLVAREN_TTS_VERSION; }

void tolvaren_tts_config_init(tolvaren_tts_config* config) {
  ZeroWithSize(config);
}

void tolvaren_tts_options_init(tolvaren_tts_options* options) {
  ZeroWithSize(options);
}

tolvaren_tts_status tolvaren_tts_create(const tolvaren_tts_config* config,
                                        tolvaren_tts_synthesizer** tts) {
  if (tts == nullptr) return NullArgument("tts");
  *tts = nullptr;
  if (config == nullptr) return NullArgument("config");
  return Guarded([&] {
    tolvaren_tts::SynthesizerConfig cpp_config;
    if (tolvaren_tts_status s = ToConfig(*config, cpp_config); s != 0) {
      return s;
    }
    auto handle = std::make_unique<tolvaren_tts_synthesizer>();
    const Status created =
        tolvaren_tts::Synthesizer::Create(cpp_config, &handle->synthesizer);
    if (created.ok()) *tts = handle.release();
    return Report(created);
  });
}

tolvaren_tts_status tolvaren_tts_destroy(tolvaren_tts_synthesizer* tts) {
  LastError().clear();
  if (tts == nullptr) return TOLVAREN_TTS_OK;
  if (InCall(tts)) {
    return Fail(TOLVAREN_TTS_IN_CALLBACK,
                "the synthesizer cannot be destroyed from inside its own "
                "callback: destroy it after the call has returned");
  }
  {
    std::unique_lock<std::mutex> lock(tts->mutex);
    if (tts->closing) return Closing();  // from a log record of its end
    tts->closing = true;
    tts->idle.wait(lock, [tts] { return tts->calls == 0; });
  }
  // The engine first, while the handle still refuses calls: its end logs.
  tts->synthesizer.reset();
  delete tts;
  return TOLVAREN_TTS_OK;
}

tolvaren_tts_status tolvaren_tts_synthesize(tolvaren_tts_synthesizer* tts,
                                            const char* text,
                                            const tolvaren_tts_options* options,
                                            float** samples, size_t* count) {
  if (samples == nullptr) return NullArgument("samples");
  if (count == nullptr) return NullArgument("count");
  *samples = nullptr;
  *count = 0;
  TimingsRequest timings(options);
  if (tolvaren_tts_status s = CheckCall(tts, text); s != 0) return s;
  const HandleCall call(tts);
  if (!call.entered()) return Closing();
  return Guarded([&] {
    tolvaren_tts::SynthesisOptions cpp_options;
    if (tolvaren_tts_status s = ToOptions(options, cpp_options); s != 0) {
      return s;
    }
    cpp_options.timings = timings.words();
    tolvaren_tts::Audio audio;
    const Status spoken =
        tts->synthesizer->Synthesize(text, cpp_options, &audio);
    if (!spoken.ok()) return Report(spoken);
    float* copy = nullptr;
    if (!audio.samples.empty()) {
      const std::size_t bytes = audio.samples.size() * sizeof(float);
      copy = static_cast<float*>(std::malloc(bytes));
      if (copy == nullptr)
        return Fail(TOLVAREN_TTS_OUT_OF_MEMORY, "out of memory");
      std::memcpy(copy, audio.samples.data(), bytes);
    }
    if (tolvaren_tts_status s = timings.HandOver(); s != 0) {
      std::free(copy);
      return s;
    }
    *samples = copy;
    *count = audio.samples.size();
    return Report(spoken);
  });
}

void tolvaren_tts_free_samples(float* samples) { std::free(samples); }

tolvaren_tts_status tolvaren_tts_synthesize_stream(
    tolvaren_tts_synthesizer* tts, const char* text,
    const tolvaren_tts_options* options, tolvaren_tts_chunk_callback callback,
    void* user) {
  TimingsRequest timings(options);
  if (tolvaren_tts_status s = CheckCall(tts, text); s != 0) return s;
  if (callback == nullptr) return NullArgument("callback");
  const HandleCall call(tts);
  if (!call.entered()) return Closing();
  return Guarded([&] {
    tolvaren_tts::SynthesisOptions cpp_options;
    if (tolvaren_tts_status s = ToOptions(options, cpp_options); s != 0) {
      return s;
    }
    cpp_options.timings = timings.words();
    const Status spoken = tts->synthesizer->Synthesize(
        text, cpp_options, [&](const float* samples, std::size_t count) {
          return callback(samples, count, user) != 0;
        });
    if (!spoken.ok()) return Report(spoken);
    if (tolvaren_tts_status s = timings.HandOver(); s != 0) return s;
    return Report(spoken);
  });
}

tolvaren_tts_status tolvaren_tts_pinyin(tolvaren_tts_synthesizer* tts,
                                        const char* text, char** pinyin) {
  if (pinyin == nullptr) return NullArgument("pinyin");
  *pinyin = nullptr;
  if (tolvaren_tts_status s = CheckCall(tts, text); s != 0) return s;
  const HandleCall call(tts);
  if (!call.entered()) return Closing();
  return Guarded([&] {
    std::string spoken;
    const Status status = tts->synthesizer->Pinyin(text, &spoken);
    if (!status.ok()) return Report(status);
    char* copy = CopyOut(spoken);
    if (copy == nullptr)
      return Fail(TOLVAREN_TTS_OUT_OF_MEMORY, "out of memory");
    *pinyin = copy;
    return Report(status);
  });
}

void tolvaren_tts_free_string(char* text) { std::free(text); }

int tolvaren_tts_sample_rate(const tolvaren_tts_synthesizer* tts) {
  if (tts == nullptr) {
    NullArgument("tts");
    return 0;
  }
  return tts->synthesizer->sample_rate();
}

int tolvaren_tts_supports_speed(const tolvaren_tts_synthesizer* tts) {
  if (tts == nullptr) {
    NullArgument("tts");
    return 0;
  }
  return tts->synthesizer->supports_speed() ? 1 : 0;
}

tolvaren_tts_status tolvaren_tts_write_wav(const char* path,
                                           const float* samples, size_t count,
                                           int sample_rate, int format) {
  if (path == nullptr) return NullArgument("path");
  if (samples == nullptr && count > 0) return NullArgument("samples");
  if (format != TOLVAREN_TTS_WAV_PCM16 && format != TOLVAREN_TTS_WAV_FLOAT32) {
    return Fail(TOLVAREN_TTS_INVALID_ARGUMENT,
                "format must be TOLVAREN_TTS_WAV_PCM16 or "
                "TOLVAREN_TTS_WAV_FLOAT32");
  }
  return Guarded([&] {
    return Report(tolvaren_tts::WriteWavSamples(
        path, samples, count, sample_rate,
        format == TOLVAREN_TTS_WAV_PCM16 ? tolvaren_tts::WavFormat::kPcm16
                                         : tolvaren_tts::WavFormat::kFloat32));
  });
}

tolvaren_tts_status tolvaren_tts_set_log_callback(
    tolvaren_tts_log_callback callback, void* user, int min_level) {
  if (min_level < TOLVAREN_TTS_LOG_DEBUG ||
      min_level > TOLVAREN_TTS_LOG_ERROR) {
    return Fail(TOLVAREN_TTS_INVALID_ARGUMENT,
                "min_level must be TOLVAREN_TTS_LOG_DEBUG to "
                "TOLVAREN_TTS_LOG_ERROR");
  }
  return Guarded([&] {
    tolvaren_tts::LogCallback forward;
    if (callback != nullptr) {
      forward = [callback, user](tolvaren_tts::LogLevel level,
                                 const std::string& message) {
        callback(static_cast<int>(level), message.c_str(), user);
      };
    }
    tolvaren_tts::SetLogCallback(
        std::move(forward), static_cast<tolvaren_tts::LogLevel>(min_level));
    LastError().clear();
    return TOLVAREN_TTS_OK;
  });
}

tolvaren_tts_status tolvaren_tts_list_voices(const tolvaren_tts_config* config,
                                             tolvaren_tts_voice_info** voices,
                                             size_t* count) {
  if (voices == nullptr) return NullArgument("voices");
  if (count == nullptr) return NullArgument("count");
  *voices = nullptr;
  *count = 0;
  if (config == nullptr) return NullArgument("config");
  return Guarded([&] {
    tolvaren_tts::SynthesizerConfig cpp_config;
    if (tolvaren_tts_status s = ToConfig(*config, cpp_config); s != 0) {
      return s;
    }
    std::vector<tolvaren_tts::VoiceInfo> found;
    const Status listed = tolvaren_tts::ListVoices(cpp_config, &found);
    if (!listed.ok()) return Report(listed);
    auto* out = static_cast<tolvaren_tts_voice_info*>(
        std::calloc(found.size() + 1, sizeof(tolvaren_tts_voice_info)));
    if (out == nullptr)
      return Fail(TOLVAREN_TTS_OUT_OF_MEMORY, "out of memory");
    for (size_t i = 0; i < found.size(); ++i) {
      out[i].name = CopyOut(found[i].name);
      out[i].licence = CopyOut(found[i].licence);
      out[i].sample_rate = found[i].sample_rate;
      out[i].supports_speed = found[i].supports_speed ? 1 : 0;
      if (out[i].name == nullptr || out[i].licence == nullptr) {
        tolvaren_tts_free_voices(out, i + 1);
        return Fail(TOLVAREN_TTS_OUT_OF_MEMORY, "out of memory");
      }
    }
    *voices = out;
    *count = found.size();
    return Report(listed);
  });
}

void tolvaren_tts_free_voices(tolvaren_tts_voice_info* voices, size_t count) {
  if (voices == nullptr) return;
  for (size_t i = 0; i < count; ++i) {
    std::free(const_cast<char*>(voices[i].name));
    std::free(const_cast<char*>(voices[i].licence));
  }
  std::free(voices);
}

}  // extern "C"
