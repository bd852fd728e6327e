// The library's Synthesizer: the speech engine (tool/speech_engine.h: front
// end, models, chunked vocoder, one call at a time) behind a surface that
// reports instead of exiting.

#include "tolvaren_tts/synthesizer.h"

#include <exception>
#include <string>
#include <utility>

#include "library/log_routes.h"
#include "tolvaren_tts/voices.h"
#include "tool/conf/tool_conf.h"
#include "tool/conf/voice_list.h"
#include "tool/logger.h"
#include "tool/speech_engine.h"

namespace tolvaren_tts {
namespace {

Status FromAbsl(const absl::Status& status) {
  if (status.ok()) return Status();
  std::string message(status.message());
  switch (status.code()) {
    case absl::StatusCode::kInvalidArgument:
      return Status(StatusCode::kInvalidArgument, std::move(message));
    case absl::StatusCode::kNotFound:
    case absl::StatusCode::kUnavailable:
      return Status(StatusCode::kNotFound, std::move(message));
    case absl::StatusCode::kFailedPrecondition:
      return Status(StatusCode::kFailedPrecondition, std::move(message));
    case absl::StatusCode::kCancelled:
      return Status(StatusCode::kCancelled, std::move(message));
    case absl::StatusCode::kAborted:  // a call from inside a call
      return Status(StatusCode::kInCallback, std::move(message));
    default:
      if (tolvaren::IsRuntimeError(status)) {
        return Status(StatusCode::kRuntimeError,
                      "ONNX Runtime error: " + message);
      }
      return Status(StatusCode::kInternal, std::move(message));
  }
}

// The sessions' threads (see SynthesizerConfig::threads): the caller's
// count wins; without one, a configuration file's keys stand, else every
// core the process may run on.
void ApplyThreads(const SynthesizerConfig& config, tolvaren::ToolConf& conf) {
  if (config.threads == 0 && conf.entries.count("intra_op_num_threads") > 0) {
    return;
  }
  conf.intra_op_num_threads = config.threads;  // 0: AvailableCores()
  if (config.threads > 0 || conf.entries.count("inter_op_num_threads") == 0) {
    conf.inter_op_num_threads = 1;
  }
}

// The tool configuration the synthesizer starts from.
Status MakeConf(const SynthesizerConfig& config, tolvaren::ToolConf& conf) {
  if (config.threads < 0 || config.threads > tolvaren::kMaxThreads) {
    return Status(StatusCode::kInvalidArgument,
                  "threads must be 0 (one per core) to " +
                      std::to_string(tolvaren::kMaxThreads) + ", not " +
                      std::to_string(config.threads));
  }
  const int explicit_paths = !config.front_conf_path.empty() +
                             !config.acoustic_model_path.empty() +
                             !config.vocoder_model_path.empty();
  if (explicit_paths == 3) {
    conf.front_conf_path = config.front_conf_path;
    conf.fastspeech2_model_path = config.acoustic_model_path;
    conf.hifigan_model_path = config.vocoder_model_path;
  } else if (explicit_paths != 0) {
    return Status(StatusCode::kInvalidArgument,
                  "give all three of front_conf_path, acoustic_model_path "
                  "and vocoder_model_path, or none");
  } else {
    const std::string path =
        config.conf_path.empty() ? tolvaren::ToolConfPath() : config.conf_path;
    std::string reason;
    if (!tolvaren::ReadConfFile(path, conf, &reason)) {
      return Status(StatusCode::kNotFound,
                    "cannot read the configuration file " + path +
                        (reason.empty() ? "" : ": " + reason));
    }
  }
  ApplyThreads(config, conf);
  // The caller's voice over the configuration's; the tool resolves it.
  if (!config.voice.empty()) conf.voice = config.voice;
  return Status();
}

Status Unexpected(const std::exception& e) {
  return Status(StatusCode::kInternal, std::string("unexpected: ") + e.what());
}

}  // namespace

struct Synthesizer::Impl {
  tolvaren::SpeechEngine engine;
};

Synthesizer::Synthesizer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

// The engine waits for a call running on another thread.
Synthesizer::~Synthesizer() = default;

Status Synthesizer::Create(const SynthesizerConfig& config,
                           std::unique_ptr<Synthesizer>* synthesizer) {
  if (synthesizer == nullptr) {
    return Status(StatusCode::kInvalidArgument, "no place for the synthesizer");
  }
  synthesizer->reset();
  try {
    tolvaren::ToolConf conf;
    if (Status made = MakeConf(config, conf); !made.ok()) return made;
    if (absl::Status prepared = tolvaren::PrepareConf(conf, nullptr);
        !prepared.ok()) {
      return FromAbsl(prepared);
    }
    auto impl = std::make_unique<Impl>();
    impl->engine.Start(conf, FrontReportsToLog());
    synthesizer->reset(new Synthesizer(std::move(impl)));
    return Status();
  } catch (const tolvaren::StartupError& e) {
    return FromAbsl(e.status());
  } catch (const Ort::Exception& e) {
    return Status(StatusCode::kRuntimeError,
                  std::string("ONNX Runtime error: ") + e.what());
  } catch (const std::exception& e) {
    return Unexpected(e);
  }
}

Status Synthesizer::Synthesize(const std::string& text,
                               const SynthesisOptions& options, Audio* audio) {
  if (audio == nullptr) {
    return Status(StatusCode::kInvalidArgument, "no place for the audio");
  }
  audio->samples.clear();
  audio->sample_rate = sample_rate();
  std::vector<float>& samples = audio->samples;
  const Status status = Synthesize(
      text, options, [&samples](const float* chunk, std::size_t count) {
        samples.insert(samples.end(), chunk, chunk + count);
        return true;
      });
  if (!status.ok()) samples.clear();
  return status;
}

Status Synthesizer::Synthesize(const std::string& text,
                               const SynthesisOptions& options,
                               const ChunkCallback& callback) {
  try {
    if (!callback) {
      return Status(StatusCode::kInvalidArgument, "no callback for the audio");
    }
    tolvaren::SpeakRequest request;
    request.markup = options.markup;
    request.speed = options.speed;
    request.volume = options.volume;
    request.sentence_silence = options.sentence_silence;
    return FromAbsl(impl_->engine.Speak(
        text, request,
        [&callback](std::vector<float> chunk) {
          if (chunk.empty() || callback(chunk.data(), chunk.size())) {
            return absl::OkStatus();
          }
          return absl::CancelledError("the callback stopped the synthesis");
        },
        options.timings));
  } catch (const std::exception& e) {
    return Unexpected(e);
  }
}

Status Synthesizer::Pinyin(const std::string& text, std::string* pinyin) {
  return Pinyin(text, SynthesisOptions(), pinyin);
}

Status Synthesizer::Pinyin(const std::string& text,
                           const SynthesisOptions& options,
                           std::string* pinyin) {
  if (pinyin == nullptr) {
    return Status(StatusCode::kInvalidArgument, "no place for the pinyin");
  }
  pinyin->clear();
  try {
    return FromAbsl(impl_->engine.Pinyin(text, options.markup, pinyin));
  } catch (const std::exception& e) {
    return Unexpected(e);
  }
}

Status ListVoices(const SynthesizerConfig& config,
                  std::vector<VoiceInfo>* voices) {
  if (voices == nullptr) {
    return Status(StatusCode::kInvalidArgument, "no place for the voices");
  }
  voices->clear();
  try {
    tolvaren::ToolConf conf;
    if (Status made = MakeConf(config, conf); !made.ok()) return made;
    absl::StatusOr<std::vector<tolvaren::VoiceFacts>> found =
        tolvaren::ListVoices(conf);
    if (!found.ok()) return FromAbsl(found.status());
    for (tolvaren::VoiceFacts& facts : *found) {
      voices->push_back(VoiceInfo{std::move(facts.name), facts.sample_rate,
                                  std::move(facts.licence),
                                  facts.supports_speed});
    }
    return Status();
  } catch (const std::exception& e) {
    voices->clear();
    return Unexpected(e);
  }
}

int Synthesizer::sample_rate() const {
  return impl_->engine.voice().sample_rate;
}

bool Synthesizer::supports_speed() const {
  return impl_->engine.takes_duration_scale();
}

}  // namespace tolvaren_tts
