// tolvaren_say: speaks Mandarin Chinese text into WAV audio, for people and
// pipes. One engine is loaded for the whole run; see PrintSayUsage.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/bounded_file.h"
#include "common/log_text.h"
#include "say/output_plan.h"
#include "say/say_options.h"
#include "say/signal_cleanup.h"
#include "say/speaker.h"
#include "tolvaren_tts/log.h"
#include "tolvaren_tts/synthesizer.h"
#include "tolvaren_tts/voices.h"
#include "tool/io/resampler.h"

namespace tolvaren_say {
namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
// What a filter whose reader went away ends with: 128 + SIGPIPE.
constexpr int kReaderGone = 128 + SIGPIPE;

int Fail(const std::string& message) {
  Report(message);
  return kFailed;
}

// A closed standard stream is given /dev/null, so that no file the run
// opens later takes its number (and receives what was meant for it).
// Returns whether standard output was closed.
bool ReopenClosedStandardStreams() {
  bool output_closed = false;
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) output_closed = true;
    const int opened = open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) close(opened);
  }
  return output_closed;
}

bool WritesStandardOutput(const SayOptions& options) {
  return options.to_standard_output() || options.phonemes;
}

// The lines left in `fd` when it is a regular file (standard input
// redirected from one), counted without moving its offset; -1 for a pipe,
// a terminal or a failed read, whose lines are known only as they come.
long LinesAhead(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  off_t at = lseek(fd, 0, SEEK_CUR);
  if (at < 0) return -1;
  long lines = 0;
  char buffer[1 << 16];
  char last = '\n';
  for (;;) {
    const ssize_t got = pread(fd, buffer, sizeof(buffer), at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    lines += std::count(buffer, buffer + got, '\n');
    last = buffer[got - 1];
    at += got;
  }
  return lines + (last != '\n');
}

// Speaks every line of standard input as it arrives; empty lines are
// skipped. A failed read is reported and counted.
void SpeakStandardInput(Speaker& speaker) {
  tolvaren::LineReader reader(STDIN_FILENO, tolvaren::kMaxLineBytes);
  std::string line;
  for (long number = 1;; ++number) {
    switch (reader.Next(line)) {
      case tolvaren::LineReader::Result::kEnd:
        return;
      case tolvaren::LineReader::Result::kError:
        speaker.InputFailed(std::string("cannot read standard input: ") +
                            std::strerror(errno));
        return;
      case tolvaren::LineReader::Result::kTooLong:
        speaker.LineFailed(number,
                           "the line is longer than " +
                               std::to_string(tolvaren::kMaxLineBytes >> 10) +
                               " KiB; it is skipped");
        continue;
      case tolvaren::LineReader::Result::kLine:
        break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!speaker.Speak(line, number)) return;
  }
}

// The lines of a text file, read whole (bounded) before anything is opened
// for writing.
void SpeakFile(std::string text, Speaker& speaker) {
  std::istringstream lines(std::move(text));
  std::string line;
  for (long number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!speaker.Speak(line, number)) break;
  }
}

bool FinishStandardOutput();

tolvaren_tts::SynthesizerConfig EngineConfig(const SayOptions& options) {
  tolvaren_tts::SynthesizerConfig config;
  config.conf_path = options.conf_path;
  config.voice = options.voice;
  config.threads = options.threads;
  return config;
}

// The library's records: every one with -v; otherwise the warnings alone
// (a configuration line that is likely a mistake, a resource done
// without), since each failure is printed once, from its Status.
void ShowLog(bool verbose) {
  tolvaren_tts::SetLogCallback(
      [verbose](tolvaren_tts::LogLevel level, const std::string& message) {
        if (verbose || level == tolvaren_tts::LogLevel::kWarning) {
          Report(message);
        }
      },
      verbose ? tolvaren_tts::LogLevel::kInfo
              : tolvaren_tts::LogLevel::kWarning);
}

tolvaren_tts::Status StartEngine(
    const SayOptions& options,
    std::unique_ptr<tolvaren_tts::Synthesizer>& synthesizer) {
  // The engine's threads start here and inherit the held signals: only
  // this thread handles them, between the steps that make and rename a
  // temporary.
  const SignalsHeld held;
  return tolvaren_tts::Synthesizer::Create(EngineConfig(options), &synthesizer);
}

std::string SpeedSupport(const tolvaren_tts::VoiceInfo& voice) {
  return voice.supports_speed ? "speed 0.25 to 4" : "one speed only";
}

// --list-voices: NAME, RATE Hz, speed support, licence, tab-separated.
void ListVoiceLines(const std::vector<tolvaren_tts::VoiceInfo>& voices,
                    std::ostream& out) {
  for (const tolvaren_tts::VoiceInfo& voice : voices) {
    out << tolvaren::EscapeForLog(voice.name) << '\t' << voice.sample_rate
        << " Hz\t" << SpeedSupport(voice) << '\t'
        << (voice.licence.empty() ? "licence not stated"
                                  : tolvaren::EscapeForLog(voice.licence))
        << '\n';
  }
}

