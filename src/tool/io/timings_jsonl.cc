#include "tool/io/timings_jsonl.h"

#include <cstdio>
#include <utility>

#include "common/log_text.h"

namespace tolvaren {
namespace {

// JSON's two-character escapes; other control characters are \u00XX.
constexpr std::pair<char, const char*> kShortEscapes[] = {
    {'"', "\\\""}, {'\\', "\\\\"}, {'\n', "\\n"}, {'\r', "\\r"},
    {'\t', "\\t"}, {'\b', "\\b"},  {'\f', "\\f"}};

void AppendEscaped(char c, std::string& out) {
  for (const auto& [plain, escaped] : kShortEscapes) {
    if (c == plain) {
      out += escaped;
      return;
    }
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
    if (static_cast<unsigned char>(text.front()) < 0x80) {
      AppendEscaped(text.front(), out);
      text.remove_prefix(1);
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text, 0);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
      text.remove_prefix(1);
    } else if (text.substr(0, length) == "\xE2\x80\xA8") {
      out += "\\u2028";  // line separator: a line break to JavaScript
      text.remove_prefix(length);
    } else if (text.substr(0, length) == "\xE2\x80\xA9") {
      out += "\\u2029";  // paragraph separator, likewise
      text.remove_prefix(length);
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
                       std::size_t offset, std::string_view file) {
  const std::string named =
      file.empty() ? "{" : "{\"file\":" + JsonString(file) + ",";
  if (entry.pause) {
    return named + "\"pause\":true," +
           Span(entry.start_sample, entry.end_sample, offset) + "}\n";
  }
  std::string line = named + "\"word\":" + JsonString(entry.text) +
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
