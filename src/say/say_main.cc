// tolvaren_say: speaks Mandarin Chinese text into WAV audio, for people and
// pipes. One engine is loaded for the whole run; see PrintSayUsage.

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "say/audio_output.h"
#include "say/say_options.h"
#include "tolvaren_tts/log.h"
#include "tolvaren_tts/synthesizer.h"
#include "tool/io/resampler.h"

namespace tolvaren_say {
namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Fail(const std::string& message) {
  std::cerr << "tolvaren_say: " << message << "\n";
  return kFailed;
}

// Speaks texts one by one into the outputs the options name.
class Speaker {
 public:
  Speaker(const SayOptions& options, tolvaren_tts::Synthesizer& synthesizer,
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
  }

  // Makes the folder of --output-dir or opens the one output of -o.
  bool Begin(std::string& error) {
    if (!options_.output_dir.empty()) {
      std::error_code failed;
      std::filesystem::create_directories(options_.output_dir, failed);
      if (failed) {
        error =
            "cannot create " + options_.output_dir + ": " + failed.message();
        return false;
      }
    }
    if (options_.output.empty()) return true;
    shared_ = AudioOutput::Open(options_.output, format_, error);
    return shared_ != nullptr;
  }

  // Speaks the text of line `line`. False only when the output failed,
  // which ends the run; a text that cannot be spoken is reported and
  // counted.
  bool Speak(const std::string& text, long line) {
    if (options_.phonemes && !Phonemes(text, line)) return true;
    if (options_.output.empty() && options_.output_dir.empty()) return true;
    std::unique_ptr<AudioOutput> own;
    AudioOutput* output = shared_.get();
    std::string error;
    if (output == nullptr) {
      char name[32];
      std::snprintf(name, sizeof(name), "/%04ld.wav", line);
      own = AudioOutput::Open(options_.output_dir + name, format_, error);
      if (own == nullptr) return OutputFailed(error);
      output = own.get();
    }
    bool output_ok = true;
    const tolvaren_tts::Status status = synthesizer_.Synthesize(
        text, synthesis_, [&](const float* samples, std::size_t count) {
          output_ok = Put(*output, samples, count, false, error);
          return output_ok;
        });
    if (output_ok) output_ok = Put(*output, nullptr, 0, true, error);
    if (!output_ok) return OutputFailed(error);
    if (!status.ok()) {
      TextFailed(line, status.message());
      return true;
    }
    if (own != nullptr && !own->Finish(error)) return OutputFailed(error);
    return true;
  }

  // Completes the output of -o.
  bool End(std::string& error) {
    return shared_ == nullptr || shared_->Finish(error);
  }

  bool any_failed() const { return any_failed_; }

 private:
  bool Phonemes(const std::string& text, long line) {
    std::string pinyin;
    const tolvaren_tts::Status status = synthesizer_.Pinyin(text, &pinyin);
    if (!status.ok()) {
      TextFailed(line, status.message());
      return false;
    }
    std::ostream& out = options_.to_standard_output() ? std::cerr : std::cout;
    out << pinyin << std::endl;
    return true;
  }

  // Writes samples at the output's rate; `last` ends one text's signal.
  bool Put(AudioOutput& output, const float* samples, std::size_t count,
           bool last, std::string& error) {
    if (resampler_ == nullptr) {
      return count == 0 || output.Write(samples, count, error);
    }
    resampled_.clear();
    if (absl::Status done =
            resampler_->Process(samples, count, last, resampled_);
        !done.ok()) {
      error = std::string(done.message());
      return false;
    }
    return resampled_.empty() ||
           output.Write(resampled_.data(), resampled_.size(), error);
  }

  void TextFailed(long line, const std::string& message) {
    any_failed_ = true;
    if (options_.source == TextSource::kArguments) {
      std::cerr << "tolvaren_say: " << message << "\n";
    } else {
      std::cerr << "tolvaren_say: line " << line << ": " << message << "\n";
    }
  }

  bool OutputFailed(const std::string& error) {
    any_failed_ = true;
    std::cerr << "tolvaren_say: " << error << "\n";
    return false;
  }

