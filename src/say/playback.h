// Speech out of the speakers: samples played on a sound server's output
// (PulseAudio, or PipeWire's PulseAudio service) as they are made, so that
// the first words sound while the rest is still being synthesised.

#ifndef TOLVAREN_TTS_SAY_PLAYBACK_H_
#define TOLVAREN_TTS_SAY_PLAYBACK_H_

#include <cstddef>
#include <memory>
#include <string>

namespace tolvaren_say {

class Player {
 public:
  // Connects to the sound server and opens a mono stream at
  // `sample_rate` on `device` (a sink name; empty: the server's default).
  // Null, with the reason in `error`, when there is no server, no such
  // device, or this build has no playback.
  static std::unique_ptr<Player> Open(const std::string& device,
                                      int sample_rate, std::string& error);
  virtual ~Player() = default;

  // Queues samples in [-1, 1] (beyond is clipped); blocks while the
  // server's buffer is full.
  virtual bool Write(const float* samples, std::size_t count,
                     std::string& error) = 0;
  // Waits until everything queued has been played.
  virtual bool Drain(std::string& error) = 0;
};

}  // namespace tolvaren_say

#endif  // TOLVAREN_TTS_SAY_PLAYBACK_H_
