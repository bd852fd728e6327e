#include "say/playback.h"

#ifdef TOLVAREN_HAS_PULSE
#include <pulse/error.h>
#include <pulse/simple.h>
#endif

#include <algorithm>
#include <vector>

namespace tolvaren_say {
namespace {

// What is buffered before playback starts and kept ahead of it: short
// enough that speech starts at once, long enough to ride out a scheduling
// hiccup (a chunk is made in a fraction of its duration).
constexpr int kBufferMilliseconds = 200;

#ifdef TOLVAREN_HAS_PULSE

std::string PulseError(const std::string& what, int code) {
  return what + ": " + pa_strerror(code);
}

class PulsePlayer : public Player {
 public:
  explicit PulsePlayer(pa_simple* stream) : stream_(stream) {}
  ~PulsePlayer() override { pa_simple_free(stream_); }

  bool Write(const float* samples, std::size_t count,
             std::string& error) override {
    clipped_.resize(count);
    std::transform(samples, samples + count, clipped_.begin(),
                   [](float s) { return std::clamp(s, -1.0f, 1.0f); });
    int code = 0;
    if (pa_simple_write(stream_, clipped_.data(), count * sizeof(float),
                        &code) < 0) {
      error = PulseError("cannot play", code);
      return false;
    }
    return true;
  }

  bool Drain(std::string& error) override {
    int code = 0;
    if (pa_simple_drain(stream_, &code) < 0) {
      error = PulseError("cannot play", code);
      return false;
    }
    return true;
  }

 private:
  pa_simple* stream_;
  std::vector<float> clipped_;
};

#endif

}  // namespace

std::unique_ptr<Player> Player::Open(const std::string& device, int sample_rate,
                                     std::string& error) {
#ifdef TOLVAREN_HAS_PULSE
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_FLOAT32NE;
  spec.rate = static_cast<uint32_t>(sample_rate);
  spec.channels = 1;
  const uint32_t ahead = static_cast<uint32_t>(
      pa_usec_to_bytes(kBufferMilliseconds * 1000ULL, &spec));
  pa_buffer_attr buffering{};
  buffering.maxlength = static_cast<uint32_t>(-1);
  buffering.tlength = ahead;
  buffering.prebuf = ahead;
  buffering.minreq = static_cast<uint32_t>(-1);
  buffering.fragsize = static_cast<uint32_t>(-1);
  int code = 0;
  pa_simple* stream =
      pa_simple_new(nullptr, "tolvaren_say", PA_STREAM_PLAYBACK,
                    device.empty() ? nullptr : device.c_str(), "speech", &spec,
                    nullptr, &buffering, &code);
  if (stream == nullptr) {
    const std::string hint =
        code == PA_ERR_NOENTITY
            ? " (pactl list short sinks lists the outputs)"
            : " (no sound server running? -o FILE.wav writes a file instead)";
    error = PulseError(device.empty() ? std::string("cannot play")
                                      : "cannot play on " + device,
                       code) +
            hint;
    return nullptr;
  }
  return std::make_unique<PulsePlayer>(stream);
#else
  static_cast<void>(device);
  static_cast<void>(sample_rate);
  error =
      "this tolvaren_say was built without playback (libpulse-dev): give "
      "-o FILE.wav or -o - | aplay";
  return nullptr;
#endif
}

}  // namespace tolvaren_say
