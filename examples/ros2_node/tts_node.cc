// A ROS 2 node that keeps one Synthesizer loaded: texts arrive on
// "tts/text", and each vocoder chunk is published on "tts/audio" as soon as
// it exists, so a player can start before the text is done.
#include <memory>
#include <stdexcept>
#include <string>

#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/float32_multi_array.hpp"
#include "std_msgs/msg/string.hpp"
#include "tolvaren_tts/synthesizer.h"

class TtsNode : public rclcpp::Node {
 public:
  TtsNode() : Node("tolvaren_tts") {
    // The installed tool.conf and its default voice.
    const tolvaren_tts::Status created = tolvaren_tts::Synthesizer::Create(
        tolvaren_tts::SynthesizerConfig(), &tts_);
    if (!created.ok()) throw std::runtime_error(created.message());
    RCLCPP_INFO(get_logger(), "speaking at %d Hz", tts_->sample_rate());
    audio_ =
        create_publisher<std_msgs::msg::Float32MultiArray>("tts/audio", 10);
    text_ = create_subscription<std_msgs::msg::String>(
        "tts/text", 10, [this](const std_msgs::msg::String::SharedPtr message) {
          Speak(message->data);
        });
  }

 private:
  void Speak(const std::string& text) {
    const tolvaren_tts::Status spoken = tts_->Synthesize(
        text, tolvaren_tts::SynthesisOptions(),
        [this](const float* samples, std::size_t count) {
          std_msgs::msg::Float32MultiArray chunk;
          chunk.data.assign(samples, samples + count);
          audio_->publish(chunk);
          return rclcpp::ok();  // stop when the node shuts down
        });
    if (!spoken.ok()) {
      RCLCPP_ERROR(get_logger(), "%s", spoken.message().c_str());
    }
  }

  std::unique_ptr<tolvaren_tts::Synthesizer> tts_;
  rclcpp::Publisher<std_msgs::msg::Float32MultiArray>::SharedPtr audio_;
  rclcpp::Subscription<std_msgs::msg::String>::SharedPtr text_;
};

int main(int argc, char** argv) {
  rclcpp::init(argc, argv);
  rclcpp::spin(std::make_shared<TtsNode>());
  rclcpp::shutdown();
  return 0;
}
