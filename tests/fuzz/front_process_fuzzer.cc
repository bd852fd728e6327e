// libFuzzer target: arbitrary bytes through Tool::frontProcess with the
// shipped front-end resources. Any crash, sanitizer report or exception that
// escapes is a fault: frontProcess must answer every input with true or
// false.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tool/tool.h"

namespace {

tolvaren::Tool* MakeTool() {
  // Records would only slow the run down.
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "critical", 1);
  const char* conf = std::getenv("TOLVAREN_TTS_CONF");
  return new tolvaren::Tool(conf != nullptr ? conf : TOLVAREN_FUZZ_CONF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // Built once; the front end is reused for every input, as in file mode.
  static tolvaren::Tool* tool = MakeTool();
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<int> phone_ids;
  tool->frontProcess(text, phone_ids);
  return 0;
}
