#include "common/log_text.h"

#include <cstddef>
#include <cstdint>

namespace tolvaren {
namespace {

void AppendHex(std::string& out, unsigned char byte) {
  constexpr char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0xf];
}

bool IsContinuation(unsigned char byte) { return (byte & 0xc0) == 0x80; }

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  unsigned char low = 0x80;  // bounds of the second byte
  unsigned char high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  const auto second = static_cast<unsigned char>(text[at + 1]);
  if (second < low || second > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (!IsContinuation(static_cast<unsigned char>(text[at + k]))) return 0;
  }
  return length;
}

std::string EscapeForLog(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if (byte == '\n') {
        out += "\\n";
      } else if (byte == '\r') {
        out += "\\r";
      } else if (byte == '\t') {
        out += "\\t";
      } else if (byte < 0x20 || byte == 0x7f) {
        AppendHex(out, byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++at;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text, at);
    // U+0080..U+009F, the C1 controls, are 0xc2 0x80..0x9f.
    const bool c1 = length == 2 && byte == 0xc2 &&
                    static_cast<unsigned char>(text[at + 1]) < 0xa0;
    if (length == 0) {
      AppendHex(out, byte);
      ++at;
    } else if (c1) {
      AppendHex(out, byte);
      AppendHex(out, static_cast<unsigned char>(text[at + 1]));
      at += 2;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

}  // namespace tolvaren
