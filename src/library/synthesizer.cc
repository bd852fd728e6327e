// The library's Synthesizer: the tool's own pieces (Tool: front end, models,
// chunked vocoder) behind a surface that reports instead of exiting.

#include "tolvaren_tts/synthesizer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "library/filled_timings.h"
#include "library/log_routes.h"
#include "tolvaren_tts/voices.h"
#include "tool/conf/tool_conf.h"
#include "tool/conf/voice_list.h"
#include "tool/id_names.h"
#include "tool/logger.h"
#include "tool/phone_table.h"
#include "tool/spoken_segments.h"
#include "tool/synth/peak_limiter.h"
#include "tool/tool.h"

namespace tolvaren_tts {
namespace {

constexpr double kMaxSilenceSeconds = 60.0;
constexpr double kMinSpeed = 0.25;
constexpr double kMaxSpeed = 4.0;

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

// One call's hold on an engine: it waits for the call before it, and
// refuses a call from the thread already inside one, which can only come
// from the engine's own callbacks and would wait on itself.
class EngineHold {
 public:
  EngineHold(std::mutex& mutex, std::atomic<std::thread::id>& caller)
      : caller_(caller) {
    if (caller.load() == std::this_thread::get_id()) return;
    lock_ = std::unique_lock<std::mutex>(mutex);
    caller.store(std::this_thread::get_id());
  }
  ~EngineHold() {
    if (lock_.owns_lock()) caller_.store(std::thread::id());
  }
  EngineHold(const EngineHold&) = delete;
  EngineHold& operator=(const EngineHold&) = delete;

  // The status of a refused call; OK when the hold was taken.
  Status status() const {
    if (lock_.owns_lock()) return Status();
    return Status(StatusCode::kInCallback,
                  "the synthesizer was called from inside its own callback: "
                  "it is in the middle of that call");
  }

 private:
  std::atomic<std::thread::id>& caller_;
  std::unique_lock<std::mutex> lock_;
};

}  // namespace

struct Synthesizer::Impl {
  explicit Impl(std::unique_ptr<tolvaren::Tool> started)
      : tool(std::move(started)) {}

  bool SupportsSpeed() const { return tool->takes_duration_scale(); }

  Status Check(const SynthesisOptions& options) const {
    if (!std::isfinite(options.speed) || options.speed <= 0) {
      return Status(StatusCode::kInvalidArgument,
                    "the speed must be a positive number");
    }
    if (options.speed != 1.0 && !SupportsSpeed()) {
      return Status(StatusCode::kInvalidArgument,
                    "this voice speaks at one speed only: its acoustic "
                    "model has no duration-scale input (duration_scale)");
    }
    // A phone keeps at least one frame however fast, and a speed beyond
    // these bounds is a mistake rather than a speaking rate.
    if (options.speed < kMinSpeed || options.speed > kMaxSpeed) {
      return Status(StatusCode::kInvalidArgument,
                    "the speed must be from 0.25 to 4");
    }
    if (!std::isfinite(options.volume) || options.volume <= 0 ||
        options.volume > tolvaren::kMaxVolume) {
      return Status(StatusCode::kInvalidArgument,
                    "the volume must be above 0, up to 8");
    }
    if (!std::isfinite(options.sentence_silence) ||
        options.sentence_silence < 0 ||
        options.sentence_silence > kMaxSilenceSeconds) {
      return Status(StatusCode::kInvalidArgument,
                    "the sentence silence must be 0 to 60 seconds");
    }
    return Status();
  }

  // The text's phone ids; every text is taken, none names a file here.
  Status Front(const std::string& text, std::vector<int64_t>& ids,
               std::vector<speechnn::SentenceTrace>* traces) {
    std::vector<int> phone_ids;
    std::string failure;
    tolvaren::FrontRequest request;
    request.refuse_name_characters = false;
    request.traces = traces;
    request.failure = &failure;
    if (!tool->frontProcess(text, phone_ids, request)) {
      return Status(StatusCode::kInvalidArgument, failure);
    }
    ids.assign(phone_ids.begin(), phone_ids.end());
    return Status();
  }

  // The phone inventory, read on first need: it lies beside the
  // pronunciation dictionary.
  Status LoadPhoneTable() {
    if (phone_table) return Status();
    const speechnn::FrontEngineInterface* front = tool->front();
    if (front == nullptr) {
      return Status(StatusCode::kFailedPrecondition, "no text front end");
    }
    const std::string path =
        (std::filesystem::path(front->word2phone_file()).parent_path() /
         "phones.tsv")
            .string();
    tolvaren::PhoneTable table;
    std::string error;
    if (!table.Load(path, error)) return Status(StatusCode::kNotFound, error);
    phone_table = std::move(table);
    return Status();
  }

