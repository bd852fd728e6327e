// JSON Lines timings for tolvaren_say: see timings_output.h.

#include "say/timings_output.h"

#include <iostream>
#include <utility>

#include "tool/io/chunk_file.h"
#include "tool/io/timings_jsonl.h"
#include "tool/synth/timings.h"

namespace tolvaren_say {

TimingsOutput::TimingsOutput(std::string path, int sample_rate)
    : path_(std::move(path)), sample_rate_(sample_rate) {
  lines_ = tolvaren::TimingsHeaderLine(sample_rate_);
  if (path_ == "-") {
    std::cerr << lines_ << std::flush;
    lines_.clear();
  }
}

void TimingsOutput::Add(std::vector<tolvaren_tts::WordTiming> entries,
                        int voice_rate, std::size_t offset,
                        std::size_t output_samples) {
  if (voice_rate != sample_rate_) {
    entries = tolvaren::RescaleTimings(std::move(entries), voice_rate,
                                       sample_rate_, output_samples);
  }
  std::string lines;
  for (const tolvaren_tts::WordTiming& entry : entries) {
    lines += tolvaren::TimingLine(entry, offset);
  }
  if (path_ == "-") {
    std::cerr << lines << std::flush;
  } else {
    lines_ += lines;
  }
}

bool TimingsOutput::Finish(std::string& error) {
  if (path_ == "-") {
    if (std::cerr) return true;
    error = "cannot write the timings to standard error";
    return false;
  }
  const absl::Status written = tolvaren::ReplaceFile(path_, [this](int fd) {
    return tolvaren::WriteAll(fd, lines_.data(), lines_.size());
  });
  if (written.ok()) return true;
  error = std::string(written.message());
  return false;
}

}  // namespace tolvaren_say
