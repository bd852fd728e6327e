// The command line of tolvaren_tts_front: its modes, its options and its
// usage text.

#ifndef TOLVAREN_TTS_TOOL_FRONT_INSPECT_OPTIONS_H_
#define TOLVAREN_TTS_TOOL_FRONT_INSPECT_OPTIONS_H_

#include <ostream>
#include <string>
#include <vector>

namespace tolvaren {
namespace front_inspect {

enum class Mode {
  kReport,
  kNormalized,
  kSideBySide,
  kPinyin,
  kReadings,
  kPhones,
  kIds
};

struct Options {
  Mode mode = Mode::kReport;
  std::string conf_path;
  std::string phone_table_path;
  std::string file;  // "-" is standard input
  std::vector<std::string> texts;
  bool verbose = false;
};

void PrintUsage(std::ostream& out);

// Fills `options` from the arguments; on a fault returns false with `error`
// naming it (an unknown option, a missing value, texts and a file at once,
// neither).
bool ParseArguments(int argc, char** argv, Options& options,
                    std::string& error);

}  // namespace front_inspect
}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_FRONT_INSPECT_OPTIONS_H_
