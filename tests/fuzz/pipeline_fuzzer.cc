// libFuzzer target: arbitrary bytes as one text through the whole tool, as
// file mode runs each line: front end, acoustic model, vocoder and the
// writer, into a scratch output folder. The models are the small test
// models (fast, known to take every id the shipped phone table gives) and
// the front end the shipped one; the tool starts once. Any crash, sanitizer
// report or escaping exception is a fault: predict answers every text with
// true or false.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_support.h"
#include "tool/tool.h"

namespace {

tolvaren::Tool* tool = nullptr;
std::string out_dir;

std::string WriteToolConf() {
  const tolvaren::fuzz::ScratchFolder& scratch = tolvaren::fuzz::Scratch();
  out_dir = scratch.path() + "/out";
  std::filesystem::create_directory(out_dir);
  const std::string models = TOLVAREN_FUZZ_TEST_MODEL_DIR;
  // One thread each: the fuzzer runs one input at a time.
  const std::string conf =
      "--wav_path=" + out_dir + "\n--text_path=" + scratch.path() +
      "/texts.txt\n--fastspeech2_model_path=" + models +
      "/acoustic.onnx\n--hifigan_model_path=" + models +
      "/vocoder.onnx\n--front_conf_path=" TOLVAREN_FUZZ_FRONT_CONF
      "\n--intra_op_num_threads=1\n--inter_op_num_threads=1\n"
      "--allow_spinning=false\n";
  return scratch.Write(
      "tool.conf", reinterpret_cast<const uint8_t*>(conf.data()), conf.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tolvaren::fuzz::SilenceToolLog();
  tool = new tolvaren::Tool(WriteToolConf());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  static_cast<void>(tool->predict(text));
  // Each text starts from an empty folder, as a first run would.
  std::error_code ignored;
  for (const auto& entry :
       std::filesystem::directory_iterator(out_dir, ignored)) {
    std::filesystem::remove_all(entry.path(), ignored);
  }
  return 0;
}
