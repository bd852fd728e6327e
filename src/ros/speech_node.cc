#include "ros/speech_node.h"

#include <sstream>
#include <utility>

#include "tool/io/pcm16.h"

namespace tolvaren_ros {
namespace {

using tolvaren_tts::Status;
using tolvaren_tts::Synthesizer;

constexpr int kBitsPerSample = 16;

tolvaren_tts::SynthesisOptions OptionsFor(const SpeechParameters& parameters) {
  tolvaren_tts::SynthesisOptions options;
  options.speed = parameters.speed;
  options.volume = parameters.volume;
  return options;
}

// Whether `synthesizer` speaks at the speed and volume of `parameters`, by
// the library's own rule: an empty text is checked like any other and
// speaks nothing.
Status CheckOptions(Synthesizer& synthesizer,
                    const SpeechParameters& parameters) {
  const Status checked =
      synthesizer.Synthesize("", OptionsFor(parameters),
                             [](const float*, std::size_t) { return true; });
  if (checked.ok()) return checked;
  std::ostringstream message;
  message << "speed " << parameters.speed << ", volume " << parameters.volume
          << ": " << checked.message();
  return Status(checked.code(), message.str());
}

Status Load(const tolvaren_tts::SynthesizerConfig& base,
            const SpeechParameters& parameters,
            std::unique_ptr<Synthesizer>* synthesizer) {
  tolvaren_tts::SynthesizerConfig config = base;
  config.voice = parameters.voice;
  Status created = Synthesizer::Create(config, synthesizer);
  if (!created.ok() && !parameters.voice.empty()) {
    return Status(created.code(),
                  "voice \"" + parameters.voice + "\": " + created.message());
  }
  if (!created.ok()) return created;
  if (Status options = CheckOptions(**synthesizer, parameters); !options.ok()) {
    synthesizer->reset();
    return options;
  }
  return Status();
}

}  // namespace

AudioBytes ToS16le(const float* samples, std::size_t count) {
  AudioBytes bytes(count * 2);
  tolvaren::EncodePcm16(samples, count, bytes.data());
  return bytes;
}

SpeechNode::SpeechNode(tolvaren_tts::SynthesizerConfig base,
                       std::unique_ptr<Synthesizer> synthesizer,
                       SpeechParameters parameters)
    : base_(std::move(base)),
      synthesizer_(std::move(synthesizer)),
      parameters_(std::move(parameters)) {}

Status SpeechNode::Create(const tolvaren_tts::SynthesizerConfig& base,
                          const SpeechParameters& parameters,
                          std::unique_ptr<SpeechNode>* node) {
  if (node == nullptr) {
    return Status(tolvaren_tts::StatusCode::kInvalidArgument,
                  "no place for the node");
  }
  node->reset();
  std::unique_ptr<Synthesizer> synthesizer;
  if (Status loaded = Load(base, parameters, &synthesizer); !loaded.ok()) {
    return loaded;
  }
  node->reset(new SpeechNode(base, std::move(synthesizer), parameters));
  return Status();
}

Status SpeechNode::Apply(const SpeechParameters& wanted) {
  if (wanted.voice == parameters_.voice) {
    if (Status checked = CheckOptions(*synthesizer_, wanted); !checked.ok()) {
      return checked;
    }
  } else {
    std::unique_ptr<Synthesizer> synthesizer;
    if (Status loaded = Load(base_, wanted, &synthesizer); !loaded.ok()) {
      return loaded;
    }
    synthesizer_ = std::move(synthesizer);
  }
  parameters_ = wanted;
  return Status();
}

Status SpeechNode::Speak(const std::string& text, const PublishAudio& publish) {
  return synthesizer_->Synthesize(
      text, OptionsFor(parameters_),
      [&publish](const float* samples, std::size_t count) {
        return publish(ToS16le(samples, count));
      });
}

AudioFormat SpeechNode::format() const {
  AudioFormat format;
  format.sample_rate = synthesizer_->sample_rate();
  format.sample_format = "S16LE";
  format.bitrate = format.sample_rate * format.channels * kBitsPerSample;
  format.coding_format = "wave";
  return format;
}

}  // namespace tolvaren_ros
