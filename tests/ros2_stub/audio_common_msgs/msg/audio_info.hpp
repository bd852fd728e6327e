// Stand-in for audio_common_msgs/msg/AudioInfo (see rclcpp/rclcpp.hpp here).
#ifndef TOLVAREN_TTS_TESTS_ROS2_STUB_AUDIO_COMMON_MSGS_MSG_AUDIO_INFO_HPP_
#define TOLVAREN_TTS_TESTS_ROS2_STUB_AUDIO_COMMON_MSGS_MSG_AUDIO_INFO_HPP_

#include <cstdint>
#include <memory>
#include <string>

namespace audio_common_msgs::msg {
struct AudioInfo {
  using SharedPtr = std::shared_ptr<AudioInfo>;
  uint8_t channels = 0;
  uint32_t sample_rate = 0;
  std::string sample_format;
  uint32_t bitrate = 0;
  std::string coding_format;
};
}  // namespace audio_common_msgs::msg

#endif  // TOLVAREN_TTS_TESTS_ROS2_STUB_AUDIO_COMMON_MSGS_MSG_AUDIO_INFO_HPP_