// --help's last part: the voices this configuration offers.
void PrintVoiceSummary(const SayOptions& options, std::ostream& out) {
  std::vector<tolvaren_tts::VoiceInfo> voices;
  const tolvaren_tts::Status listed =
      tolvaren_tts::ListVoices(EngineConfig(options), &voices);
  out << "\nVoices (--voice NAME; --list-voices shows their licences):\n";
  if (!listed.ok()) {
    out << "  none found: " << tolvaren::EscapeForLog(listed.message()) << '\n';
    return;
  }
  for (const tolvaren_tts::VoiceInfo& voice : voices) {
    out << "  " << tolvaren::EscapeForLog(voice.name) << ": "
        << voice.sample_rate << " Hz, " << SpeedSupport(voice) << '\n';
  }
}

// --help, --version and --list-voices: standard output only, no engine.
int PrintInformation(const SayOptions& options) {
  if (options.help) {
    PrintSayUsage(std::cout);
    PrintVoiceSummary(options, std::cout);
  } else if (options.version) {
    std::cout << "tolvaren_say " << TOLVAREN_VERSION << "\n";
  } else {
    std::vector<tolvaren_tts::VoiceInfo> voices;
    if (tolvaren_tts::Status listed =
            tolvaren_tts::ListVoices(EngineConfig(options), &voices);
        !listed.ok()) {
      return Fail(listed.message());
    }
    ListVoiceLines(voices, std::cout);
  }
  return FinishStandardOutput() ? kOk : kFailed;
}

// Standard output as a whole: what stdio still holds, and the close that
// reports a write the system deferred.
bool FinishStandardOutput() {
  std::cout.flush();
  const bool flushed =
      std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
  return close(STDOUT_FILENO) == 0 && flushed;
}

int Run(const SayOptions& options) {
  ShowLog(options.verbose);
  // The text file is read whole first: a refused one costs no start-up, and
  // no output is opened for it.
  std::string file_text;
  if (options.source == TextSource::kFile) {
    absl::StatusOr<std::string> read =
        tolvaren::ReadBoundedFile(options.file, tolvaren::kMaxTextFileBytes);
    if (!read.ok()) return Fail(std::string(read.status().message()));
    file_text = *std::move(read);
  }
  std::unique_ptr<tolvaren_tts::Synthesizer> synthesizer;
  if (tolvaren_tts::Status created = StartEngine(options, synthesizer);
      !created.ok()) {
    return Fail(created.message());
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
  if (options.source == TextSource::kFile) {
    const bool open_end = !file_text.empty() && file_text.back() != '\n';
    speaker.SetLineCount(static_cast<long>(
        std::count(file_text.begin(), file_text.end(), '\n') + open_end));
  } else if (options.source == TextSource::kStandardInput &&
             !options.output_dir.empty()) {
    // A file given as standard input has a known count too.
    speaker.SetLineCount(LinesAhead(STDIN_FILENO));
  }
  if (!speaker.Begin()) return speaker.reader_gone() ? kReaderGone : kFailed;
  switch (options.source) {
    case TextSource::kArguments:
      if (!options.text.empty()) speaker.Speak(options.text, 1);
      break;
    case TextSource::kFile:
      // A markup document may span lines: the file is one text.
      if (options.ssml) {
        speaker.Speak(file_text, 1);
      } else {
        SpeakFile(std::move(file_text), speaker);
      }
      break;
    case TextSource::kStandardInput:
      SpeakStandardInput(speaker);
      break;
  }
  // Nothing more is said: the temporaries go with the speaker.
  if (speaker.reader_gone()) return kReaderGone;
  const bool ended = speaker.End();
#ifndef TOLVAREN_FREE_AT_EXIT
  // The process ends next (see main): the engine's tables and sessions go
  // with it instead of being freed one by one.
  static_cast<void>(synthesizer.release());
#endif
  if (WritesStandardOutput(options) && !FinishStandardOutput() &&
      !speaker.any_failed()) {
    return Fail("cannot write standard output");
  }
  return ended && !speaker.any_failed() ? kOk : kFailed;
}

}  // namespace
}  // namespace tolvaren_say

int main(int argc, char** argv) {
  const bool output_closed = tolvaren_say::ReopenClosedStandardStreams();
  // A reader that goes away (a player closed, `head`) is seen as a write
  // error, so that the temporaries go before the run ends (quietly, with
  // the status a filter killed by SIGPIPE has).
  std::signal(SIGPIPE, SIG_IGN);
  tolvaren_say::RemoveTemporaryOnSignals();
  tolvaren_say::SayOptions options;
  std::string error;
  if (!tolvaren_say::ParseSayOptions(argc, argv, options, error)) {
    tolvaren_say::Report(error + " (see tolvaren_say --help)");
    return tolvaren_say::kUsage;
  }
  if (options.help || options.version || options.list_voices) {
    if (output_closed) return tolvaren_say::Fail("standard output is closed");
    return tolvaren_say::PrintInformation(options);
  }
  if (const std::string twice = tolvaren_say::SameFileTwice(options);
      !twice.empty()) {
    tolvaren_say::Report(twice);
    return tolvaren_say::kUsage;
  }
  if (output_closed && tolvaren_say::WritesStandardOutput(options)) {
    return tolvaren_say::Fail("standard output is closed");
  }
  const int status = tolvaren_say::Run(options);
#ifndef TOLVAREN_FREE_AT_EXIT
  // Everything is written and closed: the engine Run left in place and the
  // runtime libraries' global tables go with the process instead of being
  // torn down one by one. Sanitizer builds exit normally, so that their
  // leak check still runs.
  std::fflush(nullptr);
  _exit(status);
#else
  return status;
#endif
}
