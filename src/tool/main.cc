// tolvaren_tts: speaks Chinese text into chunked float audio files.
//
//   tolvaren_tts          synthesise every line of the configured text file
//   tolvaren_tts TEXT     synthesise TEXT
//   tolvaren_tts A B ...  start up only (checks configuration and models)

#include <cstring>
#include <iostream>
#include <string>

#include "tool/conf/tool_conf.h"
#include "tool/logger.h"
#include "tool/tool.h"

namespace {

// Exit statuses.
constexpr int kOk = 0;
constexpr int kStartupFailed = 1;
constexpr int kNotWritten = 2;

void PrintUsage() {
  std::cout
      << "Usage: tolvaren_tts [TEXT]\n"
         "\n"
         "Speaks Mandarin Chinese text into audio files.\n"
         "  tolvaren_tts          synthesise every line of the file named by\n"
         "                        text_path in the configuration\n"
         "  tolvaren_tts TEXT     synthesise TEXT (UTF-8)\n"
         "  tolvaren_tts A B ...  start up only: read the configuration and\n"
         "                        load the models, then exit\n"
         "  tolvaren_tts --help | -h | --version\n"
         "\n"
         "Each text is written to <wav_path>/<text>: a uint64 chunk count C,\n"
         "C uint64 sample counts, then the samples as 32-bit floats (all\n"
         "little-endian, mono). tolvaren_tts_wav converts it to a WAV file.\n"
         "\n"
         "Configuration: "
      << tolvaren::ToolConfPath()
      << "\n"
         "  (the environment variable TOLVAREN_TTS_CONF overrides the path)\n"
         "Logging: SPDLOG_STDOUT=true|false (console, default true),\n"
         "  SPDLOG_SYSTEMD=true|false (journal, default false),\n"
         "  SPDLOG_LEVEL=trace|debug|info|warning|error|critical\n"
         "\n"
         "Exit status: 0 when every file asked for was written, 1 when "
         "start-up\n"
         "failed, 2 when a text produced no file.\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) {
    const std::string arg = argv[1];
    if (arg == "--help" || arg == "-h") {
      PrintUsage();
      return kOk;
    }
    if (arg == "--version") {
      std::cout << "tolvaren_tts " << TOLVAREN_VERSION << "\n";
      return kOk;
    }
  }
  try {
    tolvaren::Tool tool;
    // wav_path is this program's output folder in every mode; the library,
    // which writes no files, never cleans it.
    tool.RemoveStaleTemporaries();
    int status = kOk;
    if (argc == 1) status = tool.getFileAndPredict() ? kOk : kNotWritten;
    if (argc == 2) status = tool.predict(argv[1]) ? kOk : kNotWritten;
#ifndef TOLVAREN_FREE_AT_EXIT
    // The work is done: the front end's tables go with the process instead
    // of being freed one by one. Sanitizer builds free everything, so that
    // their leak check still covers the front end.
    tool.AbandonFrontEndAtExit();
#endif
    // Without a console the log may be seen by no one (or only at a level
    // that drops the reason): one line says that something was not written.
    if (status == kNotWritten && !tolvaren::GetLogger().console) {
      std::cerr << "tolvaren_tts: "
                << (argc == 1 ? "not every line of the text file was written"
                              : "the text was not written")
                << ": " << tolvaren::GetLogger().last_error << "\n";
    }
    return status;
  } catch (const tolvaren::StartupError& e) {
    if (tolvaren::IsRuntimeError(e.status())) {
      LOG_ERROR("ONNX Runtime error: {}", e.what());
      std::cerr << "tolvaren_tts: ONNX Runtime error: " << e.what() << "\n";
    } else {
      std::cerr << "tolvaren_tts: " << e.what() << "\n";
    }
    return kStartupFailed;
  } catch (const Ort::Exception& e) {
    // Only the predictors' runtime environments can still raise.
    LOG_ERROR("ONNX Runtime error: {}", e.what());
    std::cerr << "tolvaren_tts: ONNX Runtime error: " << e.what() << "\n";
    return kStartupFailed;
  } catch (const std::exception& e) {
    LOG_ERROR("Error: {}", e.what());
    std::cerr << "tolvaren_tts: " << e.what() << "\n";
    return kStartupFailed;
  }
}
