// libFuzzer target: arbitrary bytes as one of the front end's resource
// tables, loaded through the front end's own loaders. The first byte picks
// the table (word2phone, phone2id or tone2id); the rest is the file. Besides
// crashes and sanitizer reports, a word2phone table that cannot find one of
// its own words is a fault.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "fuzz_support.h"
#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/lexicon/id_table.h"
#include "speech_neural_network/lexicon/word_phone_table.h"

namespace {

speechnn::FrontEngineInterface* loader = nullptr;

void LoadWordPhoneTable(const std::string& path) {
  speechnn::WordPhoneTable table;
  if (loader->LoadDictFile(path, table) != 0) std::abort();
  for (const auto& [word, phones] : table) {
    const std::string_view* found = table.Find(word);
    if (found == nullptr || found->data() != phones.data()) std::abort();
  }
  if (!table.empty()) static_cast<void>(table.at(table.begin()->first));
}

void LoadIdTable(const std::string& path) {
  speechnn::StringMap text;
  if (loader->LoadDictFile(path, text) != 0) std::abort();
  const speechnn::IdTable ids(text);
  // The symbols start-up asks for: the table's own, the pauses, a phone.
  std::set<std::string> symbols = {"sp", "sp0", "a1"};
  for (const auto& [symbol, id] : text) {
    symbols.insert(symbol);
    static_cast<void>(speechnn::ParseId(id));
  }
  static_cast<void>(speechnn::SymbolsWithoutId(ids, symbols));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tolvaren::fuzz::SilenceToolLog();
  // The loaders read the path they are given and need none of the
  // configured resources, so the front end is left without a configuration
  // (its failed start-up line goes to the closed standard error).
  loader = new speechnn::FrontEngineInterface(tolvaren::fuzz::Scratch().path() +
                                              "/no_front.conf");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const char* const kNames[] = {"word2phone.dict", "phone2id.dict",
                                "tone2id.dict"};
  const int table = data[0] % 3;
  const std::string path =
      tolvaren::fuzz::Scratch().Write(kNames[table], data + 1, size - 1);
  if (table == 0) {
    LoadWordPhoneTable(path);
  } else {
    LoadIdTable(path);
  }
  return 0;
}
