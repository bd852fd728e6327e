// tolvaren_tts_node: the ROS 2 node. Texts arrive on ~/text
// (std_msgs/String); each vocoder chunk is published on ~/audio
// (audio_common_msgs/AudioData, mono S16LE) as soon as it exists, and the
// format on ~/audio_info (audio_common_msgs/AudioInfo, kept for late
// subscribers). Parameters: voice, speed, volume. Everything but moving
// messages and parameters lives in SpeechNode; the single-threaded executor
// runs texts and parameter changes one at a time.
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "audio_common_msgs/msg/audio_data.hpp"
#include "audio_common_msgs/msg/audio_info.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/rclcpp.hpp"
#include "ros/speech_node.h"
#include "std_msgs/msg/string.hpp"
#include "tolvaren_tts/log.h"

namespace {

using audio_common_msgs::msg::AudioData;
using audio_common_msgs::msg::AudioInfo;
using tolvaren_ros::SpeechNode;
using tolvaren_ros::SpeechParameters;

rcl_interfaces::msg::ParameterDescriptor Described(const char* description) {
  rcl_interfaces::msg::ParameterDescriptor descriptor;
  descriptor.description = description;
  return descriptor;
}

class TtsNode : public rclcpp::Node {
 public:
  TtsNode() : Node("tolvaren_tts") {
    SpeechParameters parameters;
    parameters.voice = declare_parameter<std::string>(
        "voice", "",
        Described("a voice folder beside the configured models; empty or "
                  "\"default\": the configured voice"));
    parameters.speed = declare_parameter<double>(
        "speed", 1.0,
        Described("speaking rate, 0.25 to 4; 2 is twice as fast"));
    parameters.volume = declare_parameter<double>(
        "volume", 1.0,
        Described("gain on the samples, above 0 up to 8, before the limiter "
                  "that keeps them within [-0.99, 0.99]"));
    const tolvaren_tts::Status created = SpeechNode::Create(
        tolvaren_tts::SynthesizerConfig(), parameters, &speech_);
    if (!created.ok()) throw std::runtime_error(created.message());

    audio_ = create_publisher<AudioData>("~/audio", 10);
    info_ = create_publisher<AudioInfo>("~/audio_info",
                                        rclcpp::QoS(1).transient_local());
    PublishInfo();
    text_ = create_subscription<std_msgs::msg::String>(
        "~/text", 10, [this](const std_msgs::msg::String::SharedPtr message) {
          Speak(message->data);
        });
    on_set_ = add_on_set_parameters_callback(
        [this](const std::vector<rclcpp::Parameter>& changed) {
          return SetParameters(changed);
        });
  }

 private:
  void Speak(const std::string& text) {
    const tolvaren_tts::Status spoken =
        speech_->Speak(text, [this](tolvaren_ros::AudioBytes bytes) {
          AudioData chunk;
          chunk.data = std::move(bytes);
          audio_->publish(chunk);
          return rclcpp::ok();  // stop when the node shuts down
        });
    if (!spoken.ok()) {
      RCLCPP_ERROR(get_logger(), "%s", spoken.message().c_str());
    }
  }

  void PublishInfo() {
    const tolvaren_ros::AudioFormat format = speech_->format();
    AudioInfo info;
    info.channels = static_cast<uint8_t>(format.channels);
    info.sample_rate = static_cast<uint32_t>(format.sample_rate);
    info.sample_format = format.sample_format;
    info.bitrate = static_cast<uint32_t>(format.bitrate);
    info.coding_format = format.coding_format;
    info_->publish(info);
  }

  // The values of one `ros2 param set` are taken together or not at all;
  // a rejected one leaves the node as it was and tells the caller why.
  rcl_interfaces::msg::SetParametersResult SetParameters(
      const std::vector<rclcpp::Parameter>& changed) {
    SpeechParameters wanted = speech_->parameters();
    for (const rclcpp::Parameter& parameter : changed) {
      if (parameter.get_name() == "voice") wanted.voice = parameter.as_string();
      if (parameter.get_name() == "speed") wanted.speed = parameter.as_double();
      if (parameter.get_name() == "volume") {
        wanted.volume = parameter.as_double();
      }
    }
    const bool new_voice = wanted.voice != speech_->parameters().voice;
    const tolvaren_tts::Status applied = speech_->Apply(wanted);
    rcl_interfaces::msg::SetParametersResult result;
    result.successful = applied.ok();
    result.reason = applied.message();
    if (applied.ok() && new_voice) PublishInfo();
    return result;
  }

  std::unique_ptr<SpeechNode> speech_;
  rclcpp::Publisher<AudioData>::SharedPtr audio_;
  rclcpp::Publisher<AudioInfo>::SharedPtr info_;
  rclcpp::Subscription<std_msgs::msg::String>::SharedPtr text_;
  rclcpp::Node::OnSetParametersCallbackHandle::SharedPtr on_set_;
};

}  // namespace

// The library's warnings and errors as the node's own log records, so they
// reach rosout and the console like any node's.
void LogThroughRos() {
  tolvaren_tts::SetLogCallback(
      [](tolvaren_tts::LogLevel level, const std::string& message) {
        const rclcpp::Logger logger = rclcpp::get_logger("tolvaren_tts");
        if (level == tolvaren_tts::LogLevel::kError) {
          RCLCPP_ERROR(logger, "%s", message.c_str());
        } else if (level == tolvaren_tts::LogLevel::kWarning) {
          RCLCPP_WARN(logger, "%s", message.c_str());
        } else {
          RCLCPP_INFO(logger, "%s", message.c_str());
        }
      },
      tolvaren_tts::LogLevel::kWarning);
}

int main(int argc, char** argv) {
  rclcpp::init(argc, argv);
  LogThroughRos();
  int status = 0;
  try {
    rclcpp::spin(std::make_shared<TtsNode>());
  } catch (const std::exception& e) {
    RCLCPP_FATAL(rclcpp::get_logger("tolvaren_tts"), "%s", e.what());
    status = 1;
  }
  rclcpp::shutdown();
  return status;
}
