// Strict conversions between UTF-8 byte strings and wide (UTF-32) strings.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_UTF8_CONVERSION_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_UTF8_CONVERSION_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace speechnn {

// Decodes UTF-8. Throws std::range_error("wstring_convert::from_bytes") on
// anything that is not well-formed UTF-8: truncated or stray continuation
// bytes, overlong forms, encoded surrogates, values above U+10FFFF.
std::wstring utf8string2wstring(const std::string& text);

// Encodes UTF-32. Throws std::range_error("wstring_convert::to_bytes") on a
// surrogate or a value above U+10FFFF.
std::string wstring2utf8string(const std::wstring& wide);

// Offset of the first byte that does not start a well-formed UTF-8 sequence,
// or std::string::npos when the whole text is valid.
std::size_t FindInvalidUtf8(std::string_view text);

// Number of code points of valid UTF-8 text (the wide length).
std::size_t Utf8Length(std::string_view text);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_UTF8_CONVERSION_H_
