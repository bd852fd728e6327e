// Stand-in for std_msgs/msg/String (see rclcpp/rclcpp.hpp here).
#ifndef TOLVAREN_TTS_TESTS_ROS2_STUB_STD_MSGS_MSG_STRING_HPP_
#define TOLVAREN_TTS_TESTS_ROS2_STUB_STD_MSGS_MSG_STRING_HPP_

#include <memory>
#include <string>

namespace std_msgs::msg {
struct String {
  using SharedPtr = std::shared_ptr<String>;
  std::string data;
};
}  // namespace std_msgs::msg

#endif  // TOLVAREN_TTS_TESTS_ROS2_STUB_STD_MSGS_MSG_STRING_HPP_
