#include "tool/front_inspect_options.h"

#include <map>

namespace tolvaren {
namespace front_inspect {

void PrintUsage(std::ostream& out) {
  out << "Usage: tolvaren_tts_front [MODE] [--conf TOOL_CONF] "
         "[--phone-table TSV] [--verbose] (TEXT... | --file FILE|-)\n"
         "Shows what the text front end makes of each text.\n"
         "Modes (default: a readable report per sentence):\n"
         "  --normalized  the text after sentence splitting and normalisation\n"
         "  --pinyin      numbered-tone pinyin after sandhi and erhua\n"
         "  --side-by-side  the text, the normalised text and the pinyin,\n"
         "                tab-separated, to see which rule read what\n"
         "  --readings    each word as WORD/TAG/PINYIN/BY before tone sandhi,\n"
         "                tab-separated: syllables joined by +, and per\n"
         "                syllable what decided it: d the word's dictionary\n"
         "                entry, p the dictionary's words inside it, r a\n"
         "                rule, m the polyphone model\n"
         "  --phones      phone symbols, pauses as sp\n"
         "  --ids         phone ids, as the acoustic model receives them\n"
         "The machine-readable modes print exactly one line per text, in\n"
         "input order; a text that fails prints \"ERROR: <reason>\".\n"
         "Standard error gets only what went wrong; --verbose adds the\n"
         "log and the configuration read (the report mode shows the\n"
         "configuration always).\n"
         "--file reads one text per line (a CR before the LF is dropped);\n"
         "--file - reads standard input, answering each line as it comes.\n"
         "A text that starts with -- or a dash and a letter goes after --.\n"
         "The configuration is TOOL_CONF, else $TOLVAREN_TTS_CONF, else the\n"
         "installed tool.conf; its front_conf_path names the front end.\n";
}

namespace {

// What an argument that is no option looks like: a text such as "-5度" is
// one, "--pinyn" and "-x" are mistyped options.
bool LooksLikeOption(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  const char next = arg[1];
  return next == '-' || (next >= 'a' && next <= 'z') ||
         (next >= 'A' && next <= 'Z');
}

}  // namespace

bool ParseArguments(int argc, char** argv, Options& options,
                    std::string& error) {
  static const std::map<std::string, Mode> kModes = {
      {"--normalized", Mode::kNormalized},
      {"--side-by-side", Mode::kSideBySide},
      {"--pinyin", Mode::kPinyin},
      {"--readings", Mode::kReadings},
      {"--phones", Mode::kPhones},
      {"--ids", Mode::kIds}};
  const std::map<std::string, std::string*> valued = {
      {"--conf", &options.conf_path},
      {"--phone-table", &options.phone_table_path},
      {"--file", &options.file}};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (const auto mode = kModes.find(arg); mode != kModes.end()) {
      options.mode = mode->second;
    } else if (const auto option = valued.find(arg); option != valued.end()) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      *option->second = argv[++i];
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--") {
      for (++i; i < argc; ++i) options.texts.push_back(argv[i]);
    } else if (LooksLikeOption(arg)) {
      error = "unknown option " + arg;
      return false;
    } else {
      options.texts.push_back(arg);
    }
  }
  if (options.file.empty() == options.texts.empty()) {
    error = options.file.empty() ? "no text: give TEXT..., --file FILE or "
                                   "--file -"
                                 : "give texts or --file, not both";
    return false;
  }
  return true;
}

}  // namespace front_inspect
}  // namespace tolvaren
