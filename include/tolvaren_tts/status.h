// The outcome of a library call: a code and a message for people. The
// library's own type, so that its callers need none of its dependencies'
// headers.

#ifndef TOLVAREN_TTS_STATUS_H_
#define TOLVAREN_TTS_STATUS_H_

#include <string>
#include <utility>

namespace tolvaren_tts {

enum class StatusCode {
  kOk = 0,
  kInvalidArgument,     // a bad option, or a text the front end cannot read
  kNotFound,            // a configuration, voice or model file is missing
  kFailedPrecondition,  // the models or the front end cannot work together
  kUnimplemented,       // asked of a voice that cannot do it
  kRuntimeError,        // ONNX Runtime failed; the message is its own
  kCancelled,           // the streaming callback asked to stop
  kInternal,            // anything else; the message says what
  kInCallback,          // a call on an engine from inside its own callback
};

class Status {
 public:
  Status() = default;
  Status(StatusCode code, std::string message)
      : code_(code), message_(std::move(message)) {}

  bool ok() const { return code_ == StatusCode::kOk; }
  StatusCode code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  StatusCode code_ = StatusCode::kOk;
  std::string message_;
};

}  // namespace tolvaren_tts

#endif  // TOLVAREN_TTS_STATUS_H_
