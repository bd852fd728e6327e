// Stand-in for audio_common_msgs/msg/AudioData (see rclcpp/rclcpp.hpp here).
#ifndef TOLVAREN_TTS_TESTS_ROS2_STUB_AUDIO_COMMON_MSGS_MSG_AUDIO_DATA_HPP_
#define TOLVAREN_TTS_TESTS_ROS2_STUB_AUDIO_COMMON_MSGS_MSG_AUDIO_DATA_HPP_

#include <cstdint>
#include <memory>
#include <vector>

namespace audio_common_msgs::msg {
struct AudioData {
  using SharedPtr = std::shared_ptr<AudioData>;
  std::vector<uint8_t> data;
};
}  // namespace audio_common_msgs::msg

#endif  // TOLVAREN_TTS_TESTS_ROS2_STUB_AUDIO_COMMON_MSGS_MSG_AUDIO_DATA_HPP_
