// Phone ids back to phone symbols, through a front end's loaded id tables:
// what people read when they inspect or print pronunciations.

#ifndef TOLVAREN_TTS_TOOL_ID_NAMES_H_
#define TOLVAREN_TTS_TOOL_ID_NAMES_H_

#include <map>
#include <string>
#include <vector>

#include "speech_neural_network/front_interface.h"

namespace tolvaren {

class IdNames {
 public:
  explicit IdNames(const speechnn::FrontEngineInterface& front);

  // One symbol per id of `trace`; in separate-tone mode a final carries its
  // tone digit. An id the tables do not hold is written "<id>".
  std::vector<std::string> Symbols(const speechnn::SentenceTrace& trace) const;

 private:
  bool separate_;
  std::map<int, std::string> phones_;
  std::map<int, std::string> tones_;
};

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_ID_NAMES_H_
