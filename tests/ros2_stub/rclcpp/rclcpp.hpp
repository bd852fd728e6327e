// A stand-in for the few parts of rclcpp the README's node uses, so that
// the node compiles and links against the library where ROS 2 cannot be
// installed. It does no ROS work.
#ifndef TOLVAREN_TTS_TESTS_ROS2_STUB_RCLCPP_RCLCPP_HPP_
#define TOLVAREN_TTS_TESTS_ROS2_STUB_RCLCPP_RCLCPP_HPP_

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace rclcpp {

struct Logger {};

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

  template <typename Message>
  typename Publisher<Message>::SharedPtr create_publisher(const std::string&,
                                                          int) {
    return std::make_shared<Publisher<Message>>();
  }
  template <typename Message, typename Callback>
  typename Subscription<Message>::SharedPtr create_subscription(
      const std::string&, int, Callback&& callback) {
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
#define RCLCPP_ERROR(logger, ...) RCLCPP_INFO(logger, __VA_ARGS__)

#endif  // TOLVAREN_TTS_TESTS_ROS2_STUB_RCLCPP_RCLCPP_HPP_
