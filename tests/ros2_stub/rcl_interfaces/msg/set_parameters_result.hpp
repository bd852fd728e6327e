// Stand-in for rcl_interfaces/msg/SetParametersResult (see rclcpp/rclcpp.hpp
// here).
#ifndef TOLVAREN_TTS_TESTS_ROS2_STUB_RCL_INTERFACES_MSG_SET_PARAMETERS_RESULT_HPP_
#define TOLVAREN_TTS_TESTS_ROS2_STUB_RCL_INTERFACES_MSG_SET_PARAMETERS_RESULT_HPP_

#include <string>

namespace rcl_interfaces::msg {
struct SetParametersResult {
  bool successful = false;
  std::string reason;
};
}  // namespace rcl_interfaces::msg

#endif  // TOLVAREN_TTS_TESTS_ROS2_STUB_RCL_INTERFACES_MSG_SET_PARAMETERS_RESULT_HPP_
