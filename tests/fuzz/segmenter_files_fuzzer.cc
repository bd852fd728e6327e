// libFuzzer target: arbitrary bytes as one of the segmenter's files (the
// first byte picks the main dictionary, the HMM model or a user dictionary).
// A file the checks accept is then handed to the segmenter itself, beside
// small well-formed files for the other slots: cppjieba ends the process on
// what it cannot parse, so an accepted file it aborts on is a finding.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "speech_neural_network/lexicon/segmenter.h"
#include "speech_neural_network/lexicon/segmenter_files.h"

namespace {

speechnn::SegmenterFiles& GoodFiles() {
  static speechnn::SegmenterFiles files = [] {
    const tolvaren::fuzz::ScratchFolder& scratch = tolvaren::fuzz::Scratch();
    const auto write = [&](const char* name, const std::string& text) {
      return scratch.Write(name, reinterpret_cast<const uint8_t*>(text.data()),
                           text.size());
    };
    const std::string emission = "你:-1.5,好:-2.0\n";
    speechnn::SegmenterFiles good;
    good.dict = write("good.dict", "你好 30 l\n世界 20 n\n");
    good.hmm = write("good.hmm",
                     "-0.2 -3e+100 -3e+100 -1.4\n-3e+100 -0.5 -0.9 -3e+100\n"
                     "-0.5 -3e+100 -3e+100 -0.9\n-3e+100 -0.3 -1.2 -3e+100\n"
                     "-0.7 -3e+100 -3e+100 -0.6\n" +
                         emission + emission + emission + emission);
    good.user_dict = write("good.user", "大家 n\n");
    good.idf = write("good.idf", "你好 1.0\n");
    good.stop_word = write("good.stop", "的\n");
    return good;
  }();
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tolvaren::fuzz::SilenceToolLog();
  GoodFiles();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  speechnn::SegmenterFiles files = GoodFiles();
  const std::string path =
      tolvaren::fuzz::Scratch().Write("input", data + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      files.dict = path;
      break;
    case 1:
      files.hmm = path;
      break;
    default:
      files.user_dict = path;
      break;
  }
  const auto segmenter = speechnn::Segmenter::Create(files);
  if (segmenter.ok()) {
    static_cast<void>((*segmenter)->Tag("你好世界"));
  }
  return 0;
}