  std::unique_ptr<tolvaren::Tool> tool;
  std::optional<tolvaren::PhoneTable> phone_table;
  // Calls run one at a time; `caller` is the thread inside one (the
  // thread its callbacks run on), none between calls.
  std::mutex call_mutex;
  std::atomic<std::thread::id> caller{};
};

Synthesizer::Synthesizer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Synthesizer::~Synthesizer() {
  // Waits for a call running on another thread.
  if (impl_ != nullptr) std::lock_guard<std::mutex> wait(impl_->call_mutex);
}

Status Synthesizer::Create(const SynthesizerConfig& config,
                           std::unique_ptr<Synthesizer>* synthesizer) {
  if (synthesizer == nullptr) {
    return Status(StatusCode::kInvalidArgument, "no place for the synthesizer");
  }
  synthesizer->reset();
  try {
    tolvaren::ToolConf conf;
    if (Status made = MakeConf(config, conf); !made.ok()) return made;
    auto tool =
        std::make_unique<tolvaren::Tool>(std::move(conf), FrontReportsToLog());
    synthesizer->reset(
        new Synthesizer(std::make_unique<Impl>(std::move(tool))));
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
    const EngineHold hold(impl_->call_mutex, impl_->caller);
    if (!hold.status().ok()) return hold.status();
    if (Status checked = impl_->Check(options); !checked.ok()) return checked;
    if (!callback) {
      return Status(StatusCode::kInvalidArgument, "no callback for the audio");
    }
    if (options.timings != nullptr) options.timings->clear();
    if (text.empty()) return Status();
    if (options.timings != nullptr) {
      if (Status loaded = impl_->LoadPhoneTable(); !loaded.ok()) return loaded;
    }
    std::vector<speechnn::SpeechPart> parts;
    tolvaren::SpokenPlan plan;
    if (absl::Status read = tolvaren::ReadSpokenParts(text, options.markup,
                                                      &parts, &plan.warnings);
        !read.ok()) {
      return FromAbsl(read);
    }
    if (absl::Status planned = tolvaren::PlanSpokenSegments(
            *impl_->tool, parts, options.speed, sample_rate(), &plan,
            options.timings != nullptr ? &*impl_->phone_table : nullptr);
        !planned.ok()) {
      return FromAbsl(planned);
    }
    for (const std::string& warning : plan.warnings) Warn(warning);
    const int64_t silence =
        std::llround(options.sentence_silence * sample_rate());
    if (plan.segments.empty()) {
      // Marks or breaks alone: their silence, then the sentence silence.
      plan.leading_silence += silence;
    } else {
      plan.segments.back().silence_after += silence;
    }
    if (plan.segments.empty() && plan.leading_silence == 0) return Status();
    // A short first piece, so that the first chunk comes after about a
    // clause's work whatever the length.
    std::vector<tolvaren::Segment>& segments = plan.segments;
    tolvaren::EngineRequest request;
    request.first_piece_phones = tolvaren::kFirstPiecePhones;
    request.max_piece_phones = tolvaren::kMaxStreamedPhones;
    request.volume = static_cast<float>(options.volume);
    request.chunks_as_vocoded = false;
    request.chunks = tolvaren::kStreamedChunks;
    // The engine streams it in blocks, as every silence.
    request.leading_silence = plan.leading_silence;
    // The timings: each piece's ids and the frames the model gave them.
    std::vector<tolvaren::TimedRun> runs;
    bool timed = true;
    if (options.timings != nullptr) {
      request.on_piece = [&](const tolvaren::PieceReport& piece) {
        const std::size_t count = piece.phone_end - piece.phone_begin;
        if (piece.durations == nullptr || piece.durations->size() != count) {
          timed = false;
          return;
        }
        const auto first = piece.of->phone_ids.begin() + piece.phone_begin;
        runs.push_back({{first, first + count},
                        *piece.durations,
                        piece.first_sample,
                        std::nullopt});
      };
    }
    int64_t produced = 0;
    const absl::Status vocoded = impl_->tool->engine().Synthesize(
        segments,
        [&](std::vector<float> chunk) {
          produced += static_cast<int64_t>(chunk.size());
          if (chunk.empty() || callback(chunk.data(), chunk.size())) {
            return absl::OkStatus();
          }
          return absl::CancelledError("the callback stopped the synthesis");
        },
        request);
    if (!vocoded.ok()) return FromAbsl(vocoded);
    if (options.timings != nullptr && !segments.empty()) {
      FillTimings(timed, std::move(plan.words), std::move(runs),
                  impl_->tool->voice().hop_samples, produced, options.timings);
    } else if (options.timings != nullptr && produced > 0) {
      // Breaks or marks alone: one pause over all of it, so that the
      // entries still tile the audio.
      WordTiming pause;
      pause.pause = true;
      pause.end_sample = static_cast<std::size_t>(produced);
      options.timings->push_back(std::move(pause));
    }
    return Status();
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
    const EngineHold hold(impl_->call_mutex, impl_->caller);
    if (!hold.status().ok()) return hold.status();
    const speechnn::FrontEngineInterface* front = impl_->tool->front();
    if (front == nullptr) {
      return Status(StatusCode::kFailedPrecondition, "no text front end");
    }
    if (Status loaded = impl_->LoadPhoneTable(); !loaded.ok()) return loaded;
    // The words as they would be spoken, [[…]] as given.
    std::vector<speechnn::SpeechPart> parts;
    tolvaren::SpokenPlan plan;
    absl::Status read =
        tolvaren::ReadSpokenParts(text, options.markup, &parts, &plan.warnings);
    if (read.ok()) {
      read = tolvaren::PlanSpokenSegments(
          *impl_->tool, parts, 1.0, sample_rate(), &plan, &*impl_->phone_table);
    }
    if (!read.ok()) return FromAbsl(read);
    for (const tolvaren::SpokenWord& word : plan.words) {
      for (const tolvaren::SpokenSyllable& syllable : word.syllables) {
        if (!pinyin->empty()) *pinyin += ' ';
        *pinyin += syllable.pinyin;
      }
    }
    return Status();
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
  return impl_->tool->voice().sample_rate;
}

bool Synthesizer::supports_speed() const { return impl_->SupportsSpeed(); }

}  // namespace tolvaren_tts
