// Text as a log record or an error line shows it. Texts come from users and
// files, so a control character in one could forge a record (a newline) or
// drive the terminal that shows the log (ESC sequences); they are shown as
// visible escapes instead. File names built from the texts keep their bytes.

#ifndef TOLVAREN_TTS_COMMON_LOG_TEXT_H_
#define TOLVAREN_TTS_COMMON_LOG_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvaren {

// `text` with every C0 control character, DEL and C1 control character
// (U+0080..U+009F) escaped: "\n", "\r" and "\t" for those three, "\xHH" for
// each byte of the others. Bytes that are not part of a well-formed UTF-8
// sequence are escaped as "\xHH" too (a lone 0x9b is CSI to some
// terminals). Everything else, backslashes included, is kept as it is.
std::string EscapeForLog(std::string_view text);

// The length of the well-formed UTF-8 sequence of two or more bytes that
// starts at text[at]; 0 when there is none there (an ASCII byte, a stray
// continuation byte, a truncated sequence, an overlong form, a surrogate).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_COMMON_LOG_TEXT_H_
