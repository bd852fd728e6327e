// What the library's own pieces need of its log (log_callback.cc).

#ifndef TOLVAREN_TTS_LIBRARY_LOG_ROUTES_H_
#define TOLVAREN_TTS_LIBRARY_LOG_ROUTES_H_

#include "speech_neural_network/report.h"

namespace tolvaren_tts {

// The front end's report lines as log records: the configuration echo at
// INFO, a resource done without at WARNING, a failure's reasons at ERROR.
speechnn::ReportSink FrontReportsToLog();

}  // namespace tolvaren_tts

#endif  // TOLVAREN_TTS_LIBRARY_LOG_ROUTES_H_
