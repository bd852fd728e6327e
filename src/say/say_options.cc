#include "say/say_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "tool/synth/peak_limiter.h"

namespace tolvaren_say {
namespace {

constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;
// The speeds the engine takes: a phone keeps at least one frame however
// fast, and slower than a quarter is no longer speech.
constexpr double kMinSpeed = 0.25;
constexpr double kMaxSpeed = 4.0;
constexpr double kMaxSilence = 60.0;
// More threads than this is a typing error, not a machine (the library's
// bound as well).
constexpr long kMaxThreads = 1024;

// Plain decimal notation only ("1", "0.5", ".5", "2e-1"): strtod would also
// take hexadecimal ("0x1p1"), "inf" and "nan", which nobody means here.
bool IsDecimal(const std::string& text) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - start;
  };
  if (i < text.size() && text[i] == '+') ++i;
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == text.size();
}

bool ParseNumber(const std::string& text, double& value) {
  if (!IsDecimal(text)) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && std::isfinite(value);
}

// A whole number in [least, most], digits only.
bool ParseWhole(const std::string& text, long least, long most, int& result) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < least || value > most) {
    return false;
  }
  result = static_cast<int>(value);
  return true;
}

}  // namespace

bool ParseSayOptions(int argc, const char* const* argv, SayOptions& options,
                     std::string& error) {
  std::vector<std::string> words;
  bool options_ended = false;
  bool output_given = false;
  bool output_dir_given = false;
  bool timings_given = false;
  bool device_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      words.push_back(arg);
      continue;
    }
    // The option's value: the next argument, whatever it looks like.
    const auto value = [&](std::string& target) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      target = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--") {
      options_ended = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--list-voices") {
      options.list_voices = true;
    } else if (arg == "--threads") {
      if (!value(text)) return false;
      if (!ParseWhole(text, 1, kMaxThreads, options.threads)) {
        error = "--threads needs a whole number from 1 to " +
                std::to_string(kMaxThreads) + ", not '" + text + "'";
        return false;
      }
    } else if (arg == "-v" || arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "-f" || arg == "--file") {
      if (!value(options.file)) return false;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(options.output)) return false;
      output_given = true;
    } else if (arg == "--device") {
      if (!value(options.device)) return false;
      device_given = true;
    } else if (arg == "--output-dir") {
      if (!value(options.output_dir)) return false;
      output_dir_given = true;
    } else if (arg == "--raw") {
      options.raw = true;
    } else if (arg == "--float") {
      options.float_samples = true;
    } else if (arg == "--phonemes") {
      options.phonemes = true;
    } else if (arg == "--ssml") {
      options.ssml = true;
    } else if (arg == "--timings") {
      if (!value(options.timings)) return false;
      timings_given = true;
    } else if (arg == "--voice") {
      if (!value(options.voice)) return false;
    } else if (arg == "--conf") {
      if (!value(options.conf_path)) return false;
    } else if (arg == "--rate") {
      if (!value(text)) return false;
      if (!ParseWhole(text, kMinRate, kMaxRate, options.rate)) {
        error = "--rate needs a whole number of Hz from 1000 to 768000, not '" +
                text + "'";
        return false;
      }
    } else if (arg == "--speed") {
      if (!value(text)) return false;
      if (!ParseNumber(text, options.speed) || options.speed < kMinSpeed ||
          options.speed > kMaxSpeed) {
        error = "--speed needs a number from 0.25 to 4, not '" + text + "'";
        return false;
      }
    } else if (arg == "--volume") {
      if (!value(text)) return false;
      if (!ParseNumber(text, options.volume) || options.volume <= 0 ||
          options.volume > tolvaren::kMaxVolume) {
        error = "--volume needs a number above 0, up to 8, not '" + text + "'";
        return false;
      }
    } else if (arg == "--silence") {
      if (!value(text)) return false;
      if (!ParseNumber(text, options.silence) || options.silence < 0 ||
          options.silence > kMaxSilence) {
        error = "--silence needs seconds from 0 to 60, not '" + text + "'";
        return false;
      }
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  if (options.help || options.version || options.list_voices) return true;

  for (const std::string& word : words) {
    if (!options.text.empty()) options.text += ' ';
    options.text += word;
  }
  if (!words.empty() &&
      options.text.find_first_not_of(' ') == std::string::npos) {
    error = "the text given is empty";
    return false;
  }
  if (!words.empty() && !options.file.empty()) {
    error = "give the text as arguments or with -f, not both";
    return false;
  }
  // "-f -" is standard input, read as it arrives like no -f at all.
  const bool named_file = !options.file.empty() && options.file != "-";
  options.source = !words.empty() ? TextSource::kArguments
                   : named_file   ? TextSource::kFile
                                  : TextSource::kStandardInput;
  if (!options.output.empty() && !options.output_dir.empty()) {
    error = "give -o or --output-dir, not both";
    return false;
  }
  if (output_given && options.output.empty()) {
    error = "the name given to -o is empty";
    return false;
  }
  if (output_dir_given && options.output_dir.empty()) {
    error = "the folder given to --output-dir is empty";
    return false;
  }
  if (timings_given && options.timings.empty()) {
    error = "the name given to --timings is empty";
    return false;
  }
  if (device_given && options.device.empty()) {
    error = "the name given to --device is empty";
    return false;
  }
  const bool to_files = !options.output.empty() || !options.output_dir.empty();
  if (device_given && to_files) {
    error = "give --device or -o/--output-dir, not both";
    return false;
  }
  // Without a file the audio is played, unless only the phonemes are
  // asked for.
  options.play = !to_files && (!options.phonemes || device_given ||
                               !options.timings.empty());
  if (options.raw && options.output.empty()) {
    error = "--raw needs -o";
    return false;
  }
  return true;
}