  const SayOptions& options_;
  tolvaren_tts::Synthesizer& synthesizer_;
  std::unique_ptr<tolvaren::Resampler> resampler_;
  StreamFormat format_;
  tolvaren_tts::SynthesisOptions synthesis_;
  std::unique_ptr<AudioOutput> shared_;
  std::vector<float> resampled_;
  bool any_failed_ = false;
};

// Speaks every line of `in` as it arrives; empty lines are skipped.
bool SpeakLines(std::istream& in, Speaker& speaker) {
  std::string line;
  for (long number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!speaker.Speak(line, number)) return false;
  }
  return true;
}

int Run(const SayOptions& options) {
  tolvaren_tts::LogToStandardError(options.verbose);
  tolvaren_tts::SynthesizerConfig config;
  config.conf_path = options.conf_path;
  config.voice = options.voice;
  std::unique_ptr<tolvaren_tts::Synthesizer> synthesizer;
  // The front end echoes its configuration on standard error as it starts;
  // unless asked for, that is shown only when the start fails.
  std::ostringstream startup_lines;
  std::streambuf* standard_error = nullptr;
  if (!options.verbose) standard_error = std::cerr.rdbuf(startup_lines.rdbuf());
  const tolvaren_tts::Status created =
      tolvaren_tts::Synthesizer::Create(config, &synthesizer);
  if (standard_error != nullptr) std::cerr.rdbuf(standard_error);
  if (!created.ok()) {
    std::cerr << startup_lines.str();
    return Fail(created.message());
  }
  // Mistyped configuration lines are shown even when the rest is not.
  if (standard_error != nullptr) {
    std::istringstream lines(startup_lines.str());
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("tolvaren_say: configuration ", 0) == 0) {
        std::cerr << line << "\n";
      }
    }
  }
  // The options are checked against the voice before any text is read.
  tolvaren_tts::SynthesisOptions synthesis;
  synthesis.speed = options.speed;
  synthesis.sentence_silence = options.silence;
  tolvaren_tts::Audio nothing;
  if (tolvaren_tts::Status usable =
          synthesizer->Synthesize("", synthesis, &nothing);
      !usable.ok()) {
    return Fail(usable.message());
  }
  std::unique_ptr<tolvaren::Resampler> resampler;
  if (options.rate != 0 && options.rate != synthesizer->sample_rate()) {
    absl::StatusOr<std::unique_ptr<tolvaren::Resampler>> made =
        tolvaren::Resampler::Create(synthesizer->sample_rate(), options.rate);
    if (!made.ok()) return Fail(std::string(made.status().message()));
    resampler = *std::move(made);
  }

  Speaker speaker(options, *synthesizer, std::move(resampler));
  std::string error;
  if (!speaker.Begin(error)) return Fail(error);
  bool output_ok = true;
  switch (options.source) {
    case TextSource::kArguments:
      output_ok = options.text.empty() || speaker.Speak(options.text, 1);
      break;
    case TextSource::kFile: {
      std::ifstream file(options.file);
      if (!file.is_open()) return Fail("cannot open " + options.file);
      output_ok = SpeakLines(file, speaker);
      if (output_ok && file.bad()) return Fail("cannot read " + options.file);
      break;
    }
    case TextSource::kStandardInput:
      output_ok = SpeakLines(std::cin, speaker);
      break;
  }
  if (!output_ok) return kFailed;
  if (!speaker.End(error)) return Fail(error);
  return speaker.any_failed() ? kFailed : kOk;
}

}  // namespace
}  // namespace tolvaren_say

int main(int argc, char** argv) {
  // A reader that goes away (a player closed, `head`) is a write error to
  // report, not a signal that ends the process silently.
  std::signal(SIGPIPE, SIG_IGN);
  tolvaren_say::SayOptions options;
  std::string error;
  if (!tolvaren_say::ParseSayOptions(argc, argv, options, error)) {
    std::cerr << "tolvaren_say: " << error << "\n";
    tolvaren_say::PrintSayUsage(std::cerr);
    return tolvaren_say::kUsage;
  }
  if (options.help) {
    tolvaren_say::PrintSayUsage(std::cout);
    return tolvaren_say::kOk;
  }
  if (options.version) {
    std::cout << "tolvaren_say " << TOLVAREN_VERSION << "\n";
    return tolvaren_say::kOk;
  }
  return tolvaren_say::Run(options);
}
