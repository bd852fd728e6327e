#include "library/c_status.h"

#include <cstdlib>
#include <cstring>

namespace tolvaren_tts::c_api {
namespace {

tolvaren_tts_status CNumber(StatusCode code) {
  switch (code) {
    case StatusCode::kOk:
      return TOLVAREN_TTS_OK;
    case StatusCode::kInvalidArgument:
      return TOLVAREN_TTS_INVALID_ARGUMENT;
    case StatusCode::kNotFound:
      return TOLVAREN_TTS_NOT_FOUND;
    case StatusCode::kFailedPrecondition:
      return TOLVAREN_TTS_FAILED_PRECONDITION;
    case StatusCode::kUnimplemented:
      return TOLVAREN_TTS_UNIMPLEMENTED;
    case StatusCode::kRuntimeError:
      return TOLVAREN_TTS_RUNTIME_ERROR;
    case StatusCode::kCancelled:
      return TOLVAREN_TTS_CANCELLED;
    case StatusCode::kInCallback:
      return TOLVAREN_TTS_IN_CALLBACK;
    case StatusCode::kInternal:
      break;
  }
  return TOLVAREN_TTS_INTERNAL;
}

}  // namespace

std::string& LastError() {
  thread_local std::string last_error;
  return last_error;
}

tolvaren_tts_status Report(const Status& status) {
  LastError() = status.message();
  return CNumber(status.code());
}

tolvaren_tts_status Fail(tolvaren_tts_status status, const char* message) {
  LastError() = message;
  return status;
}

tolvaren_tts_status NullArgument(const char* name) {
  LastError() = std::string(name) + " is NULL";
  return TOLVAREN_TTS_INVALID_ARGUMENT;
}

char* CopyOut(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace tolvaren_tts::c_api
