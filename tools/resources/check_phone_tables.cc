// Checks the phone tables of a built front end in full and, when every phone
// the pronunciations can produce has an id, writes the record that lets
// start-up skip that pass (src/speech_neural_network/lexicon/checked_tables.h).
//
//   check_phone_tables FRONT_CONF OUTPUT

#include <cstdio>
#include <iostream>
#include <string>

#include "replace_file.h"
#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/lexicon/checked_tables.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: check_phone_tables FRONT_CONF OUTPUT\n";
    return 2;
  }
  const std::string output = argv[2];
  // A record left from tables built before vouches for nothing now.
  std::remove(output.c_str());
  speechnn::FrontEngineInterface front(
      argv[1], [](speechnn::ReportLevel, const std::string&) {});
  if (front.Init() != 0 || front.CheckTables(/*vouched=*/false) != 0) {
    std::cerr << "the phone tables fail their check: " << front.init_error()
              << "\n";
    return 1;
  }
  const std::string record =
      speechnn::CheckedTablesRecord(speechnn::TablesChecksum(
          front.lexicon().words().text(), front.phone_ids(), front.tone_ids(),
          front.separate_tone()));
  return ReplaceFile(output, record) ? 0 : 1;
}
