// Kept only for the front-end inspection tool, which includes this path;
// the configuration lives in tool/conf/tool_conf.h.

#ifndef TOLVAREN_TTS_TOOL_TOOL_CONF_H_
#define TOLVAREN_TTS_TOOL_TOOL_CONF_H_

#include "tool/conf/tool_conf.h"

#endif  // TOLVAREN_TTS_TOOL_TOOL_CONF_H_
