// Stand-in for rcl_interfaces/msg/ParameterDescriptor (see rclcpp/rclcpp.hpp
// here).
#ifndef TOLVAREN_TTS_TESTS_ROS2_STUB_RCL_INTERFACES_MSG_PARAMETER_DESCRIPTOR_HPP_
#define TOLVAREN_TTS_TESTS_ROS2_STUB_RCL_INTERFACES_MSG_PARAMETER_DESCRIPTOR_HPP_

#include <string>

namespace rcl_interfaces::msg {
struct ParameterDescriptor {
  std::string name;
  std::string description;
};
}  // namespace rcl_interfaces::msg

#endif  // TOLVAREN_TTS_TESTS_ROS2_STUB_RCL_INTERFACES_MSG_PARAMETER_DESCRIPTOR_HPP_
