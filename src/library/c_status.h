// What every call of the C interface shares: the calling thread's error
// text, statuses made from the C++ library's, and the guard that turns
// anything thrown into a status.

#ifndef TOLVAREN_LIBRARY_C_STATUS_H_
#define TOLVAREN_LIBRARY_C_STATUS_H_

#include <cstddef>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "tolvaren_tts/status.h"
#include "tolvaren_tts/tolvaren_tts.h"

// Whether a caller's struct of type `type`, `struct_size` bytes long,
// reaches as far as `field`: a caller built against an older header passes
// a shorter struct, whose missing fields keep their defaults.
#define TOLVAREN_TTS_HOLDS(type, object, field) \
  ((object).struct_size >= offsetof(type, field) + sizeof((object).field))

namespace tolvaren_tts::c_api {

// What every public struct's _init does: all fields zero, struct_size set.
template <typename Struct>
void ZeroWithSize(Struct* fields) {
  if (fields == nullptr) return;
  std::memset(fields, 0, sizeof(*fields));
  fields->struct_size = sizeof(*fields);
}

// Why the calling thread's last call failed; empty after one that did not.
std::string& LastError();

// `status` as a C status, its message as the thread's error text.
tolvaren_tts_status Report(const Status& status);
tolvaren_tts_status Fail(tolvaren_tts_status status, const char* message);
// INVALID_ARGUMENT: "<name> is NULL".
tolvaren_tts_status NullArgument(const char* name);

// Runs `call`, turning anything it throws into a status.
template <typename Call>
tolvaren_tts_status Guarded(Call call) {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return Fail(TOLVAREN_TTS_OUT_OF_MEMORY, "out of memory");
  } catch (const std::exception& e) {
    LastError() = std::string("unexpected: ") + e.what();
    return TOLVAREN_TTS_INTERNAL;
  } catch (...) {
    return Fail(TOLVAREN_TTS_INTERNAL, "unexpected failure");
  }
}

// A NUL-terminated copy the caller frees with free(); nullptr when out of
// memory.
char* CopyOut(const std::string& text);

}  // namespace tolvaren_tts::c_api

#endif  // TOLVAREN_LIBRARY_C_STATUS_H_