void PrintSayUsage(std::ostream& out) {
  out << "Usage: tolvaren_say [OPTIONS] [--] [TEXT...]\n"
         "Speaks Mandarin Chinese text on the speakers or into WAV audio.\n"
         "\n"
         "Text: the arguments (joined by blanks), or -f FILE, or else "
         "standard\n"
         "input (also -f -); a file or standard input holds one text per\n"
         "line, each spoken as it arrives (empty lines are skipped).\n"
         "\n"
         "Without -o or --output-dir the speech is played on the sound\n"
         "server's default output (PulseAudio or PipeWire) as it is made.\n"
         "\n"
         "  -f, --file FILE      the texts, one per line ('-': standard "
         "input)\n"
         "      --device NAME    play on this output (a sink name, as\n"
         "                       'pactl list short sinks' shows them)\n"
         "  -o, --output FILE    WAV file; '-' writes a WAV stream (unknown\n"
         "                       length) to standard output. Several texts\n"
         "                       go into the one output, one after another\n"
         "      --output-dir DIR one WAV per line: DIR/0001.wav, ... (the\n"
         "                       number is the line's; a file of 10000\n"
         "                       lines or more, -f or standard input,\n"
         "                       widens every name alike; from a pipe,\n"
         "                       names widen after 9999: sort with ls -v)\n"
         "      --raw            with -o: samples only, no WAV header\n"
         "                       (s16le, or f32le with --float; mono)\n"
         "      --float          32-bit float samples (default 16-bit PCM)\n"
         "      --rate HZ        resample to HZ, 1000 to 768000 (default: the\n"
         "                       voice's rate)\n"
         "      --voice NAME     the voice in the models folder's NAME/\n"
         "                       (default: the configured models)\n"
         "      --speed X        speaking rate, 0.25 to 4 (default 1; other\n"
         "                       than 1 only for voices that take one)\n"
         "      --silence SEC    silence after each text, 0 to 60 (default 0)\n"
         "      --volume X       loudness, above 0 up to 8 (default 1); peaks\n"
         "                       are limited to 0.99 of full scale, never\n"
         "                       clipped\n"
         "      --ssml           each text is a <speak> document (breaks, "
         "rate,\n"
         "                       say-as, pinyin, aliases); -f FILE is one\n"
         "      --timings FILE   each word's and syllable's samples, JSON "
         "Lines\n"
         "                       (- for standard error); with --output-dir\n"
         "                       each entry names its WAV (\"file\")\n"
         "      --phonemes       print the pinyin spoken, one line per text\n"
         "                       (on standard error when audio goes to\n"
         "                       standard output)\n"
         "      --conf FILE      tool configuration (default "
         "$TOLVAREN_TTS_CONF,\n"
         "                       else the installed tool.conf)\n"
         "      --threads N      the models' threads, 1 to 1024 (default: as\n"
         "                       the configuration says; its 0, or no key:\n"
         "                       one per core this process may run on)\n"
         "      --list-voices    one line per voice: NAME, RATE Hz, speed\n"
         "                       support, licence (tab-separated)\n"
         "  -v, --verbose        the whole log on standard error (default:\n"
         "                       each failure, once)\n"
         "  -h, --help, --version\n"
         "  --                   ends the options: what follows is text\n"
         "\n"
         "Exit status: 0 when every text was spoken, 1 when something failed\n"
         "(start-up, the input, a text, an output), 2 for a usage error (one\n"
         "file given two roles among -f, -o, --timings and --output-dir's\n"
         "files included), 141 when -o -'s reader went away, 128+N when\n"
         "ended by signal N (its temporary files removed).\n";
}

}  // namespace tolvaren_say
