#include "tool/io/timings_jsonl.h"

#include <cstdio>

namespace tolvaren {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `rest`
// (shortest form, no surrogates, at most U+10FFFF); 0 when there is none.
std::size_t Utf8Length(std::string_view rest) {
  const auto byte = [&rest](std::size_t i) {
    return static_cast<unsigned char>(rest[i]);
  };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (rest.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

void AppendEscaped(char c, std::string& out) {
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\f':
      out += "\\f";
      return;
    default:
      break;
  }
  if (static_cast<unsigned char>(c) < 0x20) {
    char code[7];
    std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
    out += code;
  } else {
    out += c;
  }
}

std::string Field(const char* name, std::size_t value) {
  return std::string("\"") + name + "\":" + std::to_string(value);
}

std::string Span(std::size_t start, std::size_t end, std::size_t offset) {
  return Field("start", start + offset) + "," + Field("end", end + offset);
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  while (!text.empty()) {
    const std::size_t length = Utf8Length(text);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
      text.remove_prefix(1);
    } else if (length == 1) {
      AppendEscaped(text.front(), out);
      text.remove_prefix(1);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return out + "\"";
}

std::string TimingsHeaderLine(int sample_rate) {
  return "{\"sample_rate\":" + std::to_string(sample_rate) + "}\n";
}

std::string TimingLine(const tolvaren_tts::WordTiming& entry,
                       std::size_t offset) {
  if (entry.pause) {
    return "{\"pause\":true," +
           Span(entry.start_sample, entry.end_sample, offset) + "}\n";
  }
  std::string line = "{\"word\":" + JsonString(entry.text) +
                     ",\"pinyin\":" + JsonString(entry.pinyin) + "," +
                     Span(entry.start_sample, entry.end_sample, offset) +
                     ",\"syllables\":[";
  for (std::size_t i = 0; i < entry.syllables.size(); ++i) {
    const tolvaren_tts::SyllableTiming& syllable = entry.syllables[i];
    if (i > 0) line += ",";
    line += "{\"text\":" + JsonString(syllable.text) +
            ",\"pinyin\":" + JsonString(syllable.pinyin) + "," +
            Span(syllable.start_sample, syllable.end_sample, offset) + "}";
  }
  return line + "]}\n";
}

std::string TimingsJsonl(int sample_rate,
                         const std::vector<tolvaren_tts::WordTiming>& entries) {
  std::string out = TimingsHeaderLine(sample_rate);
  for (const tolvaren_tts::WordTiming& entry : entries) {
    out += TimingLine(entry);
  }
  return out;
}

}  // namespace tolvaren
