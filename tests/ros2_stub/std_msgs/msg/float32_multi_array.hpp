// Stand-in for std_msgs/msg/Float32MultiArray (see rclcpp/rclcpp.hpp here).
#ifndef TOLVAREN_TTS_TESTS_ROS2_STUB_STD_MSGS_MSG_FLOAT32_MULTI_ARRAY_HPP_
#define TOLVAREN_TTS_TESTS_ROS2_STUB_STD_MSGS_MSG_FLOAT32_MULTI_ARRAY_HPP_

#include <memory>
#include <vector>

namespace std_msgs::msg {
struct Float32MultiArray {
  using SharedPtr = std::shared_ptr<Float32MultiArray>;
  std::vector<float> data;
};
}  // namespace std_msgs::msg

#endif  // TOLVAREN_TTS_TESTS_ROS2_STUB_STD_MSGS_MSG_FLOAT32_MULTI_ARRAY_HPP_
