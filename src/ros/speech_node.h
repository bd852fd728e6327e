// What the tolvaren_tts_node ROS 2 node does, without ROS: it holds the
// node's parameters (voice, speed, volume) over one loaded Synthesizer, speaks
// the text of each message and hands each vocoder chunk over as the bytes of
// one audio message, with the format a player needs to read them. The rclcpp
// adaptor (tts_node_main.cc) only moves messages and parameters in and out.

#ifndef TOLVAREN_TTS_ROS_SPEECH_NODE_H_
#define TOLVAREN_TTS_ROS_SPEECH_NODE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tolvaren_tts/status.h"
#include "tolvaren_tts/synthesizer.h"

namespace tolvaren_ros {

// The audio topic's format, field for field as audio_common_msgs/AudioInfo
// carries it: mono 16-bit little-endian PCM at the voice's rate.
struct AudioFormat {
  int channels = 1;
  int sample_rate = 0;        // samples per second
  std::string sample_format;  // "S16LE"
  int bitrate = 0;            // bits per second
  std::string coding_format;  // "wave": uncompressed samples
};

// The node's parameters.
struct SpeechParameters {
  std::string voice;  // a folder beside the configured models; "" or "default"
  double speed = 1.0;
  double volume = 1.0;  // scales the samples before the engine's limiter
};

// The data of one audio message: S16LE samples.
using AudioBytes = std::vector<std::uint8_t>;
// Publishes one chunk; false stops the text (the node is shutting down).
using PublishAudio = std::function<bool(AudioBytes bytes)>;

class SpeechNode {
 public:
  // Loads the voice `parameters` names from the configuration `base`
  // names (empty: the installed tool.conf) and checks the speed and volume
  // against it.
  // On failure `*node` is left empty.
  static tolvaren_tts::Status Create(
      const tolvaren_tts::SynthesizerConfig& base,
      const SpeechParameters& parameters, std::unique_ptr<SpeechNode>* node);

  // Takes new parameters for the texts that follow: another voice is
  // loaded, and the speed (0.25 to 4) and volume (above 0, up to 8) are
  // checked against the voice as the library checks them. On failure
  // nothing changes: the node keeps the voice, speed and volume it had.
  tolvaren_tts::Status Apply(const SpeechParameters& wanted);

  // Speaks `text` (UTF-8), publishing each chunk as soon as it exists. An
  // empty text publishes nothing. A text the front end cannot read fails
  // before anything is published.
  tolvaren_tts::Status Speak(const std::string& text,
                             const PublishAudio& publish);

  const SpeechParameters& parameters() const { return parameters_; }
  AudioFormat format() const;

 private:
  SpeechNode(tolvaren_tts::SynthesizerConfig base,
             std::unique_ptr<tolvaren_tts::Synthesizer> synthesizer,
             SpeechParameters parameters);

  tolvaren_tts::SynthesizerConfig base_;
  std::unique_ptr<tolvaren_tts::Synthesizer> synthesizer_;
  SpeechParameters parameters_;
};

// Float samples in [-1, 1] as S16LE bytes, clipped.
AudioBytes ToS16le(const float* samples, std::size_t count);

}  // namespace tolvaren_ros

#endif  // TOLVAREN_TTS_ROS_SPEECH_NODE_H_
