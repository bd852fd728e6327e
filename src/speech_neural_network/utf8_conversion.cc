#include "speech_neural_network/utf8_conversion.h"

#include <stdexcept>

namespace speechnn {
namespace {

// Decodes the sequence starting at `pos`. On success stores the code point,
// advances `pos` and returns true; on malformed input leaves `pos` alone.
bool DecodeOne(std::string_view text, std::size_t& pos, char32_t& out) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned char lead = byte(pos);
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) {
    out = lead;
    ++pos;
    return true;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    return false;  // Continuation byte, overlong two-byte lead, 0xF5..0xFF.
  }
  if (text.size() - pos < length) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF ||
      (value >= 0xD800 && value <= 0xDFFF)) {
    return false;
  }
  out = value;
  pos += length;
  return true;
}

}  // namespace

std::wstring utf8string2wstring(const std::string& text) {
  std::wstring wide;
  wide.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t code_point;
    if (!DecodeOne(text, pos, code_point)) {
      throw std::range_error("wstring_convert::from_bytes");
    }
    wide.push_back(static_cast<wchar_t>(code_point));
  }
  return wide;
}

std::string wstring2utf8string(const std::wstring& wide) {
  std::string text;
  text.reserve(wide.size() * 3);
  for (const wchar_t ch : wide) {
    const auto value = static_cast<char32_t>(ch);
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      throw std::range_error("wstring_convert::to_bytes");
    }
    if (value < 0x80) {
      text.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
      text.push_back(static_cast<char>(0xC0 | (value >> 6)));
      text.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
      text.push_back(static_cast<char>(0xE0 | (value >> 12)));
      text.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
      text.push_back(static_cast<char>(0xF0 | (value >> 18)));
      text.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
  }
  return text;
}

std::size_t FindInvalidUtf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t code_point;
    if (!DecodeOne(text, pos, code_point)) return pos;
  }
  return std::string::npos;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace speechnn
