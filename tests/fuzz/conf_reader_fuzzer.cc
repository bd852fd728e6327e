// libFuzzer target: arbitrary bytes as a configuration file, read as the
// tool reads its own (ReadConfFile, then Validate) and as the front end
// reads its configuration (ReadFrontConfLines, FrontConf::FromEntries).
// Any crash or sanitizer report is a fault: every file must either be read
// or refused.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "speech_neural_network/front_conf.h"
#include "tool/conf/tool_conf.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tolvaren::fuzz::SilenceToolLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path =
      tolvaren::fuzz::Scratch().Write("input.conf", data, size);

  tolvaren::ToolConf conf;
  if (tolvaren::ReadConfFile(path, conf) && conf.Validate().ok()) {
    static_cast<void>(conf.ResolvedIntraOpThreads());
  }

  const auto lines = speechnn::ReadFrontConfLines(path);
  if (lines.ok()) {
    speechnn::StringMap entries;
    for (const tolvaren::KeyValueLine& line : lines->entries) {
      entries[line.key] = line.value;
    }
    const speechnn::FrontConf front = speechnn::FrontConf::FromEntries(entries);
    static_cast<void>(front.separate_tone());
    static_cast<void>(front.t2s_config_or_default());
  }
  return 0;
}
