#include "say/speaker.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "common/log_text.h"
#include "say/replacement_file.h"
#include "tool/io/chunk_file.h"

namespace tolvaren_say {

void Report(const std::string& message) {
  std::cerr << "tolvaren_say: " << tolvaren::EscapeForLog(message) << "\n";
}

Speaker::Speaker(const SayOptions& options,
                 tolvaren_tts::Synthesizer& synthesizer,
                 std::unique_ptr<tolvaren::Resampler> resampler)
    : options_(options),
      synthesizer_(synthesizer),
      resampler_(std::move(resampler)) {
  format_.sample_rate =
      options.rate != 0 ? options.rate : synthesizer.sample_rate();
  format_.samples =
      options.float_samples ? SampleFormat::kFloat32 : SampleFormat::kPcm16;
  format_.raw = options.raw;
  synthesis_.speed = options.speed;
  synthesis_.sentence_silence = options.silence;
  synthesis_.volume = options.volume;
  synthesis_.markup = options.ssml;
  if (!options.timings.empty()) synthesis_.timings = &entries_;
}

void Speaker::SetLineCount(long lines) {
  for (long limit = 10000; lines >= limit && name_digits_ < 18; limit *= 10) {
    ++name_digits_;
  }
}

bool Speaker::Begin() {
  std::string error;
  if (!options_.timings.empty()) {
    // A destination that cannot take the timings is found before the
    // audio is made, and before -o is replaced.
    timings_ =
        TimingsOutput::Open(options_.timings, format_.sample_rate, error);
    if (timings_ == nullptr) {
      Report(error);
      return false;
    }
  }
  if (!options_.output_dir.empty()) {
    if (IsSystemFolder(options_.output_dir)) {
      Report(options_.output_dir +
             " is in a system folder; no files are made there");
      return false;
    }
    std::error_code failed;
    std::filesystem::create_directories(options_.output_dir, failed);
    if (failed) {
      Report("cannot create " + options_.output_dir + ": " + failed.message());
      return false;
    }
    tolvaren::RemoveStaleTemporaryFiles(options_.output_dir);
  }
  if (options_.play) {
    shared_ = AudioOutput::OpenPlayback(options_.device, format_, error);
    if (shared_ == nullptr) OutputFailed(error);
    return shared_ != nullptr;
  }
  if (options_.output.empty()) return true;
  if (!options_.to_standard_output()) {
    tolvaren::RemoveStaleTemporaryFiles(tolvaren::FolderOf(options_.output));
  }
  shared_ = AudioOutput::Open(options_.output, format_, error);
  if (shared_ == nullptr) OutputFailed(error);
  return shared_ != nullptr;
}

bool Speaker::Speak(const std::string& text, long line) {
  if (options_.phonemes) {
    const PhonemeResult phonemes = Phonemes(text, line);
    if (phonemes == PhonemeResult::kLost) return false;
    if (phonemes == PhonemeResult::kTextFailed) return true;
  }
  if (shared_ != nullptr) {
    // The one output of the run failing ends it.
    bool text_ok = true;
    return SpeakInto(*shared_, text, line, "", text_ok);
  }
  if (options_.output_dir.empty()) return true;
  char name[32];
  std::snprintf(name, sizeof(name), "%0*ld.wav", name_digits_, line);
  std::string error;
  std::unique_ptr<AudioOutput> own =
      AudioOutput::Open(options_.output_dir + "/" + name, format_, error);
  if (own == nullptr) {
    OutputFailed(error);
    return true;
  }
  bool text_ok = true;
  // A file of its own that fails is that line's loss only: the run goes
  // on with the next line. The timings failing ends it.
  if (!SpeakInto(*own, text, line, name, text_ok)) return timings_ok_;
  if (text_ok && !own->Finish(error)) OutputFailed(error);
  return true;
}

bool Speaker::SpeakInto(AudioOutput& output, const std::string& text, long line,
                        const std::string& file, bool& text_ok) {
  std::string error;
  bool output_ok = true;
  std::size_t written = 0;
  const tolvaren_tts::Status status = synthesizer_.Synthesize(
      text, synthesis_, [&](const float* samples, std::size_t count) {
        output_ok = Put(output, samples, count, false, error, written);
        return output_ok;
      });
  if (output_ok) output_ok = Put(output, nullptr, 0, true, error, written);
  const std::size_t offset = &output == shared_.get() ? shared_offset_ : 0;
  if (&output == shared_.get()) shared_offset_ += written;
  if (!output_ok) {
    OutputFailed(error);
    if (resampler_ != nullptr) {
      // The next text starts a new signal.
      resampled_.clear();
      resampler_->Process(nullptr, 0, true, resampled_).IgnoreError();
    }
    return false;
  }
  text_ok = status.ok();
  if (!text_ok) TextFailed(line, status.message());
  if (text_ok && timings_ != nullptr) {
    timings_ok_ = timings_->Add(std::move(entries_), synthesizer_.sample_rate(),
                                offset, written, file, error);
    entries_.clear();
    if (!timings_ok_) {
      OutputFailed(error);
      return false;
    }
  }
  return true;
}

void Speaker::LineFailed(long line, const std::string& message) {
  TextFailed(line, message);
}

void Speaker::InputFailed(const std::string& message) {
  any_failed_ = true;
  Report(message);
}

bool Speaker::End() {
  const bool audio_ended = EndAudio();
  if (timings_ == nullptr) return audio_ended;
  // Like the audio file: the timings of a run that lost a text would not
  // match what the files hold.
  if (any_failed_ && options_.timings != "-") {
    if (timings_ok_) {
      Report(options_.timings + " is not written: a text or the input failed");
    }
    timings_.reset();
    return audio_ended;
  }
  std::string error;
  if (!timings_->Finish(error)) {
    Report(error);
    any_failed_ = true;
    return false;
  }
  return audio_ended;
}

bool Speaker::EndAudio() {
  if (shared_ == nullptr) return true;
  std::string error;
  // An existing file stays as it was unless every text went into the new
  // one; the temporary goes with `shared_`.
  if (any_failed_ && !options_.to_standard_output() && !options_.play) {
    Report(options_.output + " is left as it was: a text or the input failed");
    shared_.reset();
    return true;
  }
  if (!shared_->Finish(error)) {
    Report(error);
    any_failed_ = true;
    return false;
  }
  return true;
}

Speaker::PhonemeResult Speaker::Phonemes(const std::string& text, long line) {
  std::string pinyin;
  const tolvaren_tts::Status status =
      synthesizer_.Pinyin(text, synthesis_, &pinyin);
  if (!status.ok()) {
    TextFailed(line, status.message());
    return PhonemeResult::kTextFailed;
  }
  const bool to_error = options_.to_standard_output();
  std::ostream& out = to_error ? std::cerr : std::cout;
  out << pinyin << '\n' << std::flush;
  if (out) return PhonemeResult::kWritten;
  // Lost output is a failure like any other, and it ends the run.
  any_failed_ = true;
  std::cerr.clear();
  Report(std::string("cannot write the phonemes to ") +
         (to_error ? "standard error" : "standard output"));
  return PhonemeResult::kLost;
}

bool Speaker::Put(AudioOutput& output, const float* samples, std::size_t count,
                  bool last, std::string& error, std::size_t& written) {
  if (resampler_ == nullptr) {
    written += count;
    return count == 0 || output.Write(samples, count, error);
  }
  resampled_.clear();
  if (absl::Status done = resampler_->Process(samples, count, last, resampled_);
      !done.ok()) {
    error = std::string(done.message());
    return false;
  }
  written += resampled_.size();
  return resampled_.empty() ||
         output.Write(resampled_.data(), resampled_.size(), error);
}

void Speaker::TextFailed(long line, const std::string& message) {
  any_failed_ = true;
  if (options_.source == TextSource::kArguments) {
    Report(message);
  } else if (options_.source == TextSource::kFile && options_.ssml) {
    // The file is one document: the reader's message names its line.
    Report(options_.file + ": " + message);
  } else {
    Report("line " + std::to_string(line) + ": " + message);
  }
}

void Speaker::OutputFailed(const std::string& error) {
  any_failed_ = true;
  if (error.empty()) {
    reader_gone_ = true;
  } else {
    Report(error);
  }
}

}  // namespace tolvaren_say
