// A stand-in for the few parts of rclcpp that tolvaren_tts_node and the
// example node use, with the real signatures, so that both compile and link
// where ROS 2 cannot be installed. It does no ROS work.
#ifndef TOLVAREN_TTS_TESTS_ROS2_STUB_RCLCPP_RCLCPP_HPP_
#define TOLVAREN_TTS_TESTS_ROS2_STUB_RCLCPP_RCLCPP_HPP_

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"

namespace rclcpp {

struct Logger {};
inline Logger get_logger(const std::string&) { return {}; }

class QoS {
 public:
  QoS(std::size_t) {}  // NOLINT: implicit, as rclcpp's
  QoS& transient_local() { return *this; }
};

class Parameter {
 public:
  const std::string& get_name() const { return name_; }
  const std::string& as_string() const { return text_; }
  double as_double() const { return number_; }

 private:
  std::string name_;
  std::string text_;
  double number_ = 0;
};

template <typename Message>
class Publisher {
 public:
  using SharedPtr = std::shared_ptr<Publisher>;
  void publish(const Message&) {}
};

template <typename Message>
class Subscription {
 public:
  using SharedPtr = std::shared_ptr<Subscription>;
  std::function<void(typename Message::SharedPtr)> callback;
};

class Node {
 public:
  explicit Node(const std::string&) {}
  virtual ~Node() = default;
  Logger get_logger() const { return {}; }

  using OnParametersSetCallbackType =
      std::function<rcl_interfaces::msg::SetParametersResult(
          const std::vector<Parameter>&)>;
  struct OnSetParametersCallbackHandle {
    using SharedPtr = std::shared_ptr<OnSetParametersCallbackHandle>;
    OnParametersSetCallbackType callback;
  };

  template <typename ParameterT>
  ParameterT declare_parameter(const std::string&,
                               const ParameterT& default_value,
                               const rcl_interfaces::msg::ParameterDescriptor& =
                                   rcl_interfaces::msg::ParameterDescriptor(),
                               bool = false) {
    return default_value;
  }
  OnSetParametersCallbackHandle::SharedPtr add_on_set_parameters_callback(
      OnParametersSetCallbackType callback) {
    auto handle = std::make_shared<OnSetParametersCallbackHandle>();
    handle->callback = std::move(callback);
    return handle;
  }

  template <typename Message>
  typename Publisher<Message>::SharedPtr create_publisher(const std::string&,
                                                          const QoS&) {
    return std::make_shared<Publisher<Message>>();
  }
  template <typename Message, typename Callback>
  typename Subscription<Message>::SharedPtr create_subscription(
      const std::string&, const QoS&, Callback&& callback) {
    auto subscription = std::make_shared<Subscription<Message>>();
    subscription->callback = std::forward<Callback>(callback);
    return subscription;
  }
};

inline void init(int, char**) {}
inline bool ok() { return true; }
inline void spin(const std::shared_ptr<Node>&) {}
inline void shutdown() {}

}  // namespace rclcpp

#define RCLCPP_INFO(logger, ...) \
  ((void)(logger), std::fprintf(stderr, __VA_ARGS__), std::fputc('\n', stderr))
#define RCLCPP_WARN(logger, ...) RCLCPP_INFO(logger, __VA_ARGS__)
#define RCLCPP_ERROR(logger, ...) RCLCPP_INFO(logger, __VA_ARGS__)
#define RCLCPP_FATAL(logger, ...) RCLCPP_INFO(logger, __VA_ARGS__)

#endif  // TOLVAREN_TTS_TESTS_ROS2_STUB_RCLCPP_RCLCPP_HPP_
