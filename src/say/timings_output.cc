// JSON Lines timings for tolvaren_say: see timings_output.h.

#include "say/timings_output.h"

#include <iostream>
#include <utility>

#include "tool/io/chunk_file.h"
#include "tool/io/timings_jsonl.h"
#include "tool/synth/timings.h"

namespace tolvaren_say {

std::unique_ptr<TimingsOutput> TimingsOutput::Open(const std::string& path,
                                                   int sample_rate,
                                                   std::string& error) {
  std::unique_ptr<ReplacementFile> file;
  if (path != "-") {
    file = ReplacementFile::Open(
        path, " (--timings - writes to standard error)", error);
    if (file == nullptr) return nullptr;
  }
  std::unique_ptr<TimingsOutput> output(
      new TimingsOutput(std::move(file), sample_rate));
  if (!output->Write(tolvaren::TimingsHeaderLine(sample_rate), error)) {
    return nullptr;
  }
  return output;
}

bool TimingsOutput::Add(std::vector<tolvaren_tts::WordTiming> entries,
                        int voice_rate, std::size_t offset,
                        std::size_t output_samples, const std::string& file,
                        std::string& error) {
  if (voice_rate != sample_rate_) {
    entries = tolvaren::RescaleTimings(std::move(entries), voice_rate,
                                       sample_rate_, output_samples);
  }
  std::string lines;
  for (const tolvaren_tts::WordTiming& entry : entries) {
    lines += tolvaren::TimingLine(entry, offset, file);
  }
  return Write(lines, error);
}

bool TimingsOutput::Write(const std::string& lines, std::string& error) {
  if (file_ == nullptr) {
    if (std::cerr << lines << std::flush) return true;
    error = "cannot write the timings to standard error";
    return false;
  }
  if (tolvaren::WriteAll(file_->fd(), lines.data(), lines.size())) {
    return true;
  }
  error = file_->WriteError();
  return false;
}

bool TimingsOutput::Finish(std::string& error) {
  if (file_ == nullptr) {
    if (std::cerr) return true;
    error = "cannot write the timings to standard error";
    return false;
  }
  return file_->Commit(error);
}

}  // namespace tolvaren_say
